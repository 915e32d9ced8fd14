#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <optional>

#include "present/tint.h"
#include "updater/updater_state.h"

namespace qb {

// What the update window shows for one updater state: the header, the body, the footer's
// last-check phrase and the buttons. The window renders this and nothing else.
enum class UpdateWindowAction { none, check, later, download, install };

struct UpdateWindowButton {
  QString text;
  UpdateWindowAction action = UpdateWindowAction::none;
  bool enabled = true;
  bool isDefault = false;  // Return presses it
  bool prominent = false;
};

struct UpdateChip {
  QString symbol;
  QString text;
};

struct VersionTransitionView {
  QString installedVersion;
  QString installedBuild;  // empty: no "(build)"
  QString updateVersion;
  QString updateBuild;
};

struct UpdateWindowView {
  enum class Body { status, spinner, release };

  QString channelLine;  // "Channel: Stable"
  Body body = Body::status;

  // status body
  QString statusSymbol;
  Tint statusColor = Tint::secondary;
  QString statusTitle;
  QString statusSubtitle;

  // spinner body
  QString spinnerText;

  // release body
  QString headline;
  bool headlineEmphasised = false;  // the "available" headline, larger than the others
  std::optional<VersionTransitionView> transition;
  QList<UpdateChip> chips;
  bool showProgress = false;
  std::optional<double> progress;  // 0...1; absent: indeterminate
  QString progressText;
  QString caption;
  bool showNotes = false;
  QString notes;          // Markdown (inline), empty when there are none
  QString notesFallback;  // shown when `notes` is empty

  QString lastChecked;  // "Last checked 5 min. ago", or empty
  QList<UpdateWindowButton> buttons;
};

struct UpdateWindowInput {
  UpdaterState state;
  std::optional<QDateTime> lastChecked;
  QString channel;
  QString currentVersion;
  QString currentBuild;
};

UpdateWindowView updateWindowView(const UpdateWindowInput& input, const QDateTime& now,
                                  const QLocale& locale = QLocale());

// Release notes keep only inline Markdown (emphasis, code, links) and their line breaks:
// block syntax (headings, lists, quotes, code blocks) is escaped so it reads as typed.
QString inlineOnlyMarkdown(const QString& notes);

}  // namespace qb

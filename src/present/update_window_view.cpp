#include "present/update_window_view.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

#include "common/text.h"
#include "present/formatters.h"
#include "updater/version.h"

namespace qb {

namespace {

const QChar kEllipsis(0x2026);
const QChar kEmDash(0x2014);

QString notesFallbackText() {
  return QStringLiteral("The publisher didn't include release notes for this version.");
}

VersionTransitionView transition(const UpdateWindowInput& in, const UpdateInfo& info) {
  return {in.currentVersion, in.currentBuild, info.version, info.buildNumber.value_or(QString())};
}

void releaseNotes(UpdateWindowView& v, const UpdateInfo& info) {
  v.showNotes = true;
  v.notes = info.notes.value_or(QString());
  v.notesFallback = notesFallbackText();
}

QList<UpdateChip> chips(const UpdateInfo& info, const QLocale& locale) {
  QList<UpdateChip> out;
  if (info.sizeBytes)
    out.append({QStringLiteral("arrow.down.circle"), formatByteCount(*info.sizeBytes, locale)});
  if (info.sha256) out.append({QStringLiteral("checkmark.shield"), QStringLiteral("Verified")});
  const QString name = info.fileName.toLower();
  if (name.endsWith(QLatin1String(".dmg")))
    out.append({QStringLiteral("externaldrive"), QStringLiteral("DMG")});
  else if (name.endsWith(QLatin1String(".zip")))
    out.append({QStringLiteral("doc.zipper"), QStringLiteral("ZIP")});
  return out;
}

void progressBlock(UpdateWindowView& v, double p, const std::optional<qint64>& size,
                   const QLocale& locale) {
  v.showProgress = true;
  // NaN or below zero: the size is unknown. A figure past 1 is shown as done.
  if (!(p >= 0.0)) {
    v.progress.reset();
    v.progressText = QStringLiteral("Downloading") + kEllipsis + QStringLiteral(" size unknown");
    return;
  }
  p = std::min(p, 1.0);
  v.progress = p;
  const QString percent = QString::number(static_cast<long long>(std::round(p * 100.0))) + u'%';
  if (size && *size >= 1) {
    const auto done = static_cast<qint64>(p * static_cast<double>(*size));
    v.progressText = formatByteCount(done, locale) + QStringLiteral(" of ") +
                     formatByteCount(*size, locale) + u' ' + kEmDash + u' ' + percent;
  } else {
    v.progressText = percent;
  }
}

UpdateWindowButton checkNow() {
  return {QStringLiteral("Check Now"), UpdateWindowAction::check, true, true, false};
}
UpdateWindowButton later() { return {QStringLiteral("Later"), UpdateWindowAction::later}; }
UpdateWindowButton disabled(const QString& text) {
  return {text, UpdateWindowAction::none, false, false, false};
}

}  // namespace

UpdateWindowView updateWindowView(const UpdateWindowInput& in, const QDateTime& now,
                                  const QLocale& locale) {
  UpdateWindowView v;
  v.channelLine = QStringLiteral("Channel: ") + capitalized(in.channel);
  if (in.lastChecked)
    v.lastChecked = QStringLiteral("Last checked ") + relativeTime(*in.lastChecked, now);
  const QString running = displayVersion(in.currentVersion, in.currentBuild.isEmpty()
                                                                ? std::optional<QString>()
                                                                : std::optional(in.currentBuild));
  namespace us = update_state;
  std::visit(
      [&](const auto& s) {
        using S = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<S, us::Idle>) {
          v.body = UpdateWindowView::Body::status;
          v.statusSymbol = QStringLiteral("questionmark.circle");
          v.statusColor = Tint::secondary;
          v.statusTitle = QStringLiteral("Click \"Check Now\" to look for an update.");
          v.statusSubtitle = QStringLiteral("You're currently on ") + running + u'.';
          v.buttons = {checkNow()};
        } else if constexpr (std::is_same_v<S, us::Checking>) {
          v.body = UpdateWindowView::Body::spinner;
          v.spinnerText = QStringLiteral("Checking for updates") + kEllipsis;
          v.buttons = {disabled(QStringLiteral("Checking") + kEllipsis)};
        } else if constexpr (std::is_same_v<S, us::UpToDate>) {
          v.body = UpdateWindowView::Body::status;
          v.statusSymbol = QStringLiteral("checkmark.seal.fill");
          v.statusColor = Tint::green;
          v.statusTitle = QStringLiteral("You're up to date.");
          v.statusSubtitle = QStringLiteral("Running ") + running + u' ' + kEmDash +
                             QStringLiteral(" the latest ") + in.channel + QStringLiteral(" release.");
          v.buttons = {checkNow()};
        } else if constexpr (std::is_same_v<S, us::Available>) {
          v.body = UpdateWindowView::Body::release;
          v.headline = QStringLiteral("A new version of Quotabar is available");
          v.headlineEmphasised = true;
          v.transition = transition(in, s.info);
          v.chips = chips(s.info, locale);
          releaseNotes(v, s.info);
          v.buttons = {later(), {QStringLiteral("Download"), UpdateWindowAction::download, true,
                                 true, true}};
        } else if constexpr (std::is_same_v<S, us::Downloading>) {
          v.body = UpdateWindowView::Body::release;
          v.headline = QStringLiteral("Downloading ") +
                       displayVersion(s.info.version, s.info.buildNumber) + kEllipsis;
          v.transition = transition(in, s.info);
          progressBlock(v, s.progress, s.info.sizeBytes, locale);
          releaseNotes(v, s.info);
          v.buttons = {disabled(QStringLiteral("Cancel"))};
        } else if constexpr (std::is_same_v<S, us::ReadyToInstall>) {
          v.body = UpdateWindowView::Body::release;
          v.headline =
              displayVersion(s.info.version, s.info.buildNumber) + QStringLiteral(" is ready to install");
          v.transition = transition(in, s.info);
          v.caption = QStringLiteral("Quotabar will quit and relaunch automatically.");
          releaseNotes(v, s.info);
          v.buttons = {later(), {QStringLiteral("Install & Relaunch"), UpdateWindowAction::install,
                                 true, true, true}};
        } else if constexpr (std::is_same_v<S, us::Installing>) {
          v.body = UpdateWindowView::Body::spinner;
          v.spinnerText = QStringLiteral("Installing update and relaunching") + kEllipsis;
          v.buttons = {disabled(QStringLiteral("Installing") + kEllipsis)};
        } else if constexpr (std::is_same_v<S, us::Failed>) {
          v.body = UpdateWindowView::Body::status;
          v.statusSymbol = QStringLiteral("exclamationmark.triangle.fill");
          v.statusColor = Tint::orange;
          v.statusTitle = QStringLiteral("Couldn't complete the update.");
          v.statusSubtitle = s.message;
          v.buttons = {checkNow()};
        }
      },
      in.state);
  return v;
}

QString inlineOnlyMarkdown(const QString& notes) {
  static const QRegularExpression block(QStringLiteral(
      "^(#{1,6}(?=\\s|$)|>|[-*+](?=\\s)|={2,}\\s*$|-{2,}\\s*$|`{3,}|~{3,}|\\|)"));
  static const QRegularExpression ordered(QStringLiteral("^\\d+(?=[.)](\\s|$))"));
  QStringList out;
  for (QString line : notes.split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    // Indentation would start a code block; keep it as non-breaking spaces.
    int indent = 0;
    while (indent < line.size() && (line[indent] == u' ' || line[indent] == u'\t')) ++indent;
    QString rest = line.mid(indent);
    if (block.match(rest).hasMatch()) {
      rest.prepend(u'\\');
    } else if (const auto m = ordered.match(rest); m.hasMatch()) {
      rest.insert(m.capturedEnd(), u'\\');
    }
    // Images stay text: the notes never make the app load anything.
    rest.replace(QStringLiteral("!["), QStringLiteral("!\\["));
    // An empty line would end the paragraph; a non-breaking space keeps it as a line.
    out.append(rest.isEmpty() && indent == 0 ? QString(QChar(0x00A0))
                                             : QString(indent, QChar(0x00A0)) + rest);
  }
  // A trailing backslash is a hard line break, so every line break stays.
  return out.join(QStringLiteral("\\\n"));
}

}  // namespace qb

#include <gtest/gtest.h>

#include "present/formatters.h"
#include "present/update_window_view.h"
#include "updater/update_schedule.h"

namespace qb {
namespace {

namespace us = update_state;
const QLocale kC(QLocale::English, QLocale::UnitedStates);
const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-12-07T12:00:00Z"), Qt::ISODate);

UpdateInfo release(std::optional<qint64> size = 10'000'000, QString file = QStringLiteral("Q.zip")) {
  return {.version = QStringLiteral("2.0.0"), .buildNumber = QStringLiteral("45"),
          .notes = QStringLiteral("**Faster** polling"), .sha256 = QStringLiteral("ab"), .fileName = file,
          .sizeBytes = size};
}

UpdateWindowView view(UpdaterState state, QString build = QStringLiteral("7"),
                      std::optional<QDateTime> checked = std::nullopt) {
  return updateWindowView(
      {std::move(state), checked, QStringLiteral("stable"), QStringLiteral("1.0.0"), std::move(build)}, kNow, kC);
}

QString buttons(const UpdateWindowView& v) {
  QStringList out;
  for (const auto& b : v.buttons)
    out << b.text + (b.enabled ? QString() : QStringLiteral("(off)")) + (b.isDefault ? QStringLiteral("*") : QString());
  return out.join(u'|');
}

TEST(UpdateWindowView, EveryStateHasItsBodyAndButtons) {
  const QChar e(0x2026);
  struct Case {
    UpdaterState state;
    QString text;  // the status title, spinner text or headline
    QString buttons;
  } cases[] = {
      {us::Idle{}, QStringLiteral("Click \"Check Now\" to look for an update."), QStringLiteral("Check Now*")},
      {us::Checking{}, QStringLiteral("Checking for updates") + e, QStringLiteral("Checking") + e + QStringLiteral("(off)")},
      {us::UpToDate{}, QStringLiteral("You're up to date."), QStringLiteral("Check Now*")},
      {us::Available{release()}, QStringLiteral("A new version of Quotabar is available"),
       QStringLiteral("Later|Download*")},
      {us::Downloading{release(), 0.5}, QStringLiteral("Downloading v2.0.0 (45)") + e, QStringLiteral("Cancel(off)")},
      {us::ReadyToInstall{release(), QStringLiteral("/x")}, QStringLiteral("v2.0.0 (45) is ready to install"),
       QStringLiteral("Later|Install & Relaunch*")},
      {us::Installing{}, QStringLiteral("Installing update and relaunching") + e,
       QStringLiteral("Installing") + e + QStringLiteral("(off)")},
      {us::Failed{std::nullopt, QStringLiteral("Disk full")}, QStringLiteral("Couldn't complete the update."),
       QStringLiteral("Check Now*")},
  };
  for (const auto& c : cases) {
    const UpdateWindowView v = view(c.state);
    SCOPED_TRACE(stateName(c.state).toStdString());
    const QString text = v.body == UpdateWindowView::Body::status    ? v.statusTitle
                         : v.body == UpdateWindowView::Body::spinner ? v.spinnerText
                                                                     : v.headline;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(buttons(v), c.buttons);
    EXPECT_EQ(v.channelLine, QStringLiteral("Channel: Stable"));
  }
  EXPECT_EQ(view(us::Failed{std::nullopt, QStringLiteral("Disk full")}).statusSubtitle, QStringLiteral("Disk full"));
  EXPECT_EQ(view(us::UpToDate{}).statusSubtitle,
            QStringLiteral("Running v1.0.0 (7) ") + QChar(0x2014) + QStringLiteral(" the latest stable release."));
  // An empty running build shows no parentheses.
  EXPECT_EQ(view(us::Idle{}, QString()).statusSubtitle, QStringLiteral("You're currently on v1.0.0."));
}

TEST(UpdateWindowView, ChipsProgressNotesAndLastChecked) {
  auto chips = [](const UpdateInfo& i) {
    QStringList out;
    for (const auto& c : view(us::Available{i}).chips) out << c.text;
    return out.join(u'|');
  };
  EXPECT_EQ(chips(release()), QStringLiteral("10 MB|Verified|ZIP"));
  UpdateInfo bare = release(std::nullopt, QStringLiteral("Q.tar"));
  bare.sha256.reset();
  EXPECT_EQ(chips(bare), QString());
  EXPECT_EQ(chips(release(1'234'567, QStringLiteral("Q.DMG"))), QStringLiteral("1.2 MB|Verified|DMG"));

  const QString dash = u' ' + QString(QChar(0x2014)) + u' ';
  struct Case {
    double p;
    std::optional<qint64> size;
    std::optional<double> bar;
    QString text;
  } cases[] = {
      {0.5, 10'000'000, 0.5, QStringLiteral("5 MB of 10 MB") + dash + QStringLiteral("50%")},
      {0.5, std::nullopt, 0.5, QStringLiteral("50%")},
      {0.5, 0, 0.5, QStringLiteral("50%")},
      {-1.0, 10'000'000, std::nullopt, QStringLiteral("Downloading") + QChar(0x2026) + QStringLiteral(" size unknown")},
      {std::nan(""), std::nullopt, std::nullopt, QStringLiteral("Downloading") + QChar(0x2026) + QStringLiteral(" size unknown")},
      {1.7, std::nullopt, 1.0, QStringLiteral("100%")},
  };
  for (const auto& c : cases) {
    const UpdateWindowView v = view(us::Downloading{release(c.size), c.p});
    EXPECT_EQ(v.progress, c.bar) << c.p;
    EXPECT_EQ(v.progressText, c.text) << c.p;
  }

  UpdateInfo noNotes = release();
  for (std::optional<QString> notes : {std::optional<QString>(), std::optional(QString())}) {
    noNotes.notes = notes;
    const UpdateWindowView v = view(us::Available{noNotes});
    EXPECT_TRUE(v.notes.isEmpty());
    EXPECT_EQ(v.notesFallback, QStringLiteral("The publisher didn't include release notes for this version."));
  }
  EXPECT_EQ(view(us::Idle{}).lastChecked, QString());
  EXPECT_EQ(view(us::Idle{}, {}, kNow.addSecs(-300)).lastChecked, QStringLiteral("Last checked 5 min. ago"));
}

TEST(UpdateWindowView, Formatters) {
  EXPECT_EQ(formatByteCount(0, kC), QStringLiteral("Zero KB"));
  EXPECT_EQ(formatByteCount(999, kC), QStringLiteral("1 KB"));
  EXPECT_EQ(formatByteCount(2'500'000'000, kC), QStringLiteral("2,500 MB"));
  // Block syntax is kept as typed; inline emphasis and every line break stay.
  EXPECT_EQ(inlineOnlyMarkdown(QStringLiteral("# Big\n- item\n2. two\n**bold**")),
            QStringLiteral("\\# Big\\\n\\- item\\\n2\\. two\\\n**bold**"));
}

TEST(UpdateSchedule, FirstCheckDelay) {
  struct Case {
    std::optional<qint64> agoSeconds;
    qint64 delay;
  } cases[] = {
      {std::nullopt, 5}, {1800, 5400}, {3 * 3600, 5}, {7195, 5}, {7200, 5}, {-3600, 10800},
  };
  for (const auto& c : cases) {
    const auto last = c.agoSeconds ? std::optional(kNow.addSecs(-*c.agoSeconds)) : std::nullopt;
    EXPECT_EQ(firstUpdateCheckDelaySeconds(last, kNow), c.delay) << c.agoSeconds.value_or(-1);
  }
}

}  // namespace
}  // namespace qb

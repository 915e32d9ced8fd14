// Shows the popover in each main state, the onboarding window, the paste-token dialog, the
// update window in every state and the tray icon at every level, light and dark, and saves
// them as PNG files to look at (docs/testing.md):  screenshots OUTDIR
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QPalette>
#include <QProcess>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <algorithm>
#include <QTimer>
#include <cstdio>

#include "demo_history.h"
#include "monitoring/history_journal.h"
#include "popover_rig.h"
#include "ui/onboarding_window.h"
#include "ui/paste_token_dialog.h"
#include "ui/popover_widget.h"
#include "present/status_item_display.h"
#include "present/update_window_view.h"
#include "ui/symbol_icon.h"
#include "ui/tray_icon.h"
#include "ui/update_banner_widget.h"
#include "ui/update_window.h"
#include <QPainter>

namespace {

using qb::Provider;

struct Scenario {
  const char* name;
  std::array<QString, 4> states;
  enum class Update { none, available, failed } update = Update::none;
  bool settle = true;
  bool history = false;  // Cursor with sixteen days of recorded usage: the cycle's chart
  const char* focus = nullptr;  // the button that has the keyboard focus
};

const Scenario kScenarios[] = {
    {"empty", {}, Scenario::Update::none, true},
    {"loaded", {"normal", "normal", {}, "normal"}, Scenario::Update::available, true},
    {"requests", {"requests", {}, "normal", {}}, Scenario::Update::none, true},
    {"critical", {"critical", {}, {}, "normal"}, Scenario::Update::failed, true},
    {"errors", {"error", "error", "expired", "error"}, Scenario::Update::none, true},
    {"checking", {"slow", {}, {}, {}}, Scenario::Update::none, false},
    // Cursor on a request plan at 72 % after 16 of 30 days: the forecast runs out early.
    {"forecast", {"requests", {}, {}, {}}, Scenario::Update::none, true},
    // Sixteen days that speed up: the chart, and a forecast from the last week's pace.
    {"history", {"normal", {}, "normal", {}}, Scenario::Update::none, true, true},
    // The focus ring on a borderless button.
    {"focus", {"normal", {}, "error", {}}, Scenario::Update::none, true, false, "quit"},
};

QPalette darkPalette() {
  QPalette p;
  const QColor window(0x26, 0x26, 0x28), base(0x1e, 0x1e, 0x20), text(0xec, 0xec, 0xee);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(0x98, 0x98, 0x9d));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x70, 0x70, 0x74));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x70, 0x74));
  return p;
}

void settleUi(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool shoot(const Scenario& s, const QString& file) {
  qb::test::PopoverRig rig(s.states);
  if (s.history) {
    qb::fake::writeDemoHistory(*qb::historyFilePath(), s.states[0]);
    rig.store().keepHistory();
    qb::test::waitUntil([&] { return !rig.store().recordedCycle(Provider::cursor).isEmpty(); });
  }
  if (s.settle) {
    if (!rig.startAndSettle()) std::fprintf(stderr, "%s: services did not settle\n", s.name);
  } else {
    rig.store().startAll();
  }
  qb::Updater* updater = nullptr;
  if (s.update != Scenario::Update::none) updater = rig.withUpdate(s.update == Scenario::Update::failed);
  qb::ui::PopoverWidget popover(rig.store(), updater, {});
  popover.show();
  if (s.focus) popover.findChild<QWidget*>(QLatin1String(s.focus))->setFocus(Qt::TabFocusReason);
  settleUi(400);
  return popover.grab().save(file);
}

// The icon at 16, 22 and 24 px and 22 px at 2x on a dark or light panel, four times larger:
// monochrome rows, then colour rows.
bool trayIcons(const QString& file, bool darkPanel) {
  // What the tray shows signed out, signed in without a figure, then at each level.
  using State = qb::UsageMonitor::State;
  QList<qb::StatusItemDisplay> displays = {
      qb::statusItemDisplay(qb::StatusItemInput{}),
      qb::statusItemDisplay({{Provider::cursor}, Provider::cursor, State::of(State::Kind::loading), {}})};
  for (double percent : {4.0, 42.0, 72.0, 88.0, 96.0, 100.0, 123.0}) {
    qb::UsageSnapshot s;
    s.totalPercentUsed = percent;
    displays << qb::statusItemDisplay({{Provider::cursor}, Provider::cursor, State::loaded(s), {}});
  }
  const QList<std::pair<int, qreal>> sizes = {{16, 1}, {22, 1}, {24, 1}, {22, 2}};
  const auto style = darkPanel ? qb::TrayIconStyle::light : qb::TrayIconStyle::dark;
  const QColor panel = QColor::fromRgb(qb::trayIconLook(style, {}, {}).panel);
  const int cell = 24 * 2 * 4 + 8;
  QImage strip(cell * int(displays.size()), cell * int(sizes.size()) * 2, QImage::Format_RGB32);
  strip.fill(panel);
  QPainter p(&strip);
  for (int i = 0; i < displays.size(); ++i) {
    for (int j = 0; j < sizes.size() * 2; ++j) {
      const auto [size, dpr] = sizes[j % sizes.size()];
      const std::optional<qb::UsageLevel> level =
          displays[i].percent ? std::optional(qb::usageLevel(*displays[i].percent)) : std::nullopt;
      const qb::PanelHints hints{{}, darkPanel};
      const auto look = qb::trayIconLook(j < sizes.size() ? style : qb::TrayIconStyle::colour, hints, level);
      QImage icon(QSize(size, size) * dpr, QImage::Format_RGB32);
      icon.fill(panel);
      QPainter(&icon).drawPixmap(QRect(QPoint(), icon.size()), qb::ui::trayPixmap(displays[i], look, size, dpr));
      p.drawImage(i * cell + 4, j * cell + 4, icon.scaled(icon.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation));
    }
  }
  p.end();
  return strip.save(file);
}

// The update window in every state, from view-model input (most states last a moment).
int updateWindows(const QString& out, const QString& theme) {
  qb::test::PopoverRig rig({});
  qb::ui::UpdateWindow window(*rig.withUpdate());
  qb::UpdateInfo info;
  info.version = QStringLiteral("1.1.0");
  info.buildNumber = QStringLiteral("8");
  info.fileName = QStringLiteral("Quotabar-1.1.0.zip");
  info.sizeBytes = 14'200'000;
  info.sha256 = QStringLiteral("ab");
  info.notes = QStringLiteral("**Faster** polling and a clearer tray icon.\nFixes:\n- the *Claude* sign-in");
  namespace us = qb::update_state;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const std::pair<const char*, qb::UpdaterState> states[] = {
      {"idle", us::Idle{}}, {"checking", us::Checking{}}, {"upToDate", us::UpToDate{}},
      {"available", us::Available{info}}, {"downloading", us::Downloading{info, 0.42}},
      {"downloading-unknown", us::Downloading{info, -1.0}},
      {"readyToInstall", us::ReadyToInstall{info, QStringLiteral("/tmp/x")}}, {"installing", us::Installing{}},
      {"failed", us::Failed{info, QStringLiteral("The downloaded update failed SHA-256 verification.")}},
  };
  int failures = 0;
  for (const auto& [name, state] : states) {
    window.renderView(qb::updateWindowView(
        {state, now.addSecs(-300), QStringLiteral("stable"), QStringLiteral("1.0.0"), QStringLiteral("7")}, now));
    window.resize(460, 480);
    window.show();
    settleUi(100);
    const QString file = QStringLiteral("%1/update-%2-%3.png").arg(out, QLatin1String(name), theme);
    if (!window.grab().save(file)) ++failures;
    std::printf("%s\n", qPrintable(file));
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The stand-in services' sessions live in files only; their keyring fallbacks are noise here.
  QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QStringList args = app.arguments();
  if (args.size() != 2 && !(args.size() == 3 && args[2] == QLatin1String("--scale-2"))) {
    std::fprintf(stderr, "usage: screenshots OUTDIR\n");
    return 2;
  }
  const QString out = args[1];
  QDir().mkpath(out);
  if (args.size() == 3) {
    // The chart at scale 2, in a process started with QT_SCALE_FACTOR=2.
    int failed = 0;
    for (const bool dark : {false, true}) {
      QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
      const QString file = QStringLiteral("%1/popover-history-%2-scale2.png").arg(out, dark ? "dark" : "light");
      const auto history = std::find_if(std::begin(kScenarios), std::end(kScenarios),
                                        [](const Scenario& c) { return c.history; });
      if (!shoot(*history, file)) ++failed;
      std::printf("%s\n", qPrintable(file));
    }
    return failed;
  }
  const QPalette light = QApplication::style()->standardPalette();
  int failures = 0;
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? darkPalette() : light);
    const QString theme = dark ? QStringLiteral("dark") : QStringLiteral("light");
    for (const Scenario& s : kScenarios) {
      const QString file = QStringLiteral("%1/popover-%2-%3.png").arg(out, QLatin1String(s.name), theme);
      if (!shoot(s, file)) ++failures;
      std::printf("%s\n", qPrintable(file));
    }
    // The banner of every updater state that draws one, from view-model input.
    {
      QWidget strip;
      strip.setFixedWidth(qb::ui::PopoverWidget::kWidth);
      strip.setAutoFillBackground(true);
      qb::ui::applyWindowStyle(&strip);
      auto* column = new QVBoxLayout(&strip);
      column->setContentsMargins(0, 0, 0, 0);
      qb::UpdateInfo info;
      info.version = QStringLiteral("2.0.0");
      const qb::UpdaterState states[] = {
          qb::update_state::Available{info}, qb::update_state::Downloading{info, 0.4},
          qb::update_state::Downloading{info, -1}, qb::update_state::ReadyToInstall{info, {}},
          qb::update_state::Installing{}, qb::update_state::Failed{info, QStringLiteral("Checksum mismatch.")}};
      for (const auto& state : states)
        column->addWidget(new qb::ui::UpdateBannerWidget(*qb::updateBannerView(state, QStringLiteral("1.0.0")), {}, &strip));
      strip.show();
      settleUi(300);
      const QString file = QStringLiteral("%1/banner-states-%2.png").arg(out, theme);
      if (!strip.grab().save(file)) ++failures;
      std::printf("%s\n", qPrintable(file));
    }
    qb::test::PopoverRig rig({"error", {}, "normal", "normal"});
    rig.startAndSettle();
    qb::ui::OnboardingWindow window(rig.store(), [](Provider) {});
    window.show();
    settleUi(400);
    const QString file = QStringLiteral("%1/onboarding-%2.png").arg(out, theme);
    if (!window.grab().save(file)) ++failures;
    std::printf("%s\n", qPrintable(file));
    {
      // The tray's paste path, after a sign-in window that ended without signing in.
      auto* paste = new qb::ui::PasteTokenDialog(Provider::cursor);
      paste->setNote(QStringLiteral("The sign-in window for Cursor ended without signing in (exit code 1)"));
      paste->show();
      settleUi(200);
      const QString pasteFile = QStringLiteral("%1/paste-token-%2.png").arg(out, theme);
      if (!paste->grab().save(pasteFile)) ++failures;
      std::printf("%s\n", qPrintable(pasteFile));
      paste->close();
    }
    failures += updateWindows(out, theme);
    const QString tray = QStringLiteral("%1/tray-icons-%2-panel.png").arg(out, theme);
    if (!trayIcons(tray, dark)) ++failures;
    std::printf("%s\n", qPrintable(tray));
  }
  QProcess scaled;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
  // Offscreen, a screen of a laptop's size at scale 2 (1280 x 800 points): the popover sizes
  // its list to the screen, and the default one is 400 points high at scale 2.
  QTemporaryDir screens;
  if (QGuiApplication::platformName() == QLatin1String("offscreen") && screens.isValid()) {
    QFile config(screens.filePath(QStringLiteral("screens.json")));
    if (config.open(QIODevice::WriteOnly)) {
      config.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 2560, "height": 1600,)"
                   R"( "logicalDpi": 96, "logicalWidth": 2560, "logicalHeight": 1600, "dpr": 1}]})");
      config.close();
      env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config.fileName());
    }
  }
  scaled.setProcessEnvironment(env);
  scaled.setProcessChannelMode(QProcess::ForwardedChannels);
  scaled.start(QCoreApplication::applicationFilePath(), {out, QStringLiteral("--scale-2")});
  if (!scaled.waitForFinished(120'000) || scaled.exitCode() != 0) ++failures;
  return failures == 0 ? 0 : 1;
}

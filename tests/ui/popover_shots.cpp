// Shows the popover in each main state and the onboarding window, light and dark, and saves
// what is on screen:  ui-screenshots OUTDIR
// With --hold SCENARIO it shows that popover as a popup and waits (for accessibility checks).
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>

#include "popover_rig.h"
#include "ui/onboarding_window.h"
#include "ui/popover_widget.h"
#include "ui/symbol_icon.h"
#include "ui/update_banner_widget.h"

namespace {

using qb::Provider;

struct Scenario {
  const char* name;
  std::array<QString, 4> states;
  enum class Update { none, available, failed } update = Update::none;
  bool settle = true;
};

const Scenario kScenarios[] = {
    {"empty", {}, Scenario::Update::none, true},
    {"loaded", {"normal", "normal", {}, "normal"}, Scenario::Update::available, true},
    {"requests", {"requests", {}, "normal", {}}, Scenario::Update::none, true},
    {"critical", {"critical", {}, {}, "normal"}, Scenario::Update::failed, true},
    {"errors", {"error", "error", "expired", "error"}, Scenario::Update::none, true},
    {"checking", {"slow", {}, {}, {}}, Scenario::Update::none, false},
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

bool shoot(const Scenario& s, const QString& file, bool hold) {
  qb::test::PopoverRig rig(s.states);
  if (s.settle) {
    if (!rig.startAndSettle()) std::fprintf(stderr, "%s: services did not settle\n", s.name);
  } else {
    rig.store().startAll();
  }
  qb::Updater* updater = nullptr;
  if (s.update != Scenario::Update::none) updater = rig.withUpdate(s.update == Scenario::Update::failed);
  qb::ui::PopoverWidget popover(rig.store(), updater, {});
  popover.move(40, 40);
  popover.show();
  popover.activateWindow();
  settleUi(400);
  if (hold) {
    std::printf("ready\n");
    std::fflush(stdout);
    // Moving the focus through the popup makes it announce itself to listeners.
    for (int i = 0; i < 30; ++i) {
      if (QWidget* w = QApplication::focusWidget() ? QApplication::focusWidget()->nextInFocusChain() : &popover) w->setFocus(Qt::TabFocusReason);
      settleUi(500);
    }
    return true;
  }
  return popover.grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QStringList args = app.arguments();
  if (args.size() == 3 && args[1] == QLatin1String("--hold")) {
    for (const Scenario& s : kScenarios)
      if (args[2] == QLatin1String(s.name)) return shoot(s, {}, true) ? 0 : 1;
    return 2;
  }
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: ui-screenshots OUTDIR | --hold SCENARIO\n");
    return 2;
  }
  const QString out = args[1];
  QDir().mkpath(out);
  const QPalette light = QApplication::style()->standardPalette();
  int failures = 0;
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? darkPalette() : light);
    const QString theme = dark ? QStringLiteral("dark") : QStringLiteral("light");
    for (const Scenario& s : kScenarios) {
      const QString file = QStringLiteral("%1/popover-%2-%3.png").arg(out, QLatin1String(s.name), theme);
      if (!shoot(s, file, false)) ++failures;
      std::printf("%s\n", qPrintable(file));
    }
    // The banner of every updater state that draws one, from view-model input.
    {
      QWidget strip;
      strip.setFixedWidth(qb::ui::PopoverWidget::kWidth);
      strip.setAutoFillBackground(true);
      strip.setStyleSheet(qb::ui::prominentButtonStyle(strip.palette()));
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
  }
  return failures == 0 ? 0 : 1;
}

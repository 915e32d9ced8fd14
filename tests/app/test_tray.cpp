// The tray app's wiring, offscreen: what opens by itself and when, and the update checks.
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "monitoring/providers_store.h"
#include "monitoring/session_store.h"
#include "platform/autostart.h"
#include "platform/settings.h"
#include "present/popover_view.h"
#include "support/test_support.h"
#include "ui/onboarding_window.h"
#include "ui/popover_widget.h"
#include "ui/status_bar_controller.h"
#include "ui/update_window.h"
#include "updater/update_fixtures.h"
#include "updater/updater.h"

namespace qb {
namespace {

using test::waitUntil;

void offer(test::UpdateRig& rig, const char* version) { rig.server.offer(test::release(version)); }

ui::StatusBarOptions quiet() {
  ui::StatusBarOptions o;
  o.watchTrayHost = false;
  o.quit = [] {};
  return o;
}

TEST(StatusBar, PresentsEachNewVersionOnceAcrossRestarts) {
  test::UpdateRig app;
  ProvidersStore store;
  for (const auto& [version, presented] : {std::pair{"2.0.0", true}, {"2.0.0", false}, {"2.1.0", true}}) {
    // A new controller and updater each round: the bookkeeping lives in the settings.
    offer(app, version);
    auto updater = app.updater();
    ASSERT_TRUE(updater);
    ui::StatusBarController bar(store, updater.get(), quiet());
    updater->check(true);
    ASSERT_TRUE(waitUntil([&] { return holds<update_state::Available>(updater->state()); }));
    test::spin(50);
    EXPECT_EQ(bar.updateWindow() != nullptr && bar.updateWindow()->isVisible(), presented) << version;
    EXPECT_EQ(platform::settings()->value(QLatin1String(ui::StatusBarController::kLastAutoPresentedKey)),
              QString::fromLatin1(version));
    // Closing hides it and is accepted: a refused close would veto the relaunch's quit.
    if (presented) {
      EXPECT_TRUE(bar.updateWindow()->close());
      EXPECT_FALSE(bar.updateWindow()->isVisible());
    }
  }
}

TEST(StatusBar, SigningOutOfTheLastServiceClosesThePopover) {
  test::TempHome home;
  ASSERT_TRUE(SessionStore::saveChecked(QStringLiteral("WorkosCursorSessionToken=a"), Provider::cursor));
  ProvidersStore store;
  store.startAll();
  ui::StatusBarController bar(store, nullptr, quiet());
  bar.showPopover();
  ASSERT_TRUE(bar.popover()->isVisible());
  bar.signOut(Provider::cursor);
  EXPECT_FALSE(bar.popover()->isVisible());
  EXPECT_TRUE(store.connectedProviders().isEmpty());
}

QStringList menuLabels(const QMenu* menu) {
  QStringList labels;
  for (const QAction* a : menu->actions())
    if (!a->isSeparator()) labels << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)"));
  return labels;
}

TEST(StatusBar, AFullContextMenuBeforeAnyIconAndNoHostWindowWhoseCloseQuits) {
  test::TempHome home;
  ASSERT_TRUE(SessionStore::saveChecked(QStringLiteral("WorkosCursorSessionToken=a"), Provider::cursor));
  ProvidersStore store;
  store.startAll();
  int quits = 0;
  ui::StatusBarOptions o = quiet();
  o.watchTrayHost = true;  // no bus and no X server here: no host
  o.trayHostGraceMs = 0;
  o.quit = [&quits] { ++quits; };
  ui::StatusBarController bar(store, nullptr, o);
  // No turn of the event loop and no aboutToShow: a host reading it now sees it all.
  QStringList labels = menuLabels(bar.contextMenu());
  EXPECT_EQ(labels.mid(0, 3), (QStringList{"Open Quotabar", "Refresh now", "Refresh every"})) << qPrintable(labels.join('|'));
  EXPECT_TRUE(labels.contains(QStringLiteral("Sign Out")));
  EXPECT_EQ(labels.last(), QStringLiteral("Quit"));
  bar.signOut(Provider::cursor);
  ASSERT_TRUE(waitUntil([&] { return !menuLabels(bar.contextMenu()).contains(QStringLiteral("Sign Out")); }));
  EXPECT_EQ(menuLabels(bar.contextMenu()).value(1), QStringLiteral("Refresh now (off)"));
  bar.contextMenu()->actions().last()->trigger();
  EXPECT_EQ(quits, 1);

  ASSERT_TRUE(waitUntil([&] { return bar.popover() && bar.popover()->isVisible() && bar.usingFallbackWindow(); }));
  bar.popover()->close();
  EXPECT_TRUE(waitUntil([&] { return quits == 2; }));
}

TEST(StatusBar, OpenAtLoginWritesAndRemovesTheEntry) {
  test::TempHome home;
  ProvidersStore store;
  ui::StatusBarController bar(store, nullptr, quiet());
  bar.setOpenAtLogin(true);
  QFile entry(platform::autostartEntryPath());
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(entry.readAll());
  // The panel-waiting keys, and an Exec that survives a path with blanks or quotes.
  EXPECT_TRUE(text.contains(QStringLiteral("X-KDE-autostart-after=panel")));
  EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"") + QCoreApplication::applicationFilePath()));
  EXPECT_EQ(platform::autostartEntry(QStringLiteral("/a b/\"q\"$x")).section(u'\n', 4, 4),
            QStringLiteral("Exec=\"/a b/\\\"q\\\"\\$x\""));
  EXPECT_TRUE(optionsMenuView(popoverInput(store, nullptr), QDateTime::currentDateTime()).openAtLogin.value_or(false));
  bar.setOpenAtLogin(false);
  EXPECT_FALSE(platform::autostartEnabled());
}

TEST(AppDelegate, OnboardingOnlyWhenNothingIsStoredAndTheFirstCheckFollowsTheLastOne) {
  for (const bool stored : {false, true}) {
    test::UpdateRig app;
    offer(app, "1.0.0");
    if (stored) {
      ASSERT_TRUE(SessionStore::saveChecked(QStringLiteral("WorkosCursorSessionToken=a"), Provider::cursor));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    platform::settings()->setValue(QLatin1String(Updater::kLastCheckedKey), now.addSecs(-1800));
    AppDelegateOptions options;
    options.now = [now] { return now; };
    options.makeUpdater = [&app] { return app.updater(); };
    options.makeStatusBar = [](ProvidersStore& s, Updater* u) {
      return std::make_unique<ui::StatusBarController>(s, u, quiet());
    };
    options.watchWake = false;
    AppDelegate delegate(options);
    delegate.applicationDidFinishLaunching();
    test::spin(600);
    auto* onboarding = delegate.statusBar()->onboardingWindow();
    EXPECT_EQ(onboarding != nullptr && onboarding->isVisible(), !stored);
    ASSERT_TRUE(delegate.firstCheckTimer());
    EXPECT_EQ(delegate.firstCheckTimer()->interval(), 5400 * 1000);
    EXPECT_EQ(delegate.updateCheckTimer()->interval(), 7200 * 1000);
    delegate.store().monitor(Provider::cursor)->stopPolling();
  }
}

TEST(AppDelegate, WakeChecksOnlyWhenTheLastCheckIsOldEnough) {
  for (const auto& [ago, checks] : {std::pair{3600, false}, {7200, true}}) {
    test::UpdateRig app;
    offer(app, "1.0.0");
    platform::settings()->setValue(QLatin1String(Updater::kLastCheckedKey),
                                   QDateTime::currentDateTimeUtc().addSecs(-ago));
    AppDelegateOptions options;
    options.makeUpdater = [&app] { return app.updater(); };
    options.makeStatusBar = [](ProvidersStore& s, Updater* u) {
      return std::make_unique<ui::StatusBarController>(s, u, quiet());
    };
    options.watchWake = false;
    AppDelegate delegate(options);
    delegate.handleWake();
    test::spin(300);
    EXPECT_EQ(app.server.latestRequests() > 0, checks) << ago;
  }
}

}  // namespace
}  // namespace qb

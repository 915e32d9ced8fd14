// The tray app's wiring, offscreen: what opens by itself and when, and the update checks.
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMenu>
#include <QTimer>
#include <QTemporaryDir>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_delegate.h"
#include "fake_services.h"
#include "monitoring/providers_store.h"
#include "monitoring/session_store.h"
#include "platform/autostart.h"
#include "platform/desktop/single_instance.h"
#include "platform/settings.h"
#include "present/popover_view.h"
#include "support/test_support.h"
#include "ui/popover_rig.h"
#include "ui/onboarding_window.h"
#include "ui/paste_token_dialog.h"
#include "ui/popover_widget.h"
#include "ui/status_bar_controller.h"
#include "ui/update_window.h"
#include "updater/update_fixtures.h"
#include "updater/update_schedule.h"
#include "updater/updater.h"

namespace qb {
namespace {

using test::waitUntil;

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
    app.server.offer(test::release(version));
    auto updater = app.updater();
    ASSERT_TRUE(updater);
    ui::StatusBarController bar(store, updater.get(), quiet());
    updater->check(true);
    ASSERT_TRUE(waitUntil([&] { return holds<update_state::Available>(updater->state()); }));
    QCoreApplication::processEvents();  // the controller takes a state one turn later
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

TEST(StatusBar, WithoutTheSignInWindowSignInOpensThePasteDialog) {
  test::PopoverRig rig({});
  rig.server(Provider::cursor).route("/api/auth/me", fake::Reply::text("<b>bad</b> channel", 400));
  ui::StatusBarController bar(rig.store(), nullptr, quiet());
  // A window that ended without signing in offers the paste path, saying why; a missing one
  // offers it without a word.
  QPointer<ui::PasteTokenDialog> dialog;
  for (const auto& [helper, why] : {std::pair{"/bin/false", true}, {"/nonexistent/quotabar-signin", false}}) {
    qputenv("QUOTABAR_SIGNIN_HELPER", helper);
    bar.showLogin(Provider::cursor);
    ASSERT_TRUE(waitUntil([&] { return (dialog = bar.pasteDialog(Provider::cursor)) && dialog->isVisible(); }));
    auto* note = dialog->findChild<QLabel*>(QStringLiteral("note"));
    EXPECT_EQ(note->isVisibleTo(dialog), why) << helper;
    if (!why) break;
    EXPECT_TRUE(note->text().contains(QStringLiteral("ended without signing in"))) << note->text().toStdString();
    dialog->close();
    ASSERT_TRUE(waitUntil([&] { return dialog.isNull(); }));
  }
  dialog->findChild<QLineEdit*>()->setText(QStringLiteral(" WorkosCursorSessionToken=abc "));
  auto signIn = [&] {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == QLatin1String("Sign in")) b->click();
  };

  // Refused: the service's words as plain text, nothing stored, the dialog stays.
  signIn();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (box = dialog->findChild<QMessageBox*>()) != nullptr; }));
  auto* detail = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
  ASSERT_TRUE(detail);
  EXPECT_EQ(detail->textFormat(), Qt::PlainText);
  EXPECT_EQ(detail->text(), QStringLiteral("HTTP 400: <b>bad</b> channel"));
  EXPECT_FALSE(SessionStore::load(Provider::cursor));
  box->close();

  // Accepted: stored through the checked store, the service starts, the dialog closes.
  fake::installServiceRoutes(Provider::cursor, rig.server(Provider::cursor));
  signIn();
  ASSERT_TRUE(waitUntil([&] { return dialog.isNull(); }));
  EXPECT_EQ(SessionStore::load(Provider::cursor), QStringLiteral("WorkosCursorSessionToken=abc"));
  EXPECT_TRUE(rig.store().connectedProviders().contains(Provider::cursor));
  qunsetenv("QUOTABAR_SIGNIN_HELPER");
}

QStringList menuLabels(const QMenu* menu) {
  QStringList labels;
  for (const QAction* a : menu->actions())
    if (!a->isSeparator()) labels << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)"));
  return labels;
}

// The menu whole at registration, its Quit and the no-host window are the desktop tests'.
TEST(StatusBar, SigningOutOfTheLastServiceClosesThePopoverAndFollowsInTheMenu) {
  test::PopoverRig rig({QStringLiteral("normal"), {}, {}, {}});
  ASSERT_TRUE(rig.startAndSettle());
  ProvidersStore& store = rig.store();
  ui::StatusBarController bar(store, nullptr, quiet());
  EXPECT_TRUE(menuLabels(bar.contextMenu()).contains(QStringLiteral("Sign Out")));
  // A poll that changes nothing in it leaves it alone: hosts hear of every refill.
  const QPointer<QAction> open = bar.contextMenu()->actions().value(0);
  Q_EMIT store.changed();
  test::spin(50);
  EXPECT_TRUE(open);
  bar.showPopover();
  ASSERT_TRUE(bar.popover()->isVisible());
  bar.signOut(Provider::cursor);
  EXPECT_FALSE(bar.popover()->isVisible());
  EXPECT_TRUE(store.connectedProviders().isEmpty());
  ASSERT_TRUE(waitUntil([&] { return !menuLabels(bar.contextMenu()).contains(QStringLiteral("Sign Out")); }));
  EXPECT_EQ(menuLabels(bar.contextMenu()).value(1), QStringLiteral("Refresh now (off)"));
}

TEST(StatusBar, OpenAtLoginWritesAndRemovesTheEntry) {
  test::TempHome home;
  ProvidersStore store;
  ui::StatusBarController bar(store, nullptr, quiet());
  bar.setOpenAtLogin(true);
  EXPECT_TRUE(optionsMenuView(popoverInput(store, nullptr), QDateTime::currentDateTime()).openAtLogin.value_or(false));
  // Odd paths come back whole through GLib's reading of the entry, as a desktop starts it;
  // one with a control character is refused and leaves no entry.
  for (const char* path : {"/a b/\"q\"$x`y", "/opt/100%/q\\d %f", "/a\nHidden=true\n/q"}) {
    const bool refused = strchr(path, '\n');
    ASSERT_EQ(platform::setAutostartEnabled(true, QString::fromUtf8(path)), !refused);
    g_autoptr(GKeyFile) file = g_key_file_new();
    g_auto(GStrv) argv = nullptr;
    ASSERT_EQ(g_key_file_load_from_file(file, QFile::encodeName(platform::autostartEntryPath()), G_KEY_FILE_NONE, nullptr),
              !refused) << path;
    if (refused) continue;
    g_autofree gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
    g_autofree gchar* tryExec = g_key_file_get_string(file, "Desktop Entry", "TryExec", nullptr);
    ASSERT_TRUE(exec && g_shell_parse_argv(QByteArray(exec).replace("%%", "%"), nullptr, &argv, nullptr)) << path;
    EXPECT_EQ(QStringList({QString::fromUtf8(argv[0]), QString::fromUtf8(tryExec)}), QStringList(2, QString::fromUtf8(path)));
    platform::setAutostartEnabled(false, {});
  }
  bar.setOpenAtLogin(false);
  EXPECT_FALSE(platform::autostartEnabled());
}

TEST(SingleInstance, TheSocketLivesInAFolderOnlyItsUserCanEnter) {
  QTemporaryDir tmp;
  const QString own = tmp.filePath(QStringLiteral("quotabar-%1").arg(::getuid()));
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), savedTmp = qgetenv("TMPDIR");
  qunsetenv("XDG_RUNTIME_DIR"), qputenv("TMPDIR", QFile::encodeName(tmp.path()));
  // Our own folder; then the same made enterable; then a link: no single instance.
  const std::function<void()> steps[] = {[] {}, [&] { ::chmod(QFile::encodeName(own), 0755); },
                                         [&] { QDir(own).removeRecursively(); QFile::link(tmp.path(), own); }};
  for (const auto& step : steps) {
    step();
    const bool safe = &step == &steps[0];
    platform::SingleInstance first, second;
    EXPECT_EQ(QFileInfo(first.socketPath()).path(), safe ? own : QString());
    EXPECT_TRUE(first.claim());
    EXPECT_EQ(second.claim(), !safe);
  }
  qputenv("XDG_RUNTIME_DIR", runtime), qputenv("TMPDIR", savedTmp);
}

// The app on the rig's updater with a quiet tray; no wake watch.
AppDelegateOptions delegateOptions(test::UpdateRig& app) {
  AppDelegateOptions options;
  options.makeUpdater = [&app] { return app.updater(); };
  options.makeStatusBar = [](ProvidersStore& s, Updater* u) { return std::make_unique<ui::StatusBarController>(s, u, quiet()); };
  options.watchWake = false;
  return options;
}

TEST(AppDelegate, OnboardingOnlyWhenNothingIsStoredAndTheFirstCheckFollowsTheLastOne) {
  for (const bool stored : {false, true}) {
    test::UpdateRig app;
    test::PopoverRig services({});  // the services on loopback, for the stored session's first poll
    app.server.offer(test::release("1.0.0"));
    if (stored) {
      ASSERT_TRUE(SessionStore::saveChecked(QStringLiteral("WorkosCursorSessionToken=a"), Provider::cursor));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    platform::settings()->setValue(QLatin1String(Updater::kLastCheckedKey), now.addSecs(-1800));
    AppDelegateOptions options = delegateOptions(app);
    options.now = [now] { return now; };
    AppDelegate delegate(options);
    delegate.applicationDidFinishLaunching();
    // Past the onboarding delay: a timer of the same length started later fires later.
    bool delayPassed = false;
    QTimer::singleShot(kOnboardingDelayMs, [&] { delayPassed = true; });
    ASSERT_TRUE(waitUntil([&] { return delayPassed; }));
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
    app.server.offer(test::release("1.0.0"));
    platform::settings()->setValue(QLatin1String(Updater::kLastCheckedKey),
                                   QDateTime::currentDateTimeUtc().addSecs(-ago));
    AppDelegate delegate(delegateOptions(app));
    delegate.handleWake();
    EXPECT_EQ(holds<update_state::Checking>(delegate.updater()->state()), checks) << ago;
  }
}

}  // namespace
}  // namespace qb

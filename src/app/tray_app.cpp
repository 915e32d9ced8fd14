#include "app/tray_app.h"

#include <QApplication>
#include <QLoggingCategory>
#include <csignal>

#include "app/app_delegate.h"
#include "platform/desktop/single_instance.h"
#include "platform/unix_signals.h"
#include "ui/status_bar_controller.h"
#include "ui/symbol_icon.h"

namespace qb {

namespace {
Q_LOGGING_CATEGORY(lcApp, "com.orvane.quotabar.app")
}  // namespace

bool hasGraphicalSession() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int runTrayApp(int& argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quotabar"));
  QApplication::setOrganizationName(QStringLiteral("Quotabar"));
  // No display name: Qt would add " — Quotabar" to every window title.
  QApplication::setDesktopFileName(QStringLiteral("com.orvane.quotabar"));
  // Every window carries it (the window list, the task switcher, a title bar).
  QApplication::setWindowIcon(ui::appIcon());
  // A tray app: closing its last window must not end it.
  QApplication::setQuitOnLastWindowClosed(false);

  platform::SingleInstance instance;
  if (!instance.claim()) return 0;  // the running one shows its popup
  for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}}) {
    platform::onUnixSignal(signal, [name = name] {
      qCInfo(lcApp, "Quitting on %s.", name);
      QCoreApplication::quit();
    });
  }

  AppDelegate delegate;
  delegate.store().keepHistory();
  QObject::connect(&instance, &platform::SingleInstance::showRequested, &delegate, [&delegate] {
    if (delegate.statusBar()) delegate.statusBar()->showPopover();
  });
  delegate.applicationDidFinishLaunching();
  return QApplication::exec();
}

}  // namespace qb

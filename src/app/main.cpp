#include <QCoreApplication>
#include <cstdio>
#include <QLoggingCategory>

#include "app/cli_common.h"
#include "app/tray_app.h"
#include "platform/desktop/process_clock.h"
#include "providers/service_origin.h"

namespace {

const char* const kUsage =
    "usage: quotabar [COMMAND [ARGS]]\n"
    "  (no command)                start the tray application\n"
    "  account PROVIDER            check a session read from standard input\n"
    "  fetch PROVIDER              fetch usage with a session read from standard input\n"
    "  login PROVIDER              sign in through the service's own page in a window\n"
    "  signin PROVIDER             validate and store a session read from standard input\n"
    "  signout PROVIDER            forget a stored session\n"
    "  status [--json|--waybar]    refresh every signed-in service and print the summary\n"
    "  status --json|--waybar --watch\n"
    "                              keep printing the line whenever it changes (SIGUSR1 refreshes)\n"
    "  history [SERVICE] [--days N] [--csv|--json]\n"
    "                              the recorded usage per day (--clear [SERVICE] deletes it)\n"
    "  update check|install        look for, or install, a newer release\n"
    "  demo                        the app against local stand-ins of the services\n"
    "PROVIDER is cursor, windsurf, codex or claude.\n";

}  // namespace

int main(int argc, char** argv) {
  qb::platform::processClock();
  // No command: the tray application, when there is a screen to put it on.
  const bool trayFrontEnd = argc == 1;
  if (trayFrontEnd && qb::hasGraphicalSession()) {
    const QStringList originErrors = qb::applyOriginOverrides();
    for (const QString& e : originErrors) std::fprintf(stderr, "%s\n", qPrintable(e));
    if (!originErrors.isEmpty()) return qb::cli::Exit::usage;
    return qb::runTrayApp(argc, argv);
  }

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Quotabar"));
  QCoreApplication::setOrganizationName(QStringLiteral("Quotabar"));

  QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    qb::cli::err() << "No graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                      "showing the status instead.\n" << Qt::flush;
    args = {QStringLiteral("status")};
  } else if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
    qb::cli::out() << kUsage << Qt::flush;
    return qb::cli::Exit::ok;
  }

  const QStringList originErrors = qb::applyOriginOverrides();
  if (!originErrors.isEmpty()) {
    for (const QString& e : originErrors) qb::cli::err() << e << '\n';
    qb::cli::err().flush();
    return qb::cli::Exit::usage;
  }

  // A command reports its own outcome; the component log lines (a keyring that is not
  // there, say) would only bury it. QT_LOGGING_RULES="com.orvane.*=true" shows them.
  QLoggingCategory::setFilterRules(QStringLiteral("com.orvane.*=false"));

  const QString command = args.takeFirst();
  using Handler = int (*)(const QStringList&);
  const std::pair<const char*, Handler> commands[] = {
      {"account", qb::cli::accountCommand}, {"fetch", qb::cli::fetchCommand},
      {"login", qb::cli::loginCommand},
      {"signin", qb::cli::signinCommand},   {"signout", qb::cli::signoutCommand},
      {"status", qb::cli::statusCommand},   {"update", qb::cli::updateCommand},
      {"demo", qb::cli::demoCommand},       {"--demo", qb::cli::demoCommand},
      {"history", qb::cli::historyCommand},
  };
  for (const auto& [name, handler] : commands) {
    if (command == QLatin1String(name)) return handler(args);
  }
  qb::cli::err() << "unknown command" << qb::cli::echoed(command) << '\n' << kUsage << Qt::flush;
  return qb::cli::Exit::usage;
}

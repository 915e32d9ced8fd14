// `quotabar update check|install`: the updater driven from the command line.
#include <QCoreApplication>
#include <QTimer>
#include <unistd.h>

#include "app/cli_common.h"
#include "common/text.h"
#include "updater/update_origin.h"
#include "updater/updater.h"
#include "updater/version.h"

namespace qb::cli {

namespace {

const QString kUsageLine = QStringLiteral("quotabar update check|install");

// One line per state; the download's progress rewrites its line on a terminal and
// prints a line per whole percent otherwise.
class StatePrinter {
 public:
  void print(const UpdaterState& state) {
    if (const auto* d = std::get_if<update_state::Downloading>(&state)) return progress(d->progress);
    endProgressLine();
    if (const auto* a = std::get_if<update_state::Available>(&state)) {
      out() << "available " << terminalText(displayVersion(a->info.version, a->info.buildNumber)) << Qt::endl;
      return;
    }
    if (holds<update_state::Failed>(state)) return;  // reported on standard error
    out() << stateName(state) << Qt::endl;
  }

  void endProgressLine() {
    if (!lastLine_.isEmpty() && terminal_) out() << Qt::endl;
    lastLine_.clear();
  }

 private:
  void progress(double fraction) {
    const QString line = fraction < 0
                             ? QStringLiteral("downloading, size unknown")
                             : QStringLiteral("downloading %1%").arg(qRound(fraction * 100.0));
    if (line == lastLine_) return;
    lastLine_ = line;
    if (terminal_)
      out() << '\r' << line << Qt::flush;
    else
      out() << line << Qt::endl;
  }

  bool terminal_ = ::isatty(STDOUT_FILENO) == 1;
  QString lastLine_;
};

int check(Updater& updater) {
  return runLoop([&updater](std::function<void(int)> finished) {
    QObject::connect(&updater, &Updater::stateChanged, &updater,
                     [finished](const UpdaterState& state) {
                       if (const auto* a = std::get_if<update_state::Available>(&state)) {
                         out() << "available "
                               << terminalText(displayVersion(a->info.version, a->info.buildNumber)) << Qt::endl;
                         return finished(Exit::ok);
                       }
                       if (holds<update_state::UpToDate>(state)) {
                         out() << stateName(state) << Qt::endl;
                         return finished(Exit::ok);
                       }
                       if (const auto* f = std::get_if<update_state::Failed>(&state)) {
                         err() << terminalText(f->message) << Qt::endl;
                         return finished(Exit::failed);
                       }
                     });
    updater.check(false);
  });
}

int install(Updater& updater) {
  int code = Exit::failed;
  StatePrinter printer;
  auto stop = [&code](int c) {
    code = c;
    out().flush();
    err().flush();
    QCoreApplication::exit(c);
  };
  QObject::connect(&updater, &Updater::stateChanged, &updater, [&](const UpdaterState& state) {
    printer.print(state);
    // Each next step runs from the event loop, not inside the announcement of the last.
    if (const auto* a = std::get_if<update_state::Available>(&state)) {
      const UpdateInfo info = a->info;
      QTimer::singleShot(0, &updater, [&updater, info] { updater.downloadAndStage(info); });
    } else if (const auto* r = std::get_if<update_state::ReadyToInstall>(&state)) {
      const UpdateInfo info = r->info;
      const QString bundle = r->bundleURL;
      QTimer::singleShot(0, &updater, [&updater, &code, info, bundle] {
        updater.installAndRelaunch(info, bundle);
        // Still installing: the relauncher runs and the updater quits the application.
        if (holds<update_state::Installing>(updater.state())) code = Exit::ok;
      });
    } else if (holds<update_state::UpToDate>(state)) {
      stop(Exit::ok);
    } else if (const auto* f = std::get_if<update_state::Failed>(&state)) {
      printer.endProgressLine();
      out().flush();
      err() << terminalText(f->message) << Qt::endl;
      stop(Exit::failed);
    }
  });
  QTimer::singleShot(0, &updater, [&updater] { updater.check(false); });
  QCoreApplication::exec();
  out().flush();
  err().flush();
  return code;
}

}  // namespace

int updateCommand(const QStringList& args) {
  if (args.size() != 1 ||
      (args.first() != QLatin1String("check") && args.first() != QLatin1String("install")))
    return usageError(QString(), kUsageLine);

  QString originError;
  if (!configuredUpdateOrigin(&originError)) return usageError(originError, kUsageLine);
  const std::unique_ptr<Updater> updater = Updater::create();
  if (!updater) {
    // A build without an update key: the system package, whose updates come through apt.
    err() << "Updates come with the system's packages." << Qt::endl;
    return Exit::failed;
  }
  return args.first() == QLatin1String("check") ? check(*updater) : install(*updater);
}

}  // namespace qb::cli

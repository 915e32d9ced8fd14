#include "updater/relauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "updater/file_ops.h"

namespace qb {

Q_LOGGING_CATEGORY(lcRelauncher, "com.orvane.vantelo.updater.relauncher", QtInfoMsg)

QString shellQuote(const QString& path) {
  QString quoted = path;
  quoted.replace(u'\'', QStringLiteral("'\\''"));
  return u'\'' + quoted + u'\'';
}

QString backupPathFor(const QString& bundle) {
  const QFileInfo info(QDir::cleanPath(bundle));
  return info.path() + u'/' + info.completeBaseName() + QStringLiteral(".old.app");
}

QString stagingPathFor(const QString& bundle) {
  const QFileInfo info(QDir::cleanPath(bundle));
  return info.path() + u'/' + info.completeBaseName() + QStringLiteral(".new.app");
}

QString relauncherScript(const platform::ToolTable& tools, const RelaunchPaths& paths, qint64 pid) {
  const QString indent = QStringLiteral("    ");
  const QString exe = QStringLiteral("\"$NEW/") + tools.executable + u'"';
  const QStringList lines{
      QStringLiteral("#!/bin/bash"),
      QStringLiteral("set -u"),
      QStringLiteral("LOG=") + shellQuote(paths.log),
      QStringLiteral("SRC=") + shellQuote(paths.src),
      QStringLiteral("DST=") + shellQuote(paths.dst),
      QStringLiteral("BAK=") + shellQuote(paths.bak),
      QStringLiteral("PID=") + QString::number(pid),
      QStringLiteral("NEW=") + shellQuote(stagingPathFor(paths.dst)),
      QStringLiteral("SWAP=") + shellQuote(paths.dst + u'/' + tools.swap),
      QStringLiteral("SWAPPED=0"),
      QString(),
      QStringLiteral("exec >>\"$LOG\" 2>&1"),
      QStringLiteral("echo \"[$(date)] relauncher start pid=$PID src=$SRC dst=$DST\""),
      QString(),
      QStringLiteral("# Wait for the running app to exit (max 30s)."),
      QStringLiteral("for _ in $(seq 1 150); do"),
      indent + QStringLiteral("if ! kill -0 \"$PID\" 2>/dev/null; then break; fi"),
      indent + QStringLiteral("sleep 0.2"),
      QStringLiteral("done"),
      QStringLiteral("sleep 0.4"),
      QString(),
      // A kill or power cut at any instant leaves a whole application at DST: the new one
      // is staged beside it on the same file system and swapped in with one atomic step;
      // the old one, then at BAK, goes last. The app's start-up removes what is left.
      QStringLiteral("{"),
      indent + tools.scriptLock,
      indent + QStringLiteral("rm -rf \"$NEW\" \"$BAK\""),
      indent + QStringLiteral("if ! ") + tools.scriptCopy + QStringLiteral("; then"),
      indent + indent + QStringLiteral("echo \"ditto failed, restoring backup\""),
      // Only a copy that holds a runnable application is swapped in.
      indent + QStringLiteral("elif [ ! -f ") + exe + QStringLiteral(" ] || [ ! -x ") + exe + QStringLiteral(" ]; then"),
      indent + indent + QStringLiteral("echo \"new application not executable, restoring backup\""),
      indent + QStringLiteral("elif [ ! -d \"$DST\" ]; then"),
      indent + indent + QStringLiteral("mv -T \"$NEW\" \"$DST\" && SWAPPED=1 || echo \"mv failed\""),
      indent + QStringLiteral("elif ! \"$SWAP\" \"$NEW\" \"$DST\" \"$BAK\"; then"),
      indent + indent + QStringLiteral("echo \"mv to backup failed\""),
      indent + QStringLiteral("else"),
      indent + indent + QStringLiteral("SWAPPED=1"),
      indent + QStringLiteral("fi"),
      indent + QStringLiteral("rm -rf \"$NEW\" \"$BAK\""),
      QStringLiteral("} 9<\"${DST%/*}/\""),
      QString(),
      tools.scriptQuarantine,
      QString(),
      // A failed step still reopens the application that stays in place.
      QStringLiteral("if [ \"$SWAPPED\" = 1 ]; then echo \"[$(date)] swapped, opening\"; fi"),
      tools.scriptOpen + QStringLiteral(" || { echo \"open failed\"; exit 1; }"),
      QStringLiteral("if [ \"$SWAPPED\" != 1 ]; then exit 1; fi"),
      QStringLiteral("echo \"[$(date)] done\""),
  };
  return lines.join(u'\n');
}

void removeSwapLeftovers(const QString& bundle) {
  if (bundle.isEmpty()) return;
  const QString dst = QDir::cleanPath(bundle);
  const QByteArray folder = QFile::encodeName(QFileInfo(dst).path() + u'/');
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // A relauncher that holds the folder is still at work.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    for (const QString& leftover : {stagingPathFor(dst), backupPathFor(dst)}) {
      struct stat st {};
      if (::lstat(QFile::encodeName(leftover).constData(), &st) != 0) continue;
      removeTree(leftover);
      if (::lstat(QFile::encodeName(leftover).constData(), &st) == 0)
        qCWarning(lcRelauncher, "Could not remove %s, left by an interrupted update.", qUtf8Printable(leftover));
      else
        qCInfo(lcRelauncher, "Removed %s, left by an interrupted update.", qUtf8Printable(leftover));
    }
  }
  ::close(fd);
}

namespace {

// The relauncher copies the new bundle into the running one's folder and renames both: try
// a rename of the bundle (and back) and a file in its folder now, so the application never
// quits for a swap that cannot happen. A sticky folder lets anyone create files but not move another's bundle.
UpdateStatus checkReplaceable(const QString& bundle) {
  const QString dst = QDir::cleanPath(bundle);
  if (bundle.isEmpty() || QFileInfo(dst).suffix() != QLatin1String("app"))
    return UpdateFailure(UpdaterError::installFailed(QStringLiteral(
        "the running application is not inside a .app folder, so it cannot be replaced.")));
  const QString folder = QFileInfo(dst).path();
  const QString advice = QStringLiteral(
      " Move Quotabar.app to a folder you can write to, or update it the way you installed it.");
  QTemporaryFile probe(folder + QStringLiteral("/.quotabar-write-test-XXXXXX"));
  if (!probe.open())
    return UpdateFailure(UpdaterError::installFailed(
        QStringLiteral("the folder %1 is not writable, so the application cannot be replaced there.").arg(folder) +
        advice));
  const QByteArray from = QFile::encodeName(dst);
  const QByteArray aside = QFile::encodeName(folder + u'/' + uniqueName(QStringLiteral(".quotabar-move-test-")));
  if (::rename(from.constData(), aside.constData()) != 0)
    return UpdateFailure(UpdaterError::installFailed(
        QStringLiteral("%1 cannot be moved aside (%2), so it cannot be replaced.")
            .arg(dst, QString::fromLocal8Bit(std::strerror(errno))) +
        advice));
  if (::rename(aside.constData(), from.constData()) != 0)
    return UpdateFailure(UpdaterError::installFailed(
        QStringLiteral("the application could not be moved back from %1 (%2).")
            .arg(QFile::decodeName(aside), QString::fromLocal8Bit(std::strerror(errno)))));
  return std::monostate{};
}

}  // namespace

UpdateResult<QString> launchRelauncher(const RelaunchSetup& setup, const QString& stagedBundle) {
  const QString dst = QDir::cleanPath(setup.runningBundle);
  if (auto replaceable = checkReplaceable(setup.runningBundle); !replaceable)
    return replaceable.error();
  const QString swap = dst + u'/' + setup.tools->swap;
  if (!QFileInfo(swap).isExecutable())
    return UpdateFailure(UpdaterError::installFailed(
        QStringLiteral("%1 is missing, so the application cannot be replaced.").arg(swap)));

  const QString directory = setup.tempDirectory + u'/' + uniqueName(QStringLiteral("QuotabarRelauncher-"));
  if (auto made = makeDirectories(directory); !made) return made.error();

  const QString scriptPath = directory + QStringLiteral("/relaunch.sh");
  const RelaunchPaths paths{directory + QStringLiteral("/relaunch.log"), stagedBundle, dst,
                            backupPathFor(dst)};
  // Unbuffered, so a failed write is seen here and a partial script never runs.
  QSaveFile script(scriptPath);
  const QByteArray text = relauncherScript(*setup.tools, paths, setup.pid).toUtf8();
  if (!script.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
      script.write(text) != text.size() || !script.commit())
    return UpdateFailure::platform(script.errorString());

  if (!QFile::setPermissions(scriptPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::ExeOther))
    return UpdateFailure::platform(
        QStringLiteral("The permissions of \u201C%1\u201D couldn\u2019t be set.").arg(scriptPath));

  QProcess process;
  process.setProgram(setup.tools->interpreter);
  process.setArguments({scriptPath});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  if (!process.startDetached()) return UpdateFailure::platform(process.errorString());
  return directory;
}

}  // namespace qb

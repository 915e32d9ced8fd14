#include "updater/relauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "updater/file_ops.h"

namespace qb {

QString shellQuote(const QString& path) {
  QString quoted = path;
  quoted.replace(u'\'', QStringLiteral("'\\''"));
  return u'\'' + quoted + u'\'';
}

QString backupPathFor(const QString& bundle) {
  const QFileInfo info(QDir::cleanPath(bundle));
  return info.path() + u'/' + info.completeBaseName() + QStringLiteral(".old.app");
}

QString relauncherScript(const platform::ToolTable& tools, const RelaunchPaths& paths, qint64 pid) {
  const QString indent = QStringLiteral("    ");
  const QStringList lines{
      QStringLiteral("#!/bin/bash"),
      QStringLiteral("set -u"),
      QStringLiteral("LOG=") + shellQuote(paths.log),
      QStringLiteral("SRC=") + shellQuote(paths.src),
      QStringLiteral("DST=") + shellQuote(paths.dst),
      QStringLiteral("BAK=") + shellQuote(paths.bak),
      QStringLiteral("PID=") + QString::number(pid),
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
      QStringLiteral("rm -rf \"$BAK\""),
      QStringLiteral("if [ -d \"$DST\" ]; then"),
      // A failed step still reopens the application that stays in place.
      indent + QStringLiteral("mv \"$DST\" \"$BAK\" || { echo \"mv to backup failed\"; ") +
          tools.scriptOpen + QStringLiteral("; exit 1; }"),
      QStringLiteral("fi"),
      QString(),
      tools.scriptCopy + QStringLiteral(" || {"),
      indent + QStringLiteral("echo \"ditto failed, restoring backup\""),
      indent + QStringLiteral("rm -rf \"$DST\""),
      indent + QStringLiteral("mv \"$BAK\" \"$DST\" 2>/dev/null"),
      indent + tools.scriptOpen + QStringLiteral("; exit 1"),
      QStringLiteral("}"),
      // Only a copy that left a runnable application counts.
      QStringLiteral("if [ ! -f \"$DST/") + tools.executable + QStringLiteral("\" ] || [ ! -x \"$DST/") +
          tools.executable + QStringLiteral("\" ]; then"),
      indent + QStringLiteral("echo \"new application not executable, restoring backup\""),
      indent + QStringLiteral("rm -rf \"$DST\""),
      indent + QStringLiteral("mv \"$BAK\" \"$DST\" 2>/dev/null"),
      indent + tools.scriptOpen + QStringLiteral("; exit 1"),
      QStringLiteral("fi"),
      QString(),
      tools.scriptQuarantine,
      QString(),
      QStringLiteral("rm -rf \"$BAK\""),
      QStringLiteral("echo \"[$(date)] swapped, opening\""),
      tools.scriptOpen + QStringLiteral(" || { echo \"open failed\"; exit 1; }"),
      QStringLiteral("echo \"[$(date)] done\""),
  };
  return lines.join(u'\n');
}

namespace {

// The relauncher renames the bundle aside and copies the new one in: try that very rename
// (and back) and a file in its folder now, so the application never quits for a swap that
// cannot happen. A sticky folder lets anyone create files but not move another's bundle.
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

// Install and relaunch for real: the script runs in bash, waits for a stand-in process,
// swaps the bundles and starts the application again.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"
#include "updater/file_ops.h"
#include "updater/relauncher.h"

namespace qb {
namespace {

// The update rig with a staged newer bundle and a process standing in for the running
// application, which the relauncher waits for.
class RelaunchRig : public test::UpdateRig {
 public:
  RelaunchRig() : staged(test::signedBundle(*this, newerRecipe(), QStringLiteral("work dir "))) {
    standIn.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    EXPECT_TRUE(standIn.waitForStarted());
  }
  ~RelaunchRig() { endStandIn(); }

  QStringList log() const {
    const QStringList dirs = QDir(tempDirectory()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs);
    if (dirs.size() != 1) return {};
    return QString::fromUtf8(test::readFile(tempDirectory() + u'/' + dirs.first() + QStringLiteral("/relaunch.log")))
        .split(u'\n', Qt::SkipEmptyParts);
  }
  QString started() const { return QString::fromUtf8(test::readFile(startMarker())); }

  UpdaterOptions options() {
    UpdaterOptions o = UpdateRig::options();
    o.pid = [this] { return standIn.processId(); };
    o.quit = [this] { ++quitCalls; };
    return o;
  }

  UpdateInfo info() const { return {.version = QStringLiteral("2.0.0")}; }

  // Runs install until the relauncher has started (the quit) or it failed.
  void install(Updater& updater) {
    updater.installAndRelaunch(info(), staged);
    EXPECT_TRUE(test::waitUntil([&] { return quitCalls > 0 || holds<update_state::Failed>(updater.state()); }));
  }

  void endStandIn() {
    standIn.kill();
    standIn.waitForFinished();
  }

  QString installed = installedBundle();
  QString staged;
  QProcess standIn;
  int quitCalls = 0;
};

TEST(Relauncher, ScriptOutcomesTable) {
  struct Row {
    const char* name;
    std::function<void(RelaunchRig&)> before;  // once the script waits
    QString lastLogLine;                        // exact, or a suffix after "] "
    QString version;                            // what the installed place holds, and was opened
  };
  const Row rows[] = {
      {"swapped, a backup left by an earlier update removed",
       [](RelaunchRig& r) { test::writeFile(backupPathFor(r.installed) + QStringLiteral("/leftover"), "x"); },
       QStringLiteral("] done"), QStringLiteral("2.0.0")},
      {"the copy fails: backup restored, old app reopened", [](RelaunchRig& r) { QDir(r.staged).removeRecursively(); },
       QStringLiteral("ditto failed, restoring backup"), QStringLiteral("1.0.0")},
      {"the swap fails: old app left and reopened",
       [](RelaunchRig& r) { test::writeFile(r.installed + QStringLiteral("/Contents/bin/quotabar-swap"), "#!/bin/sh\nexit 1\n"); },
       QStringLiteral("mv to backup failed"), QStringLiteral("1.0.0")},
      {"the new application is not executable: backup restored",
       [](RelaunchRig& r) { QFile::setPermissions(r.staged + QStringLiteral("/Contents/bin/quotabar"), QFile::ReadOwner); },
       QStringLiteral("new application not executable, restoring backup"), QStringLiteral("1.0.0")},
      {"the installed bundle vanished: copied anyway", [](RelaunchRig& r) { QDir(r.installed).removeRecursively(); },
       QStringLiteral("] done"), QStringLiteral("2.0.0")},
  };
  for (const Row& row : rows) {
    RelaunchRig rig;
    auto updater = rig.updater(rig.options());
    const qint64 pid = rig.standIn.processId();
    test::StateLog states(*updater);
    rig.install(*updater);
    EXPECT_EQ(states.states, QList<UpdaterState>{update_state::Installing{}}) << row.name;
    ASSERT_EQ(rig.quitCalls, 1) << row.name;
    if (row.before) row.before(rig);
    // Nothing moves while the process still lives.
    test::spin(400);
    EXPECT_TRUE(rig.started().isEmpty()) << row.name;
    rig.endStandIn();
    // The application is opened before the script's last words; wait for both.
    ASSERT_TRUE(test::waitUntil(
        [&] {
          const QStringList l = rig.log();
          return !rig.started().isEmpty() && !l.isEmpty() && l.last().endsWith(row.lastLogLine);
        },
        10'000))
        << row.name << ": " << rig.log().join(u'\n').toStdString();
    EXPECT_TRUE(rig.log().first().endsWith(QStringLiteral("] relauncher start pid=%1 src=%2 dst=%3")
                                               .arg(QString::number(pid), rig.staged, rig.installed)))
        << row.name;
    EXPECT_EQ(rig.installedVersion(), row.version) << row.name;
    const bool old = row.version == QLatin1String("1.0.0");
    EXPECT_EQ(rig.started(), old ? QStringLiteral("old \n") : QStringLiteral("new \n")) << row.name;
    EXPECT_FALSE(QFileInfo::exists(backupPathFor(rig.installed))) << row.name;
  }
}

QStringList filesOf(const QString& bundle) {
  QStringList files;
  for (QDirIterator it(bundle, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();)
    files << it.next().mid(bundle.size());
  files.sort();
  return files;
}

// A kill -9 of the relauncher's process group before any of its steps, or a moment into one,
// leaves a whole application at the installed place, old or new; the next start removes
// what the swap left beside it.
TEST(Relauncher, AKillAtAnyMomentLeavesAWholeApplication) {
  RelaunchRig rig;
  rig.endStandIn();
  // Enough files that a kill lands inside the copy and inside the removal of the old one.
  test::BundleRecipe big = rig.newerRecipe();
  for (int i = 0; i < 100; ++i) {
    big.files.append({QStringLiteral("Contents/Resources/n%1").arg(i), "new"});
    test::writeFile(rig.installed + QStringLiteral("/Contents/Resources/o%1").arg(i), "old");
  }
  const QString staged = rig.scratchBundle(big, QStringLiteral("big")), pristine = rig.root() + QStringLiteral("/pristine");
  test::mustRun(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), rig.installed, pristine});
  const QStringList oldFiles = filesOf(rig.installed), newFiles = filesOf(staged);
  QString script = relauncherScript(platform::linuxTools(),
                                    {rig.root() + QStringLiteral("/log"), staged, rig.installed, backupPathFor(rig.installed)},
                                    2147483647);
  script.replace(QStringLiteral("sleep 0.4"), QStringLiteral("sleep 0"));
  script.replace(QStringLiteral("set -u\n"), QStringLiteral("set -u\nstep=0\ntrap '((++step == STEP)) && { if [ $PAUSE = 0 ]; "
                                                            "then kill -9 0; else (sleep $PAUSE; kill -9 0) & fi; }' DEBUG\n"));
  test::writeFile(rig.root() + QStringLiteral("/r.sh"), script.toUtf8());
  QSet<QString> outcomes;
  for (const char* pause : {"0", "0.003"}) {
    for (int step = 1; step < 100; ++step) {
      QProcess run;
      run.setEnvironment({QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("STEP=%1").arg(step), QStringLiteral("PAUSE=") + QLatin1String(pause)});
      run.start(QStringLiteral("/usr/bin/setsid"), {QStringLiteral("/bin/bash"), rig.root() + QStringLiteral("/r.sh")});
      ASSERT_TRUE(run.waitForFinished(10'000));
      const QStringList files = filesOf(rig.installed);
      const bool isNew = files == newFiles;
      ASSERT_TRUE(isNew || files == oldFiles) << "killed at step " << step << " +" << pause << "s";
      EXPECT_EQ(QProcess::execute(rig.installed + QStringLiteral("/Contents/bin/quotabar"), {}), 0);
      outcomes << QStringLiteral("%1 %2").arg(run.exitStatus() == QProcess::CrashExit).arg(isNew);
      // A killed child may hold the relauncher's lock a moment longer than the script lives.
      const auto beside = [&] {
        removeSwapLeftovers(rig.installed);
        return QDir(QFileInfo(rig.installed).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
      };
      EXPECT_TRUE(test::waitUntil([&] { return beside() == QStringList{QStringLiteral("Quotabar.app")}; }, 5000))
          << beside().join(u' ').toStdString();
      if (isNew) {
        removeTree(rig.installed);
        test::mustRun(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), pristine, rig.installed});
      }
      if (run.exitStatus() == QProcess::NormalExit) break;  // past the last step
    }
  }
  // Killed before the swap and after it, and once through to the end.
  EXPECT_EQ(outcomes, QSet<QString>({QStringLiteral("1 0"), QStringLiteral("1 1"), QStringLiteral("0 1")}));
}

TEST(Relauncher, GoesOnWhenTheApplicationDoesNotQuit) {
  // The documented wait, shortened from 150 probes to 3 so the test stays quick.
  RelaunchRig rig;
  const QString log = rig.tempDirectory() + QStringLiteral("/relaunch.log");
  QString script = relauncherScript(platform::linuxTools(),
                                    {log, rig.staged, rig.installed, backupPathFor(rig.installed)},
                                    rig.standIn.processId());
  ASSERT_TRUE(script.contains(QStringLiteral("$(seq 1 150)")));
  script.replace(QStringLiteral("$(seq 1 150)"), QStringLiteral("$(seq 1 3)"));
  test::writeFile(rig.tempDirectory() + QStringLiteral("/r.sh"), script.toUtf8());
  EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), {rig.tempDirectory() + QStringLiteral("/r.sh")}), 0);
  EXPECT_EQ(rig.standIn.state(), QProcess::Running);
  EXPECT_EQ(rig.installedVersion(), QStringLiteral("2.0.0"));
  ASSERT_TRUE(test::waitUntil([&] { return !rig.started().isEmpty(); }, 5000));
  EXPECT_EQ(rig.started(), QStringLiteral("new \n"));
}

TEST(Relauncher, PreparationFailuresKeepTheApplicationRunning) {
  struct Row {
    const char* name;
    std::function<void(RelaunchRig&, UpdaterOptions&)> setup;
    QString message;  // a trailing "*" matches a prefix
  };
  const Row rows[] = {
      {"no relauncher folder", [](RelaunchRig&, UpdaterOptions& o) {
         o.tempDirectory = QStringLiteral("/dev/null/tmp");
       }, QStringLiteral("The folder \u201C/dev/null/tmp/QuotabarRelauncher-*")},
      {"not inside a .app folder", [](RelaunchRig& r, UpdaterOptions& o) {
         o.bundlePath = r.root() + QStringLiteral("/plain");
         QDir().rename(r.installed, o.bundlePath);
       }, QStringLiteral("Install failed: the running application is not inside a .app folder, so it "
                         "cannot be replaced.")},
      {"staged bundle changed since staging", [](RelaunchRig& r, UpdaterOptions&) {
         test::writeFile(r.staged + QStringLiteral("/Contents/Resources/late"), "x");
       }, QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle")},
      {"staged Info.plist now a pipe", [](RelaunchRig& r, UpdaterOptions&) {
         QFile::remove(platform::infoPlistPath(r.staged));
         ::mkfifo(QFile::encodeName(platform::infoPlistPath(r.staged)).constData(), 0644);
       }, QStringLiteral("\u201CInfo.plist\u201D is not a regular file.")},
  };
  for (const Row& row : rows) {
    RelaunchRig rig;
    UpdaterOptions o = rig.options();
    row.setup(rig, o);
    auto updater = Updater::create(o);
    ASSERT_TRUE(updater) << row.name;
    rig.install(*updater);
    const auto* failed = std::get_if<update_state::Failed>(&updater->state());
    ASSERT_TRUE(failed) << row.name;
    EXPECT_EQ(failed->info, rig.info()) << row.name;
    EXPECT_TRUE(test::matches(failed->message, row.message)) << row.name << ": " << failed->message.toStdString();
    test::spin(400);
    EXPECT_EQ(rig.quitCalls, 0) << row.name;
  }
}

// A sticky folder lets anyone create files, but not move a bundle someone else owns.
TEST(Relauncher, RefusesABundleItCannotMoveAside) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user";
  QTemporaryDir temp;
  const QString shared = temp.path() + QStringLiteral("/shared");
  const QString bundle = test::makeBundle(shared, test::UpdateRig::installedRecipe());
  ::chmod(QFile::encodeName(temp.path()).constData(), 0755);
  ::chmod(QFile::encodeName(shared).constData(), 01777);
  ASSERT_EQ(::seteuid(65534), 0);
  const auto launched = launchRelauncher({&platform::linuxTools(), QStringLiteral("/tmp"), bundle, 1},
                                         QStringLiteral("/tmp/none.app"));
  ASSERT_EQ(::seteuid(0), 0);
  ASSERT_FALSE(launched);
  EXPECT_TRUE(launched.error().description().startsWith(QStringLiteral("Install failed: ") + bundle +
                                                        QStringLiteral(" cannot be moved aside")))
      << launched.error().description().toStdString();
  EXPECT_TRUE(QFileInfo(bundle).isDir());
}

}  // namespace
}  // namespace qb

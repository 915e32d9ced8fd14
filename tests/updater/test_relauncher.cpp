// Install and relaunch for real: the script runs in bash, waits for a stand-in process,
// swaps the bundles and starts the application again.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"
#include "updater/relauncher.h"

namespace qb {
namespace {

using test::BundleRecipe;

// A temporary "installed" application, a staged newer one, a process standing in for
// the running application, and an updater wired to them.
class RelaunchRig {
 public:
  explicit RelaunchRig(const QString& installedFolder = QStringLiteral("User's Apps"),
                       const QString& installedName = QStringLiteral("Quotabar.app")) {
    BundleRecipe old = test::UpdateRig::installedRecipe();
    old.name = installedName;
    old.startMarker = marker();
    installed = test::makeBundle(dir.path() + u'/' + installedFolder, old);
    BundleRecipe fresh;
    fresh.version = QStringLiteral("2.0.0");
    fresh.startMarker = marker();
    fresh.tag = QStringLiteral("new");
    staged = test::makeBundle(dir.path() + QStringLiteral("/work dir/unpack"), fresh);
    test::SigningKey::shared().sign(staged);
    QFile::copy(test::SigningKey::shared().publicKeyring(), platform::updateKeyringPath(installed));
    QDir().mkpath(temp());
    standIn.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    EXPECT_TRUE(standIn.waitForStarted());
  }
  ~RelaunchRig() {
    standIn.kill();
    standIn.waitForFinished();
  }

  QString marker() const { return dir.path() + QStringLiteral("/started.txt"); }
  QString temp() const { return dir.path() + QStringLiteral("/tmp"); }
  QString version(const QString& bundle) const {
    return platform::readInfoDictionary(bundle).value(QStringLiteral("CFBundleShortVersionString")).toString();
  }
  QStringList log() const {
    const QStringList dirs = QDir(temp()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs);
    if (dirs.size() != 1) return {};
    return QString::fromUtf8(test::readFile(temp() + u'/' + dirs.first() + QStringLiteral("/relaunch.log")))
        .split(u'\n', Qt::SkipEmptyParts);
  }
  QString started() const { return QString::fromUtf8(test::readFile(marker())); }

  std::unique_ptr<Updater> updater(const platform::ToolTable* tools = nullptr) {
    UpdaterOptions o;
    o.bundlePath = installed;
    o.origin = QUrl(QStringLiteral("https://updates.example.test"));
    o.tempDirectory = temp();
    o.tools = tools;
    o.pid = [this] { return standIn.processId(); };
    o.quit = [this] { ++quitCalls; };
    return Updater::create(o);
  }

  UpdateInfo info() const {
    UpdateInfo i;
    i.version = QStringLiteral("2.0.0");
    i.downloadUrl = QUrl(QStringLiteral("https://cdn.example.test/q.zip"));
    i.fileName = QStringLiteral("q.zip");
    i.contentType = QStringLiteral("application/zip");
    return i;
  }

  // Runs install until the relauncher has started (the quit) or it failed.
  void install(Updater& updater) {
    updater.installAndRelaunch(info(), staged);
    EXPECT_TRUE(test::waitUntil([&] { return quitCalls > 0 || holds<update_state::Failed>(updater.state()); }));
  }

  void endStandIn() {
    standIn.kill();
    standIn.waitForFinished();
  }

  test::TempHome home;
  QTemporaryDir dir;
  QString installed;
  QString staged;
  QProcess standIn;
  int quitCalls = 0;
};

TEST(Relauncher, SwapsTheBundleOnceTheApplicationHasQuit) {
  RelaunchRig rig;
  const QString backup = backupPathFor(rig.installed);
  EXPECT_TRUE(backup.endsWith(QStringLiteral("/User's Apps/Quotabar.old.app")));
  test::writeFile(backup + QStringLiteral("/leftover"), "from an earlier update");

  auto updater = rig.updater();
  ASSERT_TRUE(updater);
  const qint64 pid = rig.standIn.processId();
  test::StateLog log(*updater);
  rig.install(*updater);
  EXPECT_EQ(log.names(), QStringList{QStringLiteral("installing")});

  // The script is 0755 in a fresh QuotabarRelauncher-<UUID> folder.
  const QStringList dirs = QDir(rig.temp()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs);
  ASSERT_EQ(dirs.size(), 1);
  EXPECT_EQ(dirs.first().size(), 19 + 36);
  struct stat st{};
  ASSERT_EQ(::stat(QFile::encodeName(rig.temp() + u'/' + dirs.first() + QStringLiteral("/relaunch.sh")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);

  ASSERT_EQ(rig.quitCalls, 1);
  // Nothing moves while the process still lives.
  test::spin(800);
  EXPECT_EQ(rig.version(rig.installed), QStringLiteral("1.0.0"));
  EXPECT_TRUE(rig.started().isEmpty());

  rig.endStandIn();
  ASSERT_TRUE(test::waitUntil([&] { return rig.log().size() >= 3; }, 10'000))
      << rig.log().join(u'\n').toStdString();
  ASSERT_TRUE(test::waitUntil([&] { return !rig.started().isEmpty(); }, 5000));
  EXPECT_EQ(rig.started(), QStringLiteral("new \n"));
  EXPECT_EQ(rig.version(rig.installed), QStringLiteral("2.0.0"));
  EXPECT_FALSE(QFileInfo::exists(backup));
  const QStringList lines = rig.log();
  ASSERT_EQ(lines.size(), 3) << lines.join(u'\n').toStdString();
  EXPECT_TRUE(lines[0].startsWith(u'['));
  const QString start = QStringLiteral("] relauncher start pid=") +
                        QString::number(pid) + QStringLiteral(" src=") +
                        rig.staged + QStringLiteral(" dst=") + rig.installed;
  EXPECT_TRUE(lines[0].endsWith(start)) << lines[0].toStdString() << "\n" << start.toStdString();
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("] swapped, opening")));
  EXPECT_TRUE(lines[2].endsWith(QStringLiteral("] done")));
}

TEST(Relauncher, ScriptOutcomesTable) {
  struct Row {
    const char* name;
    QString installedName;
    std::function<void(RelaunchRig&)> before;  // once the script waits
    QString lastLogLine;                        // exact, or a suffix after "] "
    QString version;                            // what the installed place holds afterwards
    QString started;                            // which application was opened
    bool backupLeft;
  };
  const Row rows[] = {
      {"the copy fails: backup restored, old app reopened", QStringLiteral("Quotabar.app"),
       [](RelaunchRig& r) { QDir(r.staged).removeRecursively(); },
       QStringLiteral("ditto failed, restoring backup"), QStringLiteral("1.0.0"), QStringLiteral("old \n"), false},
      {"the move aside fails: old app left and reopened",
       // Its backup name is longer than a file name may be.
       QString(251, u'Q') + QStringLiteral(".app"), {}, QStringLiteral("mv to backup failed"),
       QStringLiteral("1.0.0"), QStringLiteral("old \n"), false},
      {"the new application is not executable: backup restored", QStringLiteral("Quotabar.app"),
       [](RelaunchRig& r) { QFile::setPermissions(r.staged + QStringLiteral("/Contents/bin/quotabar"), QFile::ReadOwner); },
       QStringLiteral("new application not executable, restoring backup"), QStringLiteral("1.0.0"),
       QStringLiteral("old \n"), false},
      {"the installed bundle vanished: copied anyway", QStringLiteral("Quotabar.app"),
       [](RelaunchRig& r) { QDir(r.installed).removeRecursively(); }, QStringLiteral("] done"),
       QStringLiteral("2.0.0"), QStringLiteral("new \n"), false},
  };
  for (const Row& row : rows) {
    RelaunchRig rig(QStringLiteral("Apps with blanks"), row.installedName);
    auto updater = rig.updater();
    ASSERT_TRUE(updater) << row.name;
    rig.install(*updater);
    ASSERT_EQ(rig.quitCalls, 1) << row.name;
    if (row.before) row.before(rig);
    rig.endStandIn();
    // The application is opened before the script's last words; wait for both.
    ASSERT_TRUE(test::waitUntil(
        [&] {
          const QStringList l = rig.log();
          return !rig.started().isEmpty() && !l.isEmpty() && l.last().endsWith(row.lastLogLine);
        },
        10'000))
        << row.name << ": " << rig.log().join(u'\n').toStdString();
    const QStringList log = rig.log();
    ASSERT_FALSE(log.isEmpty()) << row.name;
    EXPECT_TRUE(log.last() == row.lastLogLine || log.last().endsWith(row.lastLogLine))
        << row.name << ": " << log.join(u'\n').toStdString();
    EXPECT_EQ(rig.version(rig.installed), row.version) << row.name;
    EXPECT_EQ(rig.started(), row.started) << row.name;
    EXPECT_EQ(QFileInfo::exists(backupPathFor(rig.installed)), row.backupLeft) << row.name;
  }
}

TEST(Relauncher, GoesOnWhenTheApplicationDoesNotQuit) {
  // The documented wait, shortened from 150 probes to 3 so the test stays quick.
  RelaunchRig rig;
  const QString log = rig.temp() + QStringLiteral("/relaunch.log");
  QString script = relauncherScript(platform::linuxTools(),
                                    {log, rig.staged, rig.installed, backupPathFor(rig.installed)},
                                    rig.standIn.processId());
  ASSERT_TRUE(script.contains(QStringLiteral("$(seq 1 150)")));
  script.replace(QStringLiteral("$(seq 1 150)"), QStringLiteral("$(seq 1 3)"));
  test::writeFile(rig.temp() + QStringLiteral("/r.sh"), script.toUtf8());
  EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), {rig.temp() + QStringLiteral("/r.sh")}), 0);
  EXPECT_EQ(rig.standIn.state(), QProcess::Running);
  EXPECT_EQ(rig.version(rig.installed), QStringLiteral("2.0.0"));
  ASSERT_TRUE(test::waitUntil([&] { return !rig.started().isEmpty(); }, 5000));
  EXPECT_EQ(rig.started(), QStringLiteral("new \n"));
}

TEST(Relauncher, PreparationFailuresKeepTheApplicationRunning) {
  struct Row {
    const char* name;
    std::function<void(RelaunchRig&, UpdaterOptions&, platform::ToolTable&)> setup;
    QString message;  // a trailing "*" matches a prefix
  };
  const Row rows[] = {
      {"bash cannot be started", [](RelaunchRig&, UpdaterOptions&, platform::ToolTable& t) {
         t.interpreter = QStringLiteral("/nonexistent/bash");
       }, QStringLiteral("*")},
      {"no relauncher folder", [](RelaunchRig&, UpdaterOptions& o, platform::ToolTable&) {
         o.tempDirectory = QStringLiteral("/dev/null/tmp");
       }, QStringLiteral("The folder \u201C/dev/null/tmp/QuotabarRelauncher-*")},
      {"not inside a .app folder", [](RelaunchRig& r, UpdaterOptions& o, platform::ToolTable&) {
         const QString plain = r.dir.path() + QStringLiteral("/plain");
         QDir().rename(r.installed, plain);
         o.bundlePath = plain;
       }, QStringLiteral("Install failed: the running application is not inside a .app folder, so it "
                         "cannot be replaced.")},
      {"staged bundle changed since staging", [](RelaunchRig& r, UpdaterOptions&, platform::ToolTable&) {
         test::writeFile(r.staged + QStringLiteral("/Contents/Resources/late"), "x");
       }, QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle")},
      {"staged Info.plist now a pipe", [](RelaunchRig& r, UpdaterOptions&, platform::ToolTable&) {
         QFile::remove(platform::infoPlistPath(r.staged));
         ::mkfifo(QFile::encodeName(platform::infoPlistPath(r.staged)).constData(), 0644);
       }, QStringLiteral("\u201CInfo.plist\u201D is not a regular file.")},
  };
  for (const Row& row : rows) {
    RelaunchRig rig;
    platform::ToolTable tools = platform::linuxTools();
    UpdaterOptions o;
    o.bundlePath = rig.installed;
    o.origin = QUrl(QStringLiteral("https://updates.example.test"));
    o.tempDirectory = rig.temp();
    o.pid = [&rig] { return rig.standIn.processId(); };
    o.quit = [&rig] { ++rig.quitCalls; };
    auto updater = Updater::create(o);
    ASSERT_TRUE(updater);
    // The options are read at creation; the bundle and table may change behind them.
    UpdaterOptions changed = o;
    row.setup(rig, changed, tools);
    changed.tools = &tools;
    if (changed.bundlePath != o.bundlePath) {
      // Built before the bundle moved away, so the key was read.
      test::writeFile(platform::infoPlistPath(changed.bundlePath), test::infoPlist(test::UpdateRig::installedRecipe()));
    }
    updater = Updater::create(changed);
    ASSERT_TRUE(updater) << row.name;
    rig.install(*updater);
    const auto* failed = std::get_if<update_state::Failed>(&updater->state());
    ASSERT_TRUE(failed) << row.name;
    EXPECT_EQ(failed->info, rig.info()) << row.name;
    if (row.message.endsWith(u'*')) {
      EXPECT_TRUE(failed->message.startsWith(row.message.chopped(1))) << row.name << ": " << failed->message.toStdString();
    } else {
      EXPECT_EQ(failed->message, row.message) << row.name;
    }
    EXPECT_FALSE(failed->message.isEmpty()) << row.name;
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

// `quotabar update check|install` as a user runs it: the built application copied into a
// temporary folder as an installed bundle, against a fake update server on loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"

namespace qb {
namespace {

using fake::Reply;
using test::BundleRecipe;

const QString kSignatureFailed =
    QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle");

QString lastLine(const QString& text) { return text.trimmed().split(u'\n').last(); }

// The built Quotabar.app copied to <root>/Apps, configured like a release build.
class InstalledCopy {
 public:
  explicit InstalledCopy(std::optional<QString> apiKey = QStringLiteral("cli-key")) {
    // Readable by another user for the test that runs as one.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup);
    const QString built = QDir::cleanPath(qEnvironmentVariable("QUOTABAR_BUNDLE_BIN") + QStringLiteral("/../.."));
    QDir().mkpath(apps());
    test::mustRun(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), built, bundle()});
    BundleRecipe recipe = test::UpdateRig::installedRecipe();
    recipe.apiKey = std::move(apiKey);
    test::writeFile(platform::infoPlistPath(bundle()), test::infoPlist(recipe));
    QFile::remove(platform::updateKeyringPath(bundle()));
    QFile::copy(test::SigningKey::shared().publicKeyring(), platform::updateKeyringPath(bundle()));
    QDir().mkpath(temp());
  }

  QString apps() const { return dir.path() + QStringLiteral("/Apps"); }
  QString bundle() const { return apps() + QStringLiteral("/Quotabar.app"); }
  QString temp() const { return dir.path() + QStringLiteral("/tmp"); }
  QString marker() const { return dir.path() + QStringLiteral("/started.txt"); }
  QString version() const {
    return platform::readInfoDictionary(bundle()).value(QStringLiteral("CFBundleShortVersionString")).toString();
  }

  test::ProcessResult run(const QStringList& args, QStringList env = {}, const QString& prefix = {}) {
    env << QStringLiteral("QUOTABAR_UPDATE_ORIGIN=") + server.origin().toString()
        << QStringLiteral("TMPDIR=") + temp();
    const QString exe = bundle() + QStringLiteral("/Contents/bin/quotabar");
    QStringList full = QStringList{QStringLiteral("update")} + args;
    if (prefix.isEmpty()) return test::runProgram(exe, full, {}, env, 60'000);
    QStringList wrapped = prefix.split(u' ');
    const QString program = wrapped.takeFirst();
    return test::runProgram(program, wrapped + QStringList{exe} + full, {}, env, 60'000);
  }

  // A newer release: a signed bundle whose executable records that it was started.
  void offerNewer(bool sign = true) {
    BundleRecipe recipe;
    recipe.version = QStringLiteral("9.0.0");
    recipe.build = QStringLiteral("90");
    recipe.startMarker = marker();
    recipe.tag = QStringLiteral("new");
    const QString scratch = dir.path() + QStringLiteral("/release");
    const QString bundlePath = test::makeBundle(scratch, recipe);
    const QString zip = dir.path() + QStringLiteral("/Quotabar-9.0.0.zip");
    if (sign) {
      test::SigningKey::shared().sign(bundlePath, zip);
    } else {
      test::zipEntries(scratch, {QStringLiteral("Quotabar.app")}, zip);
    }
    const QByteArray bytes = test::readFile(zip);
    fake::ReleaseFields f;
    f.version = "9.0.0";
    f.buildNumber = "90";
    f.downloadUrl = server.serveArtifact("Quotabar-9.0.0.zip", bytes.toStdString());
    f.fileName = "Quotabar-9.0.0.zip";
    f.sha256 = test::sha256Hex(bytes);
    server.offer(f);
  }

  test::TempHome home;
  QTemporaryDir dir;
  fake::FakeUpdateServer server;
};

TEST(CliUpdate, CheckTable) {
  struct Row {
    const char* name;
    Reply reply;
    int exit;
    QString out;
    QString lastErr;  // trailing "*": prefix
  };
  fake::ReleaseFields newer;
  newer.version = "2.0.0";
  newer.buildNumber = "2";
  newer.downloadUrl = "https://cdn.example.test/q.zip";
  const Row rows[] = {
      {"newer", Reply::json(fake::latestJson(newer)), 0, QStringLiteral("available v2.0.0 (2)\n"), {}},
      {"none", Reply::text("", 404, "text/plain"), 0, QStringLiteral("upToDate\n"), {}},
      {"server error", Reply::text("maintenance", 500, "text/plain"), 1, {},
       QStringLiteral("Server responded 500: maintenance")},
  };
  InstalledCopy app;
  for (const Row& row : rows) {
    app.server.answerLatest(row.reply);
    const auto r = app.run({QStringLiteral("check")});
    EXPECT_EQ(r.exitCode, row.exit) << row.name << ": " << r.err.toStdString();
    EXPECT_EQ(r.out, row.out) << row.name;
    if (!row.lastErr.isEmpty()) {
      EXPECT_EQ(r.err, row.lastErr + u'\n') << row.name;  // the message alone
    }
  }
}

TEST(CliUpdate, WithoutUpdaterOrWithBadArguments) {
  InstalledCopy unconfigured(std::nullopt);
  auto r = unconfigured.run({QStringLiteral("check")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lastLine(r.err), QStringLiteral("Updater is not configured (KovalinApiKey missing)."));
  r = unconfigured.run({QStringLiteral("install")});
  EXPECT_EQ(r.exitCode, 1);

  InstalledCopy app;
  r = app.run({QStringLiteral("check"), QStringLiteral("now")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains(QStringLiteral("usage: quotabar update check|install")));
  r = test::runProgram(app.bundle() + QStringLiteral("/Contents/bin/quotabar"),
                       {QStringLiteral("update"), QStringLiteral("check")}, {},
                       {QStringLiteral("QUOTABAR_UPDATE_ORIGIN=http://updates.example.test")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains(QStringLiteral("QUOTABAR_UPDATE_ORIGIN")));
  EXPECT_TRUE(app.server.http().requests().empty());
}

TEST(CliUpdate, InstallReplacesTheBundleAndStartsTheNewOne) {
  InstalledCopy app;
  app.offerNewer();
  const auto r = app.run({QStringLiteral("install")});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 5) << r.out.toStdString();
  EXPECT_EQ(lines.takeFirst(), QStringLiteral("checking"));
  EXPECT_EQ(lines.takeFirst(), QStringLiteral("available v9.0.0 (90)"));
  EXPECT_EQ(lines.takeLast(), QStringLiteral("installing"));
  EXPECT_EQ(lines.takeLast(), QStringLiteral("readyToInstall"));
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), QStringLiteral("downloading 0%"));
  EXPECT_EQ(lines.last(), QStringLiteral("downloading 100%"));
  for (const QString& l : lines) EXPECT_TRUE(l.startsWith(QStringLiteral("downloading "))) << l.toStdString();

  // The relauncher waits for this process to end, swaps, and starts the new executable.
  ASSERT_TRUE(test::waitUntil([&] { return !test::readFile(app.marker()).isEmpty(); }, 15'000));
  EXPECT_EQ(QString::fromUtf8(test::readFile(app.marker())), QStringLiteral("new \n"));
  EXPECT_EQ(app.version(), QStringLiteral("9.0.0"));
  EXPECT_FALSE(QFileInfo::exists(app.apps() + QStringLiteral("/Quotabar.old.app")));
  EXPECT_EQ(QDir(app.apps()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Quotabar.app")});
}

TEST(CliUpdate, InstallEndsOnTheFirstFailure) {
  // An unsigned release is never installed; the message stands alone on the last line.
  InstalledCopy app;
  app.offerNewer(false);
  auto r = app.run({QStringLiteral("install")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lastLine(r.err), kSignatureFailed);
  EXPECT_FALSE(r.out.contains(QStringLiteral("readyToInstall")));
  EXPECT_EQ(app.version(), QStringLiteral("1.0.0"));
  EXPECT_TRUE(QDir(app.temp()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs).isEmpty());

  app.server.answerLatest(Reply::text("", 404, "text/plain"));
  r = app.run({QStringLiteral("install")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, QStringLiteral("checking\nupToDate\n"));
}

TEST(CliUpdate, InstallRefusesAFolderTheUserCannotWrite) {
  InstalledCopy app;
  app.offerNewer();
  QStringList env;
  QString prefix;
  if (::geteuid() == 0) {
    // Root writes anywhere: run as "nobody", who owns only its home and temporary folder.
    const QString own = app.dir.path() + QStringLiteral("/nobody");
    QDir().mkpath(own + QStringLiteral("/tmp"));
    for (const QString& p : {own, own + QStringLiteral("/tmp"), app.temp()})
      ASSERT_EQ(::chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
    env << QStringLiteral("HOME=") + own << QStringLiteral("XDG_CONFIG_HOME=") + own
        << QStringLiteral("XDG_CACHE_HOME=") + own << QStringLiteral("XDG_DATA_HOME=") + own;
    prefix = QStringLiteral("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups");
  } else {
    QFile::setPermissions(app.apps(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  }
  const auto r = app.run({QStringLiteral("install")}, env, prefix);
  EXPECT_EQ(r.exitCode, 1) << r.out.toStdString() << r.err.toStdString();
  EXPECT_EQ(lastLine(r.err),
            QStringLiteral("Install failed: the folder %1 is not writable, so the application cannot "
                           "be replaced there. Move Quotabar.app to a folder you can write to, or "
                           "update it the way you installed it.")
                .arg(app.apps()));
  EXPECT_TRUE(r.out.contains(QStringLiteral("readyToInstall\ninstalling\n")));
  EXPECT_TRUE(QDir(app.temp()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs).isEmpty());
  EXPECT_EQ(app.version(), QStringLiteral("1.0.0"));
  QFile::setPermissions(app.apps(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace qb

// `quotabar update check|install` as a user runs it: the built application copied into a
// temporary folder as an installed bundle, against a fake update server on loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"

namespace qb {
namespace {

using fake::Reply;
using test::BundleRecipe;

QString lastLine(const QString& text) { return text.trimmed().split(u'\n').last(); }

// The update rig with the built Quotabar.app as the installed bundle, configured like a release build.
class InstalledCopy : public test::UpdateRig {
 public:
  explicit InstalledCopy(std::optional<QString> apiKey = QStringLiteral("cli-key")) {
    // Readable by another user for the test that runs as one.
    QFile::setPermissions(root(), QFile::permissions(root()) | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QDir(bundle()).removeRecursively();
    const QString built = QDir::cleanPath(qEnvironmentVariable("QUOTABAR_BUNDLE_BIN") + QStringLiteral("/../.."));
    test::mustRun(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), built, bundle()});
    BundleRecipe recipe = installedRecipe();
    recipe.apiKey = std::move(apiKey);
    test::writeFile(platform::infoPlistPath(bundle()), test::infoPlist(recipe));
    QFile::remove(platform::updateKeyringPath(bundle()));
    QFile::copy(test::SigningKey::shared().publicKeyring(), platform::updateKeyringPath(bundle()));
  }

  QString bundle() const { return installedBundle(); }
  QString apps() const { return QFileInfo(bundle()).path(); }

  test::ProcessResult run(const QStringList& args, QStringList env = {}, const QString& prefix = {}) {
    if (env.filter(QStringLiteral("QUOTABAR_UPDATE_ORIGIN=")).isEmpty())
      env << QStringLiteral("QUOTABAR_UPDATE_ORIGIN=") + server.origin().toString();
    env << QStringLiteral("TMPDIR=") + tempDirectory();
    QStringList command = prefix.isEmpty() ? QStringList() : prefix.split(u' ');
    command << bundle() + QStringLiteral("/Contents/bin/quotabar") << QStringLiteral("update") << args;
    const QString program = command.takeFirst();
    return test::runProgram(program, command, {}, env, 60'000);
  }

  // A newer release: a bundle whose executable records that it was started, zipped by the signing script.
  void offerNewer() {
    const QString release = scratchBundle(
        {.version = QStringLiteral("9.0.0"), .build = QStringLiteral("90"), .startMarker = startMarker()},
        QStringLiteral("release"));
    const QString zip = root() + QStringLiteral("/Quotabar-9.0.0.zip");
    test::SigningKey::shared().sign(release, zip);
    const QByteArray bytes = test::readFile(zip);
    server.offer({.version = "9.0.0", .buildNumber = "90",
                  .downloadUrl = server.serveArtifact("Quotabar-9.0.0.zip", bytes.toStdString()),
                  .fileName = "Quotabar-9.0.0.zip", .sha256 = test::sha256Hex(bytes)});
  }
};

TEST(CliUpdate, CheckTable) {
  const fake::ReleaseFields newer = test::release("2.0.0", "2");
  const QString check = QStringLiteral("check");
  const struct {
    const char* name;
    bool configured;
    QStringList args, env;
    Reply reply;
    int exit;
    QString out, err;  // err: the last line of the error output; usage errors: a part of it
  } rows[] = {
      {"newer", true, {check}, {}, Reply::json(fake::latestJson(newer)), 0,
       QStringLiteral("available v2.0.0 (2)\n"), {}},
      {"none", true, {check}, {}, Reply::text("", 404, "text/plain"), 0, QStringLiteral("upToDate\n"), {}},
      {"server error", true, {check}, {}, Reply::text("maintenance", 500, "text/plain"), 1, {},
       QStringLiteral("Server responded 500: maintenance")},
      {"no key", false, {check}, {}, {}, 1, {}, QStringLiteral("Updates come with the system's packages.")},
      {"extra argument", true, {check, QStringLiteral("now")}, {}, {}, 2, {},
       QStringLiteral("usage: quotabar update check|install")},
      {"origin off this machine", true, {check}, {QStringLiteral("QUOTABAR_UPDATE_ORIGIN=http://updates.example.test")},
       {}, 2, {}, QStringLiteral("QUOTABAR_UPDATE_ORIGIN")},
  };
  InstalledCopy app, unconfigured(std::nullopt);
  for (const auto& row : rows) {
    InstalledCopy& copy = row.configured ? app : unconfigured;
    copy.server.http().clearRequests();
    copy.server.answerLatest(row.reply);
    const auto r = copy.run(row.args, row.env);
    EXPECT_EQ(r.exitCode, row.exit) << row.name << ": " << r.err.toStdString();
    EXPECT_EQ(r.out, row.out) << row.name;
    if (row.exit != 0) {
      EXPECT_TRUE(row.exit == 2 ? r.err.contains(row.err) : lastLine(r.err) == row.err)
          << row.name << ": " << r.err.toStdString();
    }
    if (row.exit == 2) {
      EXPECT_TRUE(copy.server.http().requests().empty()) << row.name;
    }
  }
}

TEST(CliUpdate, InstallReplacesTheBundleAndStartsTheNewOne) {
  InstalledCopy app;
  app.offerNewer();
  const auto r = app.run({QStringLiteral("install")});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 5) << r.out.toStdString();
  EXPECT_EQ(lines.mid(0, 3), (QStringList{QStringLiteral("checking"), QStringLiteral("available v9.0.0 (90)"),
                                          QStringLiteral("downloading 0%")}));
  EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{QStringLiteral("downloading 100%"),
                                                      QStringLiteral("readyToInstall"), QStringLiteral("installing")}));

  // The relauncher waits for this process to end, swaps, and starts the new executable.
  ASSERT_TRUE(test::waitUntil([&] { return !test::readFile(app.startMarker()).isEmpty(); }, 15'000));
  EXPECT_EQ(QString::fromUtf8(test::readFile(app.startMarker())), QStringLiteral("new \n"));
  EXPECT_EQ(app.installedVersion(), QStringLiteral("9.0.0"));
  EXPECT_EQ(QDir(app.apps()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Quotabar.app")});
}

TEST(CliUpdate, InstallRefusesAFolderTheUserCannotWrite) {
  InstalledCopy app;
  app.offerNewer();
  QStringList env;
  QString prefix;
  if (::geteuid() == 0) {
    // Root writes anywhere: run as "nobody", who owns only its home and temporary folder.
    const QString own = app.root() + QStringLiteral("/nobody");
    QDir().mkpath(own + QStringLiteral("/tmp"));
    for (const QString& p : {own, own + QStringLiteral("/tmp"), app.tempDirectory()})
      ASSERT_EQ(::chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
    for (const auto& v : test::kHomeFolders) env << QLatin1String(v[0]) + u'=' + own;
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
  EXPECT_TRUE(QDir(app.tempDirectory()).entryList({QStringLiteral("QuotabarRelauncher-*")}, QDir::Dirs).isEmpty());
  EXPECT_EQ(app.installedVersion(), QStringLiteral("1.0.0"));
  QFile::setPermissions(app.apps(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace qb

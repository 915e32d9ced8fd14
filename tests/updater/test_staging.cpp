// Unpacking, finding the bundle, its identity, signature and version, with the real tools.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"
#include "updater/staging.h"

namespace qb {
namespace {

using test::BundleRecipe;
using test::UpdateRig;

const QString kSignatureFailed =
    QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle");
const QString kNoApp = QStringLiteral("Install failed: No .app bundle found inside the downloaded archive.");

QByteArray signedZip(UpdateRig& rig, const BundleRecipe& recipe, const QString& folder) {
  return test::zipOfBundle(test::signedBundle(rig, recipe, folder));
}

// A zip written entry by entry, for names and sizes no tool would write.
QByteArray pythonZip(UpdateRig& rig, const QString& script) {
  const QString zip = rig.root() + QStringLiteral("/py.zip");
  test::mustRun(QStringLiteral("python3"),
                {QStringLiteral("-c"), QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w',"
                                                      "zipfile.ZIP_DEFLATED)\n") + script + QStringLiteral("\nz.close()"),
                 zip});
  return test::readFile(zip);
}

// Each row: an artifact, how it is served, and where staging ends. Every failure leaves
// only the log in the work folder.
TEST(Staging, ArtifactsTable) {
  struct Row {
    const char* name;
    std::function<QByteArray(UpdateRig&)> artifact;
    const char* fileName;
    const char* contentType;
    QString result;  // "=relative/staged/path", or the failure ("*": prefix)
    std::function<void(UpdaterOptions&)> tweak = {};
  };
  const Row rows[] = {
      {"zip", [](UpdateRig& r) { return signedZip(r, r.newerRecipe(), "a"); }, "Quotabar.zip",
       "application/zip", QStringLiteral("=unpack/Quotabar.app")},
      {"zip, app one folder deep", [](UpdateRig& r) {
         const QString bundle = test::signedBundle(r, r.newerRecipe(), "b");
         const QString root = QFileInfo(bundle).path();
         QDir(root).mkpath(QStringLiteral("Release"));
         QDir().rename(bundle, root + QStringLiteral("/Release/Quotabar.app"));
         return test::zipOf(root, {QStringLiteral("Release")});
       }, "Quotabar.zip", "application/zip", QStringLiteral("=unpack/Release/Quotabar.app")},
      {"zip, two apps: the first by name", [](UpdateRig& r) {
         BundleRecipe a = r.newerRecipe(), b = r.newerRecipe();
         a.name = QStringLiteral("A.app");
         b.name = QStringLiteral("B.app");
         const QString root = QFileInfo(test::signedBundle(r, a, "c")).path();
         test::SigningKey::stranger().sign(test::makeBundle(root, b));  // choosing B would fail
         return test::zipOf(root, {QStringLiteral("B.app"), QStringLiteral("A.app")});
       }, "Quotabar.zip", "application/zip", QStringLiteral("=unpack/A.app")},
      {"zip without an app", [](UpdateRig& r) {
         test::writeFile(r.root() + QStringLiteral("/f/README"), "hello");
         return test::zipOf(r.root() + QStringLiteral("/f"), {QStringLiteral("README")});
       }, "Quotabar.zip", "application/zip", kNoApp},
      {"disk image", [](UpdateRig& r) { return signedZip(r, r.newerRecipe(), "g"); }, "release.bin",
       "application/octet-stream", QStringLiteral("=Quotabar.app")},
      // A tar with a pipe at Contents/Info.plist: nothing may wait on the pipe.
      {"tar served as a zip", [](UpdateRig& r) {
         const QString root = r.root() + QStringLiteral("/t");
         QDir().mkpath(root + QStringLiteral("/Quotabar.app/Contents"));
         ::mkfifo(QFile::encodeName(root + QStringLiteral("/Quotabar.app/Contents/Info.plist")).constData(), 0644);
         test::mustRun(QStringLiteral("/usr/bin/bsdtar"), {QStringLiteral("-cf"), root + QStringLiteral(".tar"),
                                                          QStringLiteral("-C"), root, QStringLiteral("Quotabar.app")});
         return test::readFile(root + QStringLiteral(".tar"));
       }, "Quotabar.zip", "application/zip", QStringLiteral("Install failed: the download is not a zip archive.")},
      {"climbing member names", [](UpdateRig& r) {
         return pythonZip(r, QStringLiteral("for i in range(3000): z.writestr('../'*20+'x'*60+str(i), 'x')"));
       }, "Quotabar.zip", "application/zip", QStringLiteral("Install failed: /usr/bin/bsdtar exited 1: *")},
      {"unpacks too large", [](UpdateRig& r) {
         return pythonZip(r, QStringLiteral("z.writestr('Quotabar.app/big', bytes(8*1024*1024))"));
       }, "Quotabar.zip", "application/zip",
       QStringLiteral("Install failed: /usr/bin/bsdtar stopped: the archive unpacks to more than 1 MiB."),
       [](UpdaterOptions& o) { o.maxUnpackBytes = 1024 * 1024; }},
      {"a tool that hangs", [](UpdateRig& r) { return signedZip(r, r.newerRecipe(), "k"); }, "Quotabar.zip",
       "application/zip", QStringLiteral("Install failed: /bin/bash stopped: it ran longer than 0.3 seconds"),
       [](UpdaterOptions& o) {
         static platform::ToolTable hanging = platform::linuxTools();
         hanging.unzip = {QStringLiteral("/bin/bash"), {QStringLiteral("-c"), QStringLiteral("sleep 30"),
                                                       QStringLiteral("{archive}"), QStringLiteral("{dir}")}};
         o.tools = &hanging;
         o.toolTimeoutMs = 300;
       }},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    const auto o = test::stage(rig, row.artifact(rig), row.fileName, row.contentType, row.tweak);
    if (row.result.startsWith(u'=')) {
      EXPECT_EQ(o.staged, o.workDirectory + u'/' + row.result.mid(1)) << row.name << ": " << o.message.toStdString();
    } else {
      EXPECT_TRUE(test::matches(o.message, row.result)) << row.name << ": " << o.message.toStdString();
      EXPECT_LT(o.message.size(), 6000) << row.name;
      EXPECT_EQ(o.workEntries, QStringList{QStringLiteral("update.log")}) << row.name;
    }
  }
}

// Each row: a change to the staged bundle or the running one, and the outcome.
TEST(Staging, VerificationTable) {
  struct Row {
    const char* name;
    std::function<void(BundleRecipe&)> edit;           // before signing
    std::function<void(UpdateRig&, const QString&)> spoil;  // after signing
    QString message;  // empty: staged
    std::function<void(BundleRecipe&)> running = {};
  };
  const Row rows[] = {
      {"signed", {}, {}, {}},
      {"running bundle without identifier", {}, {}, {}, [](BundleRecipe& r) { r.identifier.reset(); }},
      {"not newer than the running one", {}, {},
       QStringLiteral("Install failed: the downloaded version 2.0.0 (2) is not newer than the running 2.0.0 (2)."),
       [](BundleRecipe& r) { r.version = QStringLiteral("2.0.0"), r.build = QStringLiteral("2"); }},
      {"another identifier", [](BundleRecipe& s) { s.identifier = QStringLiteral("com.example.other"); }, {},
       QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got com.example.other).")},
      {"Info.plist a link", {}, [](UpdateRig&, const QString& b) {
         QFile::rename(platform::infoPlistPath(b), b + QStringLiteral("/Contents/Resources/Info.plist"));
         QFile::link(QStringLiteral("Resources/Info.plist"), platform::infoPlistPath(b));
       }, QStringLiteral("\u201CInfo.plist\u201D is not a regular file.")},
      {"Info.plist not a property list", {}, [](UpdateRig&, const QString& b) {
         test::writeFile(platform::infoPlistPath(b), "{\"CFBundleIdentifier\":\"com.orvane.vantelo\"}");
       }, QStringLiteral("The property list couldn't be read: *")},
      {"unsigned", {}, [](UpdateRig&, const QString& b) {
         QDir(b + QStringLiteral("/Contents/_CodeSignature")).removeRecursively();
       }, kSignatureFailed},
      // Any other difference from the manifest ends the same way (the manifest tests).
      {"file changed", {}, [](UpdateRig&, const QString& b) {
         test::writeFile(b + QStringLiteral("/Contents/bin/quotabar"), "#!/bin/sh\nrm -rf ~\n");
       }, kSignatureFailed},
      // Root unpacks modes as given; the staged copy still gets the signed ones (checked below).
      {"setuid and world-writable in the zip", {}, [](UpdateRig&, const QString& b) {
         ::chmod(QFile::encodeName(b + QStringLiteral("/Contents/bin/quotabar")).constData(), 04777);
       }, {}},
      {"signed with a key nobody trusts", {}, [](UpdateRig&, const QString& b) {
         test::SigningKey::stranger().sign(b);
       }, kSignatureFailed},
      {"running bundle without keyring", {}, [](UpdateRig& r, const QString&) {
         QFile::remove(platform::updateKeyringPath(r.installedBundle()));
       }, kSignatureFailed},
      {"older than offered", [](BundleRecipe& s) { s.version = QStringLiteral("0.5.0"); }, {},
       QStringLiteral("Install failed: the downloaded bundle is version 0.5.0 (2), not the offered 2.0.0 (2).")},
  };
  for (const Row& row : rows) {
    BundleRecipe installed = UpdateRig::installedRecipe();
    if (row.running) row.running(installed);
    UpdateRig rig(installed);
    BundleRecipe recipe = rig.newerRecipe();
    if (row.edit) row.edit(recipe);
    const QString bundle = test::signedBundle(rig, recipe, QStringLiteral("v"));
    if (row.spoil) row.spoil(rig, bundle);
    const auto o = test::stage(rig, test::zipOfBundle(bundle));
    if (row.message.isEmpty()) {
      ASSERT_EQ(o.state, QStringLiteral("readyToInstall")) << row.name << ": " << o.message.toStdString();
      struct stat st{};
      ::stat(QFile::encodeName(o.staged + QStringLiteral("/Contents/bin/quotabar")).constData(), &st);
      EXPECT_EQ(st.st_mode & 07777, 0755u) << row.name;
    } else {
      EXPECT_TRUE(test::matches(o.message, row.message)) << row.name << ": " << o.message.toStdString();
    }
  }
}

TEST(RunTool, OutcomesTable) {
  const struct {
    const char* name;
    QString script;
    QString text;  // the output, or the failure's description ("*": prefix)
  } rows[] = {
      {"arguments unchanged", QStringLiteral("printf '%s|' \"$@\""), QStringLiteral("a b|'q'|$HOME||")},
      {"its own session, no input", QStringLiteral("[ \"$(ps -o sid= $$)\" -eq $$ ] && cat && echo ok"),
       QStringLiteral("ok\n")},
      {"failure with its trimmed error text", QStringLiteral("printf '\\n  first\\nsecond  \\n' >&2; exit 3"),
       QStringLiteral("Install failed: /bin/bash exited 3: first\nsecond")},
      {"only the end of a long error text", QStringLiteral("head -c 3000000 /dev/zero | tr '\\0' e >&2; exit 1"),
       QStringLiteral("Install failed: /bin/bash exited 1: ") + QString(4096, u'e')},
      {"past the time limit", QStringLiteral("sleep 30"),
       QStringLiteral("Install failed: /bin/bash stopped: it ran longer than 0.5 seconds")},
  };
  QObject owner;
  for (const auto& r : rows) {
    std::optional<UpdateResult<QString>> result;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(20);
    runTool({&platform::linuxTools(), {}, &owner},
            {QStringLiteral("/bin/bash"), {QStringLiteral("-c"), r.script, QStringLiteral("x"), QStringLiteral("a b"),
                                           QStringLiteral("'q'"), QStringLiteral("$HOME"), QString()}},
            {.timeoutMs = 500}, [&result](const UpdateResult<QString>& done) { result = done; });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 10'000)) << r.name;
    const QString text = *result ? result->value() : result->error().description();
    EXPECT_TRUE(test::matches(text, r.text)) << r.name << ": " << text.left(200).toStdString();
    if (r.script.startsWith(QLatin1String("sleep"))) {
      EXPECT_GT(ticks, 5) << "the event loop ran while the tool did";
    }
  }
}

}  // namespace
}  // namespace qb

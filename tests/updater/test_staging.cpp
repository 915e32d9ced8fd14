// Unpacking, finding the bundle, its identity and its signature, with the real tools.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <unistd.h>

#include "platform/bundle.h"
#include "update_fixtures.h"

namespace qb {
namespace {

using fake::Reply;
using test::BundleRecipe;
using test::StateLog;
using test::UpdateRig;

const QString kSignatureFailed =
    QStringLiteral("Code signature invalid: codesign --verify failed for staged bundle");
const QString kNoApp = QStringLiteral("Install failed: No .app bundle found inside the downloaded archive.");

struct Outcome {
  QString state;
  QString message;  // failed
  QString staged;   // readyToInstall: relative to the work directory
  QString workDirectory;
};

// Serves `artifact` as the release and runs download and staging to the end.
Outcome stage(UpdateRig& rig, const QByteArray& artifact, const char* fileName,
              const char* contentType, bool withDigest = true) {
  UpdateInfo info;
  info.version = QStringLiteral("2.0.0");
  info.fileName = QString::fromLatin1(fileName);
  info.contentType = QString::fromLatin1(contentType);
  info.downloadUrl = QUrl(QString::fromStdString(
      rig.server.serveArtifact(fileName, artifact.toStdString(), contentType)));
  if (withDigest) info.sha256 = QString::fromStdString(test::sha256Hex(artifact));
  auto updater = rig.updater();
  StateLog log(*updater);
  updater->downloadAndStage(info);
  EXPECT_TRUE(log.waitSettled(*updater, 30'000));
  Outcome o;
  o.state = stateName(updater->state());
  o.message = test::failedMessage(updater->state());
  const QStringList work =
      QDir(rig.tempDirectory()).entryList({QStringLiteral("QuotabarUpdate-*")}, QDir::Dirs);
  if (!work.isEmpty()) o.workDirectory = rig.tempDirectory() + u'/' + work.last();
  if (const auto* r = std::get_if<update_state::ReadyToInstall>(&updater->state())) {
    EXPECT_EQ(r->info, info);
    o.staged = r->bundleURL.mid(o.workDirectory.size() + 1);
    EXPECT_TRUE(r->bundleURL.startsWith(o.workDirectory + u'/'));
  }
  // Every publication on the way is `downloading`, then the end state.
  for (qsizetype i = 0; i + 1 < log.states.size(); ++i)
    EXPECT_TRUE(holds<update_state::Downloading>(log.states[i]));
  return o;
}

// Signs `recipe` built under scratch/NAME and returns the bundle path.
QString signedBundle(UpdateRig& rig, const BundleRecipe& recipe, const QString& folder) {
  const QString bundle = rig.scratchBundle(recipe, folder);
  test::SigningKey::shared().sign(bundle);
  return bundle;
}

QByteArray zipOf(const QString& parent, const QStringList& entries, const QStringList& extra = {}) {
  const QString zip = parent + QStringLiteral("/../") + QUuid::createUuid().toString(QUuid::Id128) +
                      QStringLiteral(".zip");
  test::zipEntries(parent, entries, zip, extra);
  return test::readFile(zip);
}

QByteArray zipOfBundle(const QString& bundle) {
  return zipOf(QFileInfo(bundle).path(), {QFileInfo(bundle).fileName()});
}

bool mountFoldersLeft(const QString& workDirectory) {
  return !QDir(workDirectory).entryList({QStringLiteral("mount-*")}, QDir::Dirs).isEmpty();
}

TEST(Staging, ArchivesAndDiskImagesTable) {
  struct Row {
    const char* name;
    std::function<QByteArray(UpdateRig&)> artifact;
    const char* fileName;
    const char* contentType;
    QString staged;   // expected staged bundle, or empty
    QString message;  // expected failure; a trailing "*" matches a prefix
  };
  const Row rows[] = {
      {"zip, app at the top", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "a"));
       }, "Quotabar.zip", "application/zip", QStringLiteral("unpack/Quotabar.app"), {}},
      {"zip, app one folder deep", [](UpdateRig& rig) {
         const QString bundle = signedBundle(rig, rig.newerRecipe(), "b");
         const QString root = QFileInfo(bundle).path();
         QDir(root).mkpath(QStringLiteral("Release"));
         QDir().rename(bundle, root + QStringLiteral("/Release/Quotabar.app"));
         return zipOf(root, {QStringLiteral("Release")});
       }, "Quotabar.zip", "application/zip", QStringLiteral("unpack/Release/Quotabar.app"), {}},
      {"zip, two apps: the first by name", [](UpdateRig& rig) {
         BundleRecipe a = rig.newerRecipe();
         a.name = QStringLiteral("A.app");
         BundleRecipe b = rig.newerRecipe();
         b.name = QStringLiteral("B.app");
         const QString first = signedBundle(rig, a, "c");
         const QString root = QFileInfo(first).path();
         // B.app carries a signature nobody trusts: choosing it would fail.
         const QString second = test::makeBundle(root, b);
         test::SigningKey::stranger().sign(second);
         return zipOf(root, {QStringLiteral("B.app"), QStringLiteral("A.app")});
       }, "Quotabar.zip", "application/zip", QStringLiteral("unpack/A.app"), {}},
      {"zip by name, any type", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "d"));
       }, "Update.ZIP", "application/octet-stream", QStringLiteral("unpack/Quotabar.app"), {}},
      {"zip by type, any name", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "e"));
       }, "download", "application/x-zip-compressed", QStringLiteral("unpack/Quotabar.app"), {}},
      {"zip without an app", [](UpdateRig& rig) {
         const QString root = rig.root() + QStringLiteral("/f");
         test::writeFile(root + QStringLiteral("/README"), "hello");
         return zipOf(root, {QStringLiteral("README")});
       }, "Quotabar.zip", "application/zip", {}, kNoApp},
      {"disk image", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "g"));
       }, "Quotabar.dmg", "application/x-apple-diskimage", QStringLiteral("Quotabar.app"), {}},
      {"disk image by octet-stream", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "h"));
       }, "release.bin", "application/octet-stream", QStringLiteral("Quotabar.app"), {}},
      // The image file itself sits where the bundle goes: it is removed first.
      {"disk image named like the bundle", [](UpdateRig& rig) {
         return zipOfBundle(signedBundle(rig, rig.newerRecipe(), "h2"));
       }, "Quotabar.app", "application/octet-stream", QStringLiteral("Quotabar.app"), {}},
      {"disk image without an app", [](UpdateRig& rig) {
         const QString root = rig.root() + QStringLiteral("/i");
         test::writeFile(root + QStringLiteral("/README"), "hello");
         return zipOf(root, {QStringLiteral("README")});
       }, "Quotabar.dmg", "application/x-apple-diskimage", {}, kNoApp},
      {"disk image the tool cannot read", [](UpdateRig&) {
         return QByteArray(40'000, '\x5a');
       }, "release.bin", "application/octet-stream", {}, QStringLiteral("Install failed: /usr/bin/7z exited 2: *")},
      {"text", [](UpdateRig&) { return QByteArray("release notes"); }, "notes.txt", "text/plain", {},
       QStringLiteral("Unsupported artifact type: text/plain.")},
      {"type kept as sent", [](UpdateRig&) { return QByteArray("x"); }, "notes", "Text/Plain; charset=UTF-8", {},
       QStringLiteral("Unsupported artifact type: Text/Plain; charset=UTF-8.")},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    const Outcome o = stage(rig, row.artifact(rig), row.fileName, row.contentType);
    if (!row.staged.isEmpty()) {
      EXPECT_EQ(o.state, QStringLiteral("readyToInstall")) << row.name << ": " << o.message.toStdString();
      EXPECT_EQ(o.staged, row.staged) << row.name;
    } else if (row.message.endsWith(u'*')) {
      EXPECT_TRUE(o.message.startsWith(row.message.chopped(1))) << row.name << ": " << o.message.toStdString();
    } else {
      EXPECT_EQ(o.message, row.message) << row.name;
    }
    // An image is always detached (here: its folder removed) once it was attached.
    if (QByteArray(row.fileName).endsWith(".dmg")) {
      EXPECT_FALSE(mountFoldersLeft(o.workDirectory)) << row.name;
    }
  }
}

TEST(Staging, HostileArchives) {
  const QString escape = QStringLiteral("/tmp/qb-escape-") + QUuid::createUuid().toString(QUuid::Id128);
  struct Row {
    const char* name;
    std::function<QByteArray(UpdateRig&)> artifact;
    QString message;  // empty: staged; trailing "*": prefix; "?": any outcome
  };
  const Row rows[] = {
      {"absolute member names stay inside", [&escape](UpdateRig& rig) {
         const QString root = QFileInfo(signedBundle(rig, rig.newerRecipe(), "a")).path();
         test::writeFile(root + QStringLiteral("/pwned"), "x");
         return zipOf(root, {QStringLiteral("Quotabar.app"), QStringLiteral("pwned")},
                      {QStringLiteral("-P"), QStringLiteral("-s"),
                       QStringLiteral(",^pwned$,%1/pwned,").arg(escape)});
       }, QString()},
      {"climbing member names are refused", [](UpdateRig& rig) {
         const QString root = QFileInfo(signedBundle(rig, rig.newerRecipe(), "b")).path();
         test::writeFile(root + QStringLiteral("/pwned"), "x");
         return zipOf(root, {QStringLiteral("Quotabar.app"), QStringLiteral("pwned")},
                      {QStringLiteral("-P"), QStringLiteral("-s"), QStringLiteral(",^pwned$,../../../pwned,")});
       }, QStringLiteral("Install failed: /usr/bin/bsdtar exited 1: *")},
      {"writing through a link is refused", [&escape](UpdateRig& rig) {
         const QString root = rig.root() + QStringLiteral("/c");
         QDir().mkpath(escape);
         QDir().mkpath(root + QStringLiteral("/Quotabar.app/Contents"));
         EXPECT_EQ(::symlink(QFile::encodeName(escape).constData(),
                             QFile::encodeName(root + QStringLiteral("/Quotabar.app/Contents/Resources")).constData()), 0);
         test::writeFile(root + QStringLiteral("/payload/evil"), "x");
         return zipOf(root, {QStringLiteral("Quotabar.app"), QStringLiteral("payload")},
                      {QStringLiteral("-s"), QStringLiteral(",^payload,Quotabar.app/Contents/Resources,")});
       }, QStringLiteral("?")},  // bsdtar replaces the link by a folder; what matters is below
      {"a signed link out of the bundle", [](UpdateRig& rig) {
         BundleRecipe recipe = rig.newerRecipe();
         recipe.links = {{QStringLiteral("Contents/Resources/etc"), QStringLiteral("/etc")}};
         return zipOfBundle(signedBundle(rig, recipe, "d"));
       }, kSignatureFailed},
      {"a signed link climbing out", [](UpdateRig& rig) {
         BundleRecipe recipe = rig.newerRecipe();
         recipe.links = {{QStringLiteral("Contents/up"), QStringLiteral("../../../..")}};
         return zipOfBundle(signedBundle(rig, recipe, "e"));
       }, kSignatureFailed},
      {"the bundle itself a link to a signed bundle", [](UpdateRig& rig) {
         const QString elsewhere = signedBundle(rig, rig.newerRecipe(), "f");
         const QString root = rig.root() + QStringLiteral("/f-link");
         QDir().mkpath(root);
         EXPECT_EQ(::symlink(QFile::encodeName(elsewhere).constData(),
                             QFile::encodeName(root + QStringLiteral("/Quotabar.app")).constData()), 0);
         return zipOf(root, {QStringLiteral("Quotabar.app")});
       }, kSignatureFailed},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    const Outcome o = stage(rig, row.artifact(rig), "Quotabar.zip", "application/zip");
    if (row.message.isEmpty()) {
      EXPECT_EQ(o.state, QStringLiteral("readyToInstall")) << row.name << ": " << o.message.toStdString();
    } else if (row.message.endsWith(u'*')) {
      EXPECT_TRUE(o.message.startsWith(row.message.chopped(1))) << row.name << ": " << o.message.toStdString();
    } else if (row.message != QLatin1String("?")) {
      EXPECT_EQ(o.message, row.message) << row.name;
    }
    EXPECT_FALSE(QFileInfo::exists(escape + QStringLiteral("/pwned"))) << row.name;
    EXPECT_FALSE(QFileInfo::exists(escape + QStringLiteral("/evil"))) << row.name;
    EXPECT_FALSE(QFileInfo::exists(rig.root() + QStringLiteral("/pwned"))) << row.name;
    EXPECT_FALSE(QFileInfo::exists(rig.tempDirectory() + QStringLiteral("/pwned"))) << row.name;
  }
  QDir(escape).removeRecursively();
}

TEST(Staging, BundleIdentityTable) {
  struct Row {
    const char* name;
    std::optional<QString> runningId;
    std::function<void(BundleRecipe&)> edit;
    std::function<void(const QString& bundle)> spoil;  // after signing
    QString message;  // empty: staged; trailing "*": prefix
  };
  const Row rows[] = {
      {"same identifier", QStringLiteral("com.orvane.vantelo"), {}, {}, QString()},
      {"another identifier", QStringLiteral("com.orvane.vantelo"),
       [](BundleRecipe& s) { s.identifier = QStringLiteral("com.example.other"); }, {},
       QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got com.example.other).")},
      {"no identifier", QStringLiteral("com.orvane.vantelo"), [](BundleRecipe& s) { s.identifier.reset(); }, {},
       QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got nil).")},
      {"identifier not a string", QStringLiteral("com.orvane.vantelo"), {}, [](const QString& b) {
         test::writeFile(platform::infoPlistPath(b),
                         "<plist><dict><key>CFBundleIdentifier</key><integer>1</integer></dict></plist>");
       }, QStringLiteral("Bundle id mismatch (expected com.orvane.vantelo, got nil).")},
      {"the running bundle's own identifier", QStringLiteral("org.example.fork"), {}, {},
       QStringLiteral("Bundle id mismatch (expected org.example.fork, got com.orvane.vantelo).")},
      {"running bundle without identifier", std::nullopt, {}, {}, QString()},
      {"no Info.plist", QStringLiteral("com.orvane.vantelo"), {}, [](const QString& b) {
         QFile::remove(platform::infoPlistPath(b));
       }, QStringLiteral("The file \u201CInfo.plist\u201D couldn\u2019t be opened: *")},
      {"Info.plist not a property list", QStringLiteral("com.orvane.vantelo"), {}, [](const QString& b) {
         test::writeFile(platform::infoPlistPath(b), "{\"CFBundleIdentifier\":\"com.orvane.vantelo\"}");
       }, QStringLiteral("The property list couldn't be read: *")},
  };
  for (const Row& row : rows) {
    BundleRecipe installed = UpdateRig::installedRecipe();
    installed.identifier = row.runningId;
    UpdateRig rig(installed);
    BundleRecipe recipe = rig.newerRecipe();
    if (row.edit) row.edit(recipe);
    const QString bundle = signedBundle(rig, recipe, "s");
    if (row.spoil) row.spoil(bundle);
    const Outcome o = stage(rig, zipOfBundle(bundle), "Quotabar.zip", "application/zip");
    if (row.message.isEmpty()) {
      EXPECT_EQ(o.state, QStringLiteral("readyToInstall")) << row.name << ": " << o.message.toStdString();
    } else if (row.message.endsWith(u'*')) {
      EXPECT_TRUE(o.message.startsWith(row.message.chopped(1))) << row.name << ": " << o.message.toStdString();
    } else {
      EXPECT_EQ(o.message, row.message) << row.name;
    }
  }
}

TEST(Staging, SignatureTable) {
  struct Row {
    const char* name;
    std::function<void(UpdateRig&, const QString& bundle)> prepare;  // signs (or not) and spoils
    bool withDigest;
    bool staged;
  };
  const auto& key = test::SigningKey::shared();
  const Row rows[] = {
      {"signed", [&key](UpdateRig&, const QString& b) { key.sign(b); }, true, true},
      {"signed, answer without digest", [&key](UpdateRig&, const QString& b) { key.sign(b); }, false, true},
      {"unsigned", [](UpdateRig&, const QString&) {}, true, false},
      {"unsigned, answer without digest", [](UpdateRig&, const QString&) {}, false, false},
      {"file changed after signing", [&key](UpdateRig&, const QString& b) {
         key.sign(b);
         test::writeFile(b + QStringLiteral("/Contents/bin/quotabar"), "#!/bin/sh\nrm -rf ~\n");
       }, true, false},
      {"file added after signing", [&key](UpdateRig&, const QString& b) {
         key.sign(b);
         test::writeFile(b + QStringLiteral("/Contents/Resources/.extra"), "x");
       }, true, false},
      {"file removed after signing", [&key](UpdateRig&, const QString& b) {
         test::writeFile(b + QStringLiteral("/Contents/Resources/needed"), "x");
         key.sign(b);
         QFile::remove(b + QStringLiteral("/Contents/Resources/needed"));
       }, true, false},
      {"link added after signing", [&key](UpdateRig&, const QString& b) {
         key.sign(b);
         EXPECT_EQ(::symlink("quotabar", QFile::encodeName(b + QStringLiteral("/Contents/bin/q")).constData()), 0);
       }, true, false},
      {"manifest edited after signing", [&key](UpdateRig&, const QString& b) {
         test::writeFile(b + QStringLiteral("/Contents/Resources/x"), "x");
         key.sign(b);
         const QString manifest = b + QStringLiteral("/Contents/_CodeSignature/CodeResources");
         QByteArray text = test::readFile(manifest);
         const qsizetype at = text.indexOf("  Contents/Resources/x\n");
         text.replace(at, 2 + 22, "");  // drop the path...
         text.remove(at - 64, 64);      // ...and its digest
         test::writeFile(manifest, text);
         QFile::remove(b + QStringLiteral("/Contents/Resources/x"));
       }, true, false},
      {"signature replaced by garbage", [&key](UpdateRig&, const QString& b) {
         key.sign(b);
         test::writeFile(b + QStringLiteral("/Contents/_CodeSignature/CodeResources.sig"), "garbage");
       }, true, false},
      {"signed with a key nobody trusts", [](UpdateRig&, const QString& b) {
         test::SigningKey::stranger().sign(b);
       }, true, false},
      {"running bundle without keyring", [&key](UpdateRig& rig, const QString& b) {
         key.sign(b);
         QFile::remove(platform::updateKeyringPath(rig.installedBundle()));
       }, true, false},
      {"running bundle trusts another key", [&key](UpdateRig& rig, const QString& b) {
         key.sign(b);
         QFile::remove(platform::updateKeyringPath(rig.installedBundle()));
         QFile::copy(test::SigningKey::stranger().publicKeyring(),
                     platform::updateKeyringPath(rig.installedBundle()));
       }, true, false},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    const QString bundle = rig.scratchBundle(rig.newerRecipe(), QStringLiteral("sig"));
    row.prepare(rig, bundle);
    const Outcome o = stage(rig, zipOfBundle(bundle), "Quotabar.zip", "application/zip", row.withDigest);
    if (row.staged) {
      EXPECT_EQ(o.state, QStringLiteral("readyToInstall")) << row.name << ": " << o.message.toStdString();
    } else {
      EXPECT_EQ(o.message, kSignatureFailed) << row.name;
    }
  }
}

}  // namespace
}  // namespace qb

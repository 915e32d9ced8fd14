// A bundle as the updater reads it: the property-list reader behind Info.plist, the keys an
// updater is made of, the stored last check, and the signed manifest (its format, links, and
// agreement with the signing script).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QVariantMap>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "platform/plist_reader.h"
#include "platform/settings.h"
#include "update_fixtures.h"
#include "updater/bundle_manifest.h"

namespace qb {
namespace {

using platform::parsePropertyList;
using test::BundleRecipe;

QByteArray doc(const char* body) {
  return QByteArray(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">") +
         body + "</plist>";
}

TEST(PropertyList, ReadsEveryValueType) {
  QString error;
  const auto value = parsePropertyList(
      doc("<dict>"
          "<key>s</key><string>caf\xc3\xa9 &amp; co</string>"
          "<key>empty</key><string/>"
          "<key>i</key><integer>-42</integer>"
          "<key>r</key><real>2.5</real>"
          "<key>t</key><true/><key>f</key><false/>"
          "<key>d</key><date>2024-05-01T12:30:00Z</date>"
          "<key>b</key><data>aGVs\n bG8=</data>"
          "<key>a</key><array><string>x</string><integer>1</integer><dict/></array>"
          "<key>n</key><dict><key>k</key><string>v</string></dict>"
          "</dict>"),
      &error);
  ASSERT_TRUE(value) << error.toStdString();
  const QVariantMap map = value->toMap();
  EXPECT_EQ(map.value("s").toString(), QStringLiteral("caf\u00e9 & co"));
  EXPECT_EQ(map.value("empty").typeId(), QMetaType::QString);
  EXPECT_EQ(map.value("i").toLongLong(), -42);
  EXPECT_EQ(map.value("r").toDouble(), 2.5);
  EXPECT_EQ(map.value("t"), QVariant(true));
  EXPECT_EQ(map.value("f"), QVariant(false));
  EXPECT_EQ(map.value("d").toDateTime(), QDateTime(QDate(2024, 5, 1), QTime(12, 30), Qt::UTC));
  EXPECT_EQ(map.value("b").toByteArray(), QByteArray("hello"));
  EXPECT_EQ(map.value("a").toList().size(), 3);
  EXPECT_EQ(map.value("n").toMap().value("k").toString(), QStringLiteral("v"));
}

TEST(PropertyList, RefusesWhatIsNoPropertyList) {
  const QByteArray deep = QByteArray("<plist>") + QByteArray("<array>").repeated(5000) +
                          QByteArray("</array>").repeated(5000) + "</plist>";
  const struct {
    QByteArray input;
    const char* mentions;
  } rows[] = {
      {"", "Premature end of document"},
      {"bplist00\x01\x02", "binary"},
      {doc("<dict><key>a</key></dict>"), "has no value"},
      {doc("<integer>12a</integer>"), "not an integer"},
      {doc("<data>!!!</data>"), "base64"},
      {doc("<string>a</string><string>b</string>"), "more than one"},
      {deep, "too deep"},
  };
  for (const auto& r : rows) {
    QString error;
    EXPECT_FALSE(parsePropertyList(r.input, &error)) << r.input.left(60).toStdString();
    EXPECT_TRUE(error.contains(QLatin1String(r.mentions))) << error.toStdString();
  }
}

TEST(PropertyList, InfoDictionaryOfABundle) {
  QTemporaryDir dir;
  const QString bundle = test::makeBundle(dir.path(), {.apiKey = QStringLiteral("k & <key>")});
  EXPECT_EQ(platform::readInfoDictionary(bundle).value("KovalinApiKey").toString(), QStringLiteral("k & <key>"));
  // Non-dictionary files and pipes read as an empty dictionary.
  test::writeFile(platform::infoPlistPath(bundle), doc("<array/>"));
  EXPECT_TRUE(platform::readInfoDictionary(bundle).isEmpty());
  QFile::remove(platform::infoPlistPath(bundle));
  ASSERT_EQ(::mkfifo(QFile::encodeName(platform::infoPlistPath(bundle)).constData(), 0644), 0);
  EXPECT_TRUE(platform::readInfoDictionary(bundle).isEmpty());
  EXPECT_EQ(platform::bundleForExecutableDir(QStringLiteral("/opt/x.App/Contents/bin")), QString());
}

std::unique_ptr<Updater> updaterFor(const QString& bundle) {
  return Updater::create({.bundlePath = bundle, .origin = QUrl(QStringLiteral("https://u.example.test"))});
}

TEST(UpdaterSetup, BundleKeysTable) {
  test::TempHome home;
  QTemporaryDir dir;
  struct Row {
    std::function<void(BundleRecipe&)> edit;
    QString appId, channel, version, build;  // empty appId: no updater
  };
  const Row rows[] = {
      {[](BundleRecipe& s) { s.appId = "myapp", s.channel = "beta"; }, "myapp", "beta", "2.0.0", "1"},
      {[](BundleRecipe& s) { s.appId = "", s.channel = ""; }, "vantelo", "stable", "2.0.0", "1"},
      {[](BundleRecipe& s) { s.version.reset(), s.build.reset(); }, "vantelo", "stable", "0.0.0", "0"},
      {[](BundleRecipe& s) { s.apiKey = ""; }, {}, {}, {}, {}},
  };
  int n = 0;
  for (const Row& row : rows) {
    BundleRecipe recipe{.apiKey = QStringLiteral("secret-key")};
    row.edit(recipe);
    const QString bundle = test::makeBundle(dir.path() + QStringLiteral("/b%1").arg(++n), recipe);
    auto updater = updaterFor(bundle);
    ASSERT_EQ(bool(updater), !row.appId.isEmpty()) << n;
    if (!updater) continue;
    EXPECT_EQ(QStringList({updater->appId(), updater->channel(), updater->currentVersion(), updater->currentBuild()}),
              QStringList({row.appId, row.channel, row.version, row.build}));
  }
  // A key that is not a string counts as missing.
  const QString odd = dir.path() + QStringLiteral("/odd/Quotabar.app");
  test::writeFile(odd + QStringLiteral("/Contents/Info.plist"),
                  "<plist><dict><key>KovalinApiKey</key><integer>5</integer></dict></plist>");
  EXPECT_FALSE(updaterFor(odd));
}

TEST(UpdaterSetup, LastCheckedIsStoredAndRead) {
  test::UpdateRig rig;
  QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
  UpdaterOptions options = rig.options();
  options.now = [&now] { return now; };
  {
    auto updater = rig.updater(options);
    EXPECT_TRUE(updater->shouldAutoCheck());
    updater->recordCheck(now);
    now = now.addSecs(7199);
    EXPECT_FALSE(updater->shouldAutoCheck());
    now = now.addSecs(1);
    EXPECT_TRUE(updater->shouldAutoCheck());
  }
  // A new updater (a new launch) reads the date back from the settings file.
  EXPECT_EQ(rig.updater(options)->lastChecked(), now.addSecs(-7200));
  // Anything but a date under the key is ignored.
  platform::settings()->setValue(QStringLiteral("Vantelo.Updater.lastChecked"),
                                 QStringLiteral("2026-03-01T10:00:00Z"));
  EXPECT_FALSE(rig.updater(options)->lastChecked());
}

const QByteArray kHex(64, 'a');
const QByteArray kFile = "f 0755 " + kHex + "  ";
const QByteArray kDir = "d 0755 " + QByteArray(64, '-') + "  ";

TEST(BundleManifest, ParseRules) {
  const struct {
    QByteArray text;
    const char* why;  // nullptr: accepted
  } rows[] = {
      {kDir + "Contents\n" + kFile + "Contents/Info.plist\n" + "l 0777 " + kHex + "  a b/c d\n", nullptr},
      {QByteArray(), "empty"},
      {kFile + "Contents/Info.plist", "line break"},
      {"f 0755 " + kHex + " x\n", "malformed"},
      {"x 0755 " + kHex + "  x\n", "malformed"},                 // unknown type
      {"f 4755 " + kHex + "  x\n", "malformed"},                 // setuid
      {"f 0777 " + kHex + "  x\n", "malformed"},                 // world-writable
      {"l 0755 " + kHex + "  x\n", "malformed"},
      {"d 0755 " + kHex + "  x\n", "malformed"},                 // a folder has no digest
      {kFile + "/etc/passwd\n", "malformed"},
      {kFile + "Contents/../../x\n", "malformed"},
      {kFile + "Contents/_CodeSignature/CodeResources\n", "malformed"},
      {kFile + "b\n" + kFile + "a\n", "out of order"},
  };
  for (const auto& r : rows) {
    QString why;
    const auto manifest = parseManifest(r.text, &why);
    EXPECT_EQ(manifest.has_value(), !r.why) << r.text.toStdString() << why.toStdString();
    if (r.why) {
      EXPECT_TRUE(why.contains(QLatin1String(r.why))) << why.toStdString();
    }
  }
}

TEST(BundleManifest, LinksThatStayInside) {
  const struct {
    const char* link;
    const char* target;
    bool inside;
  } rows[] = {
      {"Contents/bin/tool", "quotabar", true},
      {"Contents/bin/tool", "../Resources/x", true},
      {"Contents/bin/tool", "../..", true},
      {"Contents/bin/tool", "../../..", false},
      {"Contents/x", "a/../../..", false},
      {"top", "..", false},
      {"Contents/bin/tool", "/usr/bin/env", false},
      {"Contents/bin/tool", "./././quotabar", true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(linkStaysInside(r.link, r.target), r.inside) << r.link << " -> " << r.target;
}

TEST(BundleManifest, SigningScriptAndCheckAgree) {
  QTemporaryDir dir;
  const QString bundle = test::makeBundle(
      dir.path(), {.startMarker = dir.path() + QStringLiteral("/m"),
                   .files = {{QStringLiteral("Contents/Resources/with blank.txt"), "1"},
                             {QStringLiteral("Contents/Resources/caf\u00e9 \u2603.txt"), "3"},
                             {QStringLiteral("Contents/Resources/tab\there"), "4"},
                             {QStringLiteral("Contents/Resources/empty"), ""},
                             {QStringLiteral("Contents/Frameworks/Lib.framework/Versions/A/lib"), "7"},
                             {QStringLiteral("top-level"), "8"}},
                   .links = {{QStringLiteral("Contents/Frameworks/Lib.framework/Current"), QStringLiteral("Versions/A")},
                             {QStringLiteral("Contents/bin/alias"), QStringLiteral("quotabar")},
                             {QStringLiteral("Contents/dangling"), QStringLiteral("nothing/here")}}});
  QDir().mkpath(bundle + QStringLiteral("/Contents/EmptyFolder"));
  test::SigningKey::shared().sign(bundle);

  QString why;
  const auto signedManifest = parseManifest(test::readFile(bundle + u'/' + QLatin1String(kCodeResources)), &why);
  ASSERT_TRUE(signedManifest) << why.toStdString();
  const auto actual = scanBundle(bundle, &why);
  ASSERT_TRUE(actual) << why.toStdString();
  EXPECT_EQ(*signedManifest, *actual);
  // Info.plist, quotabar, six files, three links and eight folders (the empty one too).
  EXPECT_EQ(actual->size(), 19);
}

TEST(BundleManifest, ScanRefusals) {
  const struct {
    const char* name;
    std::function<void(const QString& bundle)> spoil;
    const char* why;
  } rows[] = {
      {"link out", [](const QString& b) {
         ASSERT_EQ(::symlink("/etc", QFile::encodeName(b + "/Contents/etc").constData()), 0);
       }, "leads outside"},
      {"link through a link", [](const QString& b) {
         // Lexically inside, but "in" points outside, so "in/.." lands outside too.
         ASSERT_EQ(::symlink("/tmp", QFile::encodeName(b + "/Contents/in").constData()), 0);
         ASSERT_EQ(::symlink("in/x", QFile::encodeName(b + "/Contents/through").constData()), 0);
       }, "leads outside"},
      {"pipe", [](const QString& b) {
         ASSERT_EQ(::mkfifo(QFile::encodeName(b + "/Contents/fifo").constData(), 0600), 0);
       }, "not a file, folder or link"},
      {"line break", [](const QString& b) { test::writeFile(b + "/Contents/a\nb", "x"); }, "line break"},
      {"extra signature file", [](const QString& b) {
         test::writeFile(b + "/Contents/_CodeSignature/extra", "x");
       }, "not listed"},
  };
  QTemporaryDir dir;
  int n = 0;
  for (const auto& r : rows) {
    const QString bundle = test::makeBundle(dir.path() + QStringLiteral("/%1").arg(++n), {});
    r.spoil(bundle);
    QString why;
    EXPECT_FALSE(scanBundle(bundle, &why)) << r.name;
    EXPECT_TRUE(why.contains(QLatin1String(r.why))) << r.name << ": " << why.toStdString();
  }
  // The bundle itself a link.
  const QString real = test::makeBundle(dir.path() + QStringLiteral("/real"), {});
  const QString link = dir.path() + QStringLiteral("/Link.app");
  ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(link).constData()), 0);
  QString why;
  EXPECT_FALSE(scanBundle(link, &why));
}

TEST(BundleManifest, Differences) {
  const ManifestEntry file{'f', 0755, kHex};
  const Manifest listed{{"a", file}, {"d", {'d', 0755, {}}}};
  const struct {
    Manifest actual;
    const char* why;
  } rows[] = {
      {{{"a", {'f', 0775, kHex}}, {"d", {'d', 0700, {}}}}, nullptr},  // a umask changes no owner bit
      {{{"a", file}}, "d is missing"},
      {{{"a", {'f', 0755, QByteArray(64, 'c')}}, {"d", {'d', 0755, {}}}}, "a was modified"},
      {{{"a", {'l', 0777, kHex}}, {"d", {'d', 0755, {}}}}, "a is not of its signed type"},
      {{{"a", {'f', 0644, kHex}}, {"d", {'d', 0755, {}}}}, "a has other permissions than signed"},
      {{{"a", file}, {"d", {'d', 0755, {}}}, {"c", file}}, "c is not listed"},
  };
  for (const auto& r : rows) {
    QString why;
    EXPECT_EQ(manifestMatches(listed, r.actual, &why), r.why == nullptr) << why.toStdString();
    if (r.why) {
      EXPECT_EQ(why, QLatin1String(r.why));
    }
  }
}

}  // namespace
}  // namespace qb

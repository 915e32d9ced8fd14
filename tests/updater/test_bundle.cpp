// The XML property-list reader behind Info.plist, and what an updater is made of: the bundle's
// keys and the stored last check.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QVariantList>
#include <QVariantMap>
#include <sys/stat.h>

#include "platform/bundle.h"
#include "platform/plist_reader.h"
#include "platform/settings.h"
#include "update_fixtures.h"

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
  UpdaterOptions options;
  options.bundlePath = bundle;
  options.origin = QUrl(QStringLiteral("https://u.example.test"));
  return Updater::create(options);
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

}  // namespace
}  // namespace qb

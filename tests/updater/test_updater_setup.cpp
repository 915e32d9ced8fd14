// What an updater is made of: the bundle's keys, the stored last check, the origin.
#include <gtest/gtest.h>

#include "platform/settings.h"
#include "update_fixtures.h"
#include "updater/update_origin.h"

namespace qb {
namespace {

using test::BundleRecipe;

TEST(UpdaterSetup, BundleKeysTable) {
  test::TempHome home;
  QTemporaryDir dir;
  const QString none = QStringLiteral("(no updater)");
  struct Row {
    const char* name;
    std::function<void(BundleRecipe&)> edit;
    QString appId, channel, version, build;  // appId == none: no updater
  };
  const Row rows[] = {
      {"all keys", [](BundleRecipe& s) {
         s.appId = "myapp";
         s.channel = "beta";
       }, "myapp", "beta", "2.0.0", "1"},
      {"defaults", [](BundleRecipe&) {}, "vantelo", "stable", "2.0.0", "1"},
      {"empty app id and channel", [](BundleRecipe& s) {
         s.appId = "";
         s.channel = "";
       }, "vantelo", "stable", "2.0.0", "1"},
      {"no version, no build", [](BundleRecipe& s) {
         s.version.reset();
         s.build.reset();
       }, "vantelo", "stable", "0.0.0", "0"},
      {"empty key", [](BundleRecipe& s) { s.apiKey = ""; }, none, {}, {}, {}},
      {"no key", [](BundleRecipe& s) { s.apiKey.reset(); }, none, {}, {}, {}},
  };
  int n = 0;
  for (const Row& row : rows) {
    BundleRecipe recipe;
    recipe.apiKey = QStringLiteral("secret-key");
    row.edit(recipe);
    const QString bundle = test::makeBundle(dir.path() + QStringLiteral("/b%1").arg(++n), recipe);
    UpdaterOptions options;
    options.bundlePath = bundle;
    options.origin = QUrl(QStringLiteral("https://updates.example.test"));
    auto updater = Updater::create(options);
    if (row.appId == none) {
      EXPECT_FALSE(updater) << row.name;
      continue;
    }
    ASSERT_TRUE(updater) << row.name;
    EXPECT_EQ(updater->appId(), row.appId) << row.name;
    EXPECT_EQ(updater->channel(), row.channel) << row.name;
    EXPECT_EQ(updater->currentVersion(), row.version) << row.name;
    EXPECT_EQ(updater->currentBuild(), row.build) << row.name;
  }

  // A key that is not a string counts as missing; so does a bundle without Info.plist.
  const QString odd = dir.path() + QStringLiteral("/odd/Quotabar.app");
  test::writeFile(odd + QStringLiteral("/Contents/Info.plist"),
                  "<plist><dict><key>KovalinApiKey</key><integer>5</integer></dict></plist>");
  UpdaterOptions options;
  options.bundlePath = odd;
  options.origin = QUrl(QStringLiteral("https://updates.example.test"));
  EXPECT_FALSE(Updater::create(options));
  options.bundlePath = dir.path() + QStringLiteral("/missing.app");
  EXPECT_FALSE(Updater::create(options));
}

TEST(UpdaterSetup, LastCheckedIsStoredAndRead) {
  test::UpdateRig rig;
  QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
  UpdaterOptions options = rig.options();
  options.now = [&now] { return now; };
  {
    auto updater = rig.updater(options);
    EXPECT_FALSE(updater->lastChecked());
    EXPECT_TRUE(updater->shouldAutoCheck());
    updater->recordCheck(now);
    EXPECT_EQ(updater->lastChecked(), now);
    now = now.addSecs(7199);
    EXPECT_FALSE(updater->shouldAutoCheck());
    now = now.addSecs(1);
    EXPECT_TRUE(updater->shouldAutoCheck());
  }
  // A new updater (a new launch) reads the date back from the settings file.
  auto again = rig.updater(options);
  ASSERT_TRUE(again->lastChecked());
  EXPECT_EQ(*again->lastChecked(), now.addSecs(-7200));
  EXPECT_EQ(platform::settings()->value(QStringLiteral("Vantelo.Updater.lastChecked")).toDateTime(),
            now.addSecs(-7200));

  // Anything but a date under the key is ignored.
  platform::settings()->setValue(QStringLiteral("Vantelo.Updater.lastChecked"),
                                 QStringLiteral("2026-03-01T10:00:00Z"));
  EXPECT_FALSE(rig.updater(options)->lastChecked());
}

TEST(UpdaterSetup, UpdateOriginOverride) {
  test::TempHome home;
  QTemporaryDir dir;
  BundleRecipe recipe;
  recipe.apiKey = QStringLiteral("k");
  const QString bundle = test::makeBundle(dir.path(), recipe);
  const QByteArray saved = qgetenv(kUpdateOriginVariable);
  const struct {
    const char* value;
    const char* origin;  // nullptr: refused
  } rows[] = {
      {"", "https://updates.quotabar.invalid"},
      {"http://127.0.0.1:8123", "http://127.0.0.1:8123"},
      {"http://localhost:8123/", "http://localhost:8123"},
      {"http://updates.example.test", nullptr},
      {"https://updates.example.test/distributionApi", nullptr},
  };
  for (const auto& r : rows) {
    qputenv(kUpdateOriginVariable, r.value);
    QString error;
    const auto origin = configuredUpdateOrigin(&error);
    UpdaterOptions options;
    options.bundlePath = bundle;
    auto updater = Updater::create(options);
    if (!r.origin) {
      EXPECT_FALSE(origin) << r.value;
      EXPECT_TRUE(error.contains(QLatin1String("QUOTABAR_UPDATE_ORIGIN"))) << error.toStdString();
      EXPECT_FALSE(updater) << r.value;
      continue;
    }
    ASSERT_TRUE(origin) << r.value << ": " << error.toStdString();
    EXPECT_EQ(*origin, QUrl(QString::fromLatin1(r.origin)));
    ASSERT_TRUE(updater);
    EXPECT_EQ(updater->latestUrl().toString(),
              QString::fromLatin1(r.origin) +
                  QStringLiteral("/distributionApi/v1/organizations/C7pLr2QwZs9TnV4kXb8M/"
                                 "applications/vantelo/latest?platform=linux&channel=stable"));
  }
  if (saved.isNull())
    qunsetenv(kUpdateOriginVariable);
  else
    qputenv(kUpdateOriginVariable, saved);
}

}  // namespace
}  // namespace qb

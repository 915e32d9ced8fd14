// What an updater is made of: the bundle's keys and the stored last check.
#include <gtest/gtest.h>

#include "platform/settings.h"
#include "update_fixtures.h"

namespace qb {
namespace {

using test::BundleRecipe;

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

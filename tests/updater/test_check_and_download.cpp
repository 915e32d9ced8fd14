// The latest-release check against a fake update server on loopback.
#include <gtest/gtest.h>

#include "update_fixtures.h"

namespace qb {
namespace {

using fake::Reply;
using test::StateLog;
using test::UpdateRig;
using test::release;

// Runs one check to its end.
bool checked(Updater& updater, bool silent) {
  updater.check(silent);
  return StateLog(updater).waitSettled(updater);
}

TEST(UpdateCheck, RequestCarriesPathQueryAndHeaders) {
  fake::FakeUpdateServer server("my app");  // as the server decodes the path
  UpdateRig rig({.version = QStringLiteral("1.4.2"), .build = QStringLiteral("77"), .apiKey = QStringLiteral("test-key"),
                 .appId = QStringLiteral("my app"), .channel = QStringLiteral("beta&more")});
  server.offer(release("1.4.2", "77"));
  UpdaterOptions options = rig.options();
  options.origin = server.origin();
  auto updater = rig.updater(options);
  ASSERT_TRUE(checked(*updater, false));
  EXPECT_TRUE(holds<update_state::UpToDate>(updater->state())) << stateName(updater->state()).toStdString();

  const auto requests = server.http().requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests.front();
  EXPECT_EQ(r.path, "/distributionApi/v1/organizations/C7pLr2QwZs9TnV4kXb8M/applications/my app/latest");
  EXPECT_EQ(r.query, "platform=linux&channel=beta%26more");
  EXPECT_EQ(r.header("Authorization"), "Bearer test-key");
  EXPECT_EQ(r.header("User-Agent"), "Quotabar/1.4.2 (77)");
  EXPECT_FALSE(r.hasHeader("Cookie"));
}

TEST(UpdateCheck, AnswersTable) {
  struct Row {
    const char* name;
    Reply reply;
    bool silent;
    QString state;     // expected case name
    QString message;   // failed: exact message, or a prefix ending in "*"
    bool recorded;     // lastChecked set
    int timeoutMs = 15'000;  // the check's idle bound
  };
  Reply redirectAway = Reply::text("", 302, "text/plain");
  redirectAway.headers = {{"Location", "https://elsewhere.example.test/latest"}};
  Reply late = Reply::json(fake::latestJson(release("2.0.0")));
  late.delayMs = 3000;

  const Row rows[] = {
      {"newer", Reply::json(fake::latestJson(release("1.0.1"))), false, "available", {}, true},
      {"older", Reply::json(fake::latestJson(release("0.9.9", "99"))), true, "upToDate", {}, true},
      {"404", Reply::text("no release", 404, "text/plain"), false, "upToDate", {}, true},
      {"500 with body", Reply::text("maintenance", 500, "text/plain"), false, "failed",
       QStringLiteral("Server responded 500: maintenance"), false},
      {"500 silent", Reply::text("maintenance", 500, "text/plain"), true, "idle", {}, false},
      {"long body", Reply::text(std::string(300, 'x'), 502, "text/plain"), false, "failed",
       QStringLiteral("Server responded 502: ") + QString(200, u'x'), false},
      {"huge 200 body", Reply::json(std::string(2 * 1024 * 1024, 'y')), false, "failed",
       QStringLiteral("The update server returned a malformed response."), false},
      {"not JSON", Reply::text("<html>login</html>", 200), false, "failed",
       QStringLiteral("The data couldn't be read because*"), false},
      {"redirect to another host", redirectAway, false, "failed",
       QStringLiteral("Refused a redirect to https://elsewhere.example.test."), false},
      {"a silent server", late, false, "failed", QStringLiteral("The request timed out."), false, 200},
  };
  for (const Row& row : rows) {
    UpdateRig rig;
    rig.server.answerLatest(row.reply);
    UpdaterOptions options = rig.options();
    options.checkTimeoutMs = row.timeoutMs;
    auto updater = rig.updater(options);
    updater->check(row.silent);
    EXPECT_TRUE(holds<update_state::Checking>(updater->state())) << row.name;
    ASSERT_TRUE(StateLog(*updater).waitSettled(*updater)) << row.name;
    EXPECT_EQ(stateName(updater->state()), row.state) << row.name;
    if (row.state == QLatin1String("failed")) {
      const QString message = test::failedMessage(updater->state());
      EXPECT_TRUE(test::matches(message, row.message)) << row.name << ": " << message.toStdString();
      EXPECT_FALSE(std::get<update_state::Failed>(updater->state()).info) << row.name;
    }
    EXPECT_EQ(updater->lastChecked().has_value(), row.recorded) << row.name;
  }
}

TEST(UpdateCheck, BusyStatesIgnoreACheck) {
  UpdateRig rig;
  Reply slow = Reply::json(fake::latestJson(release("2.0.0")));
  slow.delayMs = 300;
  rig.server.answerLatest(slow);
  auto updater = rig.updater();
  updater->check(false);
  ASSERT_TRUE(checked(*updater, false));  // still checking: nothing new
  EXPECT_EQ(rig.server.latestRequests(), 1u);

  // While downloading: no request, the state stays.
  const auto* available = std::get_if<update_state::Available>(&updater->state());
  ASSERT_TRUE(available);
  UpdateInfo info = available->info;
  Reply trickle = Reply::text(std::string(64 * 1024, 'z'), 200, "application/zip");
  trickle.chunkBytes = 4096;
  trickle.chunkDelayMs = 20;
  info.downloadUrl = QUrl(QString::fromStdString(rig.server.serveArtifact("slow.zip", trickle)));
  updater->downloadAndStage(info);
  ASSERT_TRUE(holds<update_state::Downloading>(updater->state()));
  const UpdaterState before = updater->state();
  updater->check(false);
  updater->check(true);
  EXPECT_EQ(updater->state(), before);
  EXPECT_EQ(rig.server.latestRequests(), 1u);
  ASSERT_TRUE(StateLog(*updater).waitSettled(*updater));
}

}  // namespace
}  // namespace qb

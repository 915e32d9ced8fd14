// Decoding the latest-release answer, turning it into the offered release, and whether that is
// newer than the running one.
#include <gtest/gtest.h>

#include "updater/latest_response.h"
#include "updater/version.h"

namespace qb {
namespace {

struct Decoded {
  std::optional<UpdateInfo> info;
  QString message;  // decoder message or error description
};

Decoded decode(const QByteArray& body) {
  QString error;
  const auto response = decodeBody<LatestResponse>(body, decodeLatestResponse, &error);
  if (!response) return {std::nullopt, error};
  auto info = makeUpdateInfo(*response);
  if (!info) return {std::nullopt, info.error().description()};
  return {info.value(), QString()};
}

QByteArray answer(const char* release, const char* artifact) {
  return QByteArray("{\"release\":{") + release + "},\"artifact\":{" + artifact + "}}";
}

constexpr const char* kArtifact =
    "\"downloadUrl\":\"https://cdn.example.test/q.zip\",\"fileName\":\"Quotabar.zip\","
    "\"contentType\":\"application/zip\"";

TEST(LatestResponse, FieldVariants) {
  struct Row {
    QByteArray body;
    std::function<void(const UpdateInfo&)> check;
  };
  const Row rows[] = {
      // Every field present; unknown keys ignored.
      {answer("\"id\":\"r1\",\"version\":\"1.3.9\",\"buildNumber\":\"39\",\"notes\":\"**new**\","
              "\"isYanked\":false,\"extra\":[1]",
              "\"downloadUrl\":\"https://cdn.example.test/a/b.zip?sig=1\",\"fileName\":\"Q.zip\","
              "\"contentType\":\"application/zip\",\"sha256\":\"ABCDEF\",\"version\":\"1.4.0\","
              "\"buildNumber\":\"40\",\"sizeBytes\":12345,\"other\":null"),
       [](const UpdateInfo& i) {
         // The artifact's version and build win.
         EXPECT_EQ(QStringList({i.version, i.buildNumber.value_or(""), i.notes.value_or(""), i.releaseId.value_or(""),
                                i.sha256.value_or(""), i.fileName, i.downloadUrl.toString()}),
                   QStringList({"1.4.0", "40", "**new**", "r1", "ABCDEF", "Q.zip",
                                "https://cdn.example.test/a/b.zip?sig=1"}));
         EXPECT_EQ(i.sizeBytes, 12345);
       }},
      // Only the required fields; nulls count as absent.
      {answer("\"version\":\"2.0\",\"id\":null,\"buildNumber\":null,\"notes\":null,\"isYanked\":null",
              "\"downloadUrl\":\"https://cdn.example.test/q.zip\",\"fileName\":\"Quotabar.zip\","
              "\"contentType\":\"application/zip\",\"sha256\":null,\"version\":null,"
              "\"buildNumber\":null,\"sizeBytes\":null"),
       [](const UpdateInfo& i) {
         EXPECT_EQ(i.version, QStringLiteral("2.0"));
         EXPECT_FALSE(i.buildNumber || i.notes || i.releaseId || i.sha256 || i.sizeBytes);
       }},
      // The release's build when the artifact has none.
      {answer("\"version\":\"2.0\",\"buildNumber\":\"7\",\"isYanked\":true", kArtifact),
       [](const UpdateInfo& i) { EXPECT_EQ(i.buildNumber, QStringLiteral("7")); }},
      // Only the last path component of a file name is used; plain http is fine to this machine.
      {answer("\"version\":\"2.0\"",
              "\"downloadUrl\":\"http://127.0.0.1:9/q.zip\",\"fileName\":\"../../etc/evil.zip\",\"contentType\":\"z\""),
       [](const UpdateInfo& i) {
         EXPECT_EQ(QStringList({i.fileName, i.downloadUrl.toString()}), QStringList({"evil.zip", "http://127.0.0.1:9/q.zip"}));
       }},
  };
  for (const Row& row : rows) {
    const Decoded d = decode(row.body);
    ASSERT_TRUE(d.info) << row.body.toStdString() << " -> " << d.message.toStdString();
    row.check(*d.info);
  }
}

TEST(LatestResponse, RefusedAnswers) {
  const QString malformed = QStringLiteral("The update server returned a malformed response.");
  const QString wrongType = QStringLiteral(
      "The data couldn't be read because it isn't in the correct format (expected %1 at \"%2\", found %3).");
  auto withArtifact = [](const char* artifact) { return answer("\"version\":\"2.0\"", artifact); };
  const struct {
    QByteArray body;
    QString message;
  } rows[] = {
      {answer("\"version\":\"2.0\",\"buildNumber\":7", kArtifact),
       wrongType.arg("a string", "release.buildNumber", "a number")},
      {withArtifact("\"downloadUrl\":\"https://x.test/q\",\"fileName\":\"q.zip\",\"contentType\":\"z\","
                    "\"sizeBytes\":1.5"),
       wrongType.arg("an integer", "artifact.sizeBytes", "1.5")},
      {answer("", kArtifact), wrongType.arg("a value", "release.version", "nothing")},
      {QByteArray("{\"release\":{\"version\":\"1\"},\"artifact\":[]}"),
       wrongType.arg("an object", "artifact", "an array")},
      {QByteArray("[]"), QStringLiteral("The data couldn't be read because it isn't in the correct "
                                        "format (expected an object at the top level, found an array).")},
      {QByteArray("<html>"), QString()},  // the decoder's own message, whatever it says
      // Download addresses: https anywhere, http only to this machine, nothing else.
      {withArtifact("\"downloadUrl\":\"http://cdn.example.test/q.zip\",\"fileName\":\"q\",\"contentType\":\"z\""), malformed},
      {withArtifact("\"downloadUrl\":\"ftp://127.0.0.1/q.zip\",\"fileName\":\"q\",\"contentType\":\"z\""), malformed},
      {withArtifact("\"downloadUrl\":\"https:///nohost\",\"fileName\":\"q\",\"contentType\":\"z\""), malformed},
      // File names that name no file.
      {withArtifact("\"downloadUrl\":\"https://x.test/q\",\"fileName\":\"..\",\"contentType\":\"z\""), malformed},
      {withArtifact("\"downloadUrl\":\"https://x.test/q\",\"fileName\":\"a/..\",\"contentType\":\"z\""), malformed},
  };
  for (const auto& r : rows) {
    const Decoded d = decode(r.body);
    EXPECT_FALSE(d.info) << r.body.toStdString();
    if (r.message.isEmpty()) {
      EXPECT_FALSE(d.message.isEmpty());
    } else {
      EXPECT_EQ(d.message, r.message) << r.body.toStdString();
    }
  }
}

TEST(Versions, CompareVersionsTable) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } rows[] = {
      {"1.10", "1.9", 1},               // numeric, not textual
      {"1.2", "1.2.0", 0},              // a missing piece is 0
      {"1.0", "1.0.1", -1},
      {"1.2.3.4", "1.2.3", 1},
      {"2.0.0-rc1", "2.0.0", 0},        // the part after "-" is ignored
      {"1.2.x", "1.2.0", 0},            // unreadable piece reads 0
      {"1..2", "1.2", 0},               // empty pieces dropped
      {"9223372036854775808", "0", 0},  // overflow reads 0
      {"\xef\xbc\x91", "0", 0},         // a full-width digit is no digit
  };
  for (const auto& r : rows) {
    const QString a = QString::fromUtf8(r.a), b = QString::fromUtf8(r.b);
    EXPECT_EQ(compareVersions(a, b), r.expected) << r.a << " vs " << r.b;
    EXPECT_EQ(compareVersions(b, a), -r.expected) << r.b << " vs " << r.a;
  }
}

TEST(Versions, IsNewerTable) {
  const struct {
    const char* version;
    std::optional<const char*> build;
    const char* currentVersion;
    const char* currentBuild;
    bool newer;
  } rows[] = {
      {"1.10.0", std::nullopt, "1.9.3", "100", true},
      {"1.2", "7", "1.2.0", "7", false},
      {"1.2", "8", "1.2.0", "7", true},
      {"1.2", std::nullopt, "1.2", "0", false},  // no build against build 0
      {"1.2", "x9", "1.2", "-1", true},          // unreadable build reads 0
      {"1.1.9", "999", "1.2", "1", false},       // the version decides first
  };
  for (const auto& r : rows) {
    const std::optional<QString> build = r.build ? std::optional(QString::fromLatin1(*r.build)) : std::nullopt;
    EXPECT_EQ(isNewer(QString::fromLatin1(r.version), build, QString::fromLatin1(r.currentVersion),
                      QString::fromLatin1(r.currentBuild)),
              r.newer)
        << r.version << " vs " << r.currentVersion << " (" << r.currentBuild << ")";
  }
}

}  // namespace
}  // namespace qb

// Version comparison and the newer-release decision.
#include <gtest/gtest.h>

#include "updater/version.h"

namespace qb {
namespace {

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

// Version comparison, the newer-release decision and the displayed version.
#include <gtest/gtest.h>

#include "updater/version.h"

namespace qb {
namespace {

struct Comparison {
  const char* a;
  const char* b;
  int expected;
};

TEST(Versions, CompareVersionsTable) {
  const Comparison rows[] = {
      {"1.10", "1.9", 1},                 // numeric, not textual
      {"1.2", "1.2.0", 0},                // a missing piece is 0
      {"1.0", "1.0.1", -1},
      {"2.0-beta", "2.0", 0},             // the part after "-" is ignored
      {"2.0.0-rc1", "2.0.0", 0},
      {"1.2.x", "1.2.0", 0},              // unreadable piece reads 0
      {"2a", "0", 0},
      {"1..2", "1.2", 0},                 // empty pieces dropped
      {"--", "0", 0},                     // only dashes: empty part
      {"1.-5", "1.0", 0},                 // "-5" has an empty part before the dash
      {"+3", "3", 0},                     // a leading sign is allowed
      {"1. 2", "1.0", 0},                 // no spaces
      {"9223372036854775807", "9223372036854775806", 1},
      {"9223372036854775808", "0", 0},    // overflow reads 0
      {"", "0.0.0", 0},
      {"1.2.3.4", "1.2.3", 1},
      {"\xef\xbc\x91", "0", 0},           // a full-width digit is no digit
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
      {"1.2", "", "1.2", "0", false},
      {"1.2", "x9", "1.2", "-1", true},          // unreadable build reads 0
      {"1.1.9", "999", "1.2", "1", false},       // the version decides first
      {"0.0.1", std::nullopt, "0.0.0", "0", true},  // a bundle without version is 0.0.0
      {"2.0.0-rc1", "3", "2.0.0", "2", true},
      {"2.0.0-rc1", "2", "2.0.0", "2", false},
      {"2a", "5", "0", "4", true},               // 2a reads 0, so builds decide
  };
  for (const auto& r : rows) {
    const std::optional<QString> build =
        r.build ? std::optional(QString::fromLatin1(*r.build)) : std::nullopt;
    EXPECT_EQ(isNewer(QString::fromLatin1(r.version), build, QString::fromLatin1(r.currentVersion),
                      QString::fromLatin1(r.currentBuild)),
              r.newer)
        << r.version << " (" << r.build.value_or("none") << ") vs " << r.currentVersion << " ("
        << r.currentBuild << ")";
  }
}

TEST(Versions, DisplayVersion) {
  EXPECT_EQ(displayVersion(QStringLiteral("1.2.3"), QString()), QStringLiteral("v1.2.3"));
  EXPECT_EQ(displayVersion(QStringLiteral("1.2.3"), QStringLiteral("45")), QStringLiteral("v1.2.3 (45)"));
}

}  // namespace
}  // namespace qb

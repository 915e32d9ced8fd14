#include <gtest/gtest.h>

#include "providers/service_origin.h"

namespace qb {
namespace {

TEST(Origins, OnlyHttpsOrLoopbackHttpOriginsAreAccepted) {
  struct Case {
    const char* text;
    const char* origin;  // nullptr: refused
  } cases[] = {
      {"http://127.0.0.1:8123", "http://127.0.0.1:8123"},
      {"http://localhost:9/", "http://localhost:9"},
      {"http://[::1]:80", "http://[::1]:80"},
      {"https://cursor.example", "https://cursor.example"},
      {"http://cursor.example", nullptr},
      {"http://10.0.0.1:80", nullptr},
      {"ftp://127.0.0.1", nullptr},
      {"https://host/path", nullptr},
      {"https://user:pw@host", nullptr},
      {"127.0.0.1:8000", nullptr},
      {"not a url", nullptr},
  };
  for (const auto& c : cases) {
    QString why;
    const auto origin = parseOrigin(QString::fromLatin1(c.text), &why);
    if (c.origin) {
      ASSERT_TRUE(origin) << c.text << ": " << why.toStdString();
      EXPECT_EQ(origin->toString(), QString::fromLatin1(c.origin));
    } else {
      EXPECT_FALSE(origin) << c.text;
      EXPECT_FALSE(why.isEmpty());
    }
  }
}

TEST(Origins, ARefusedOverrideNamesItsVariableAndKeepsTheDefault) {
  qputenv("QUOTABAR_ORIGIN_WINDSURF", "http://windsurf.example");
  const QStringList errors = applyOriginOverrides();
  qunsetenv("QUOTABAR_ORIGIN_WINDSURF");
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.first().startsWith(QStringLiteral("QUOTABAR_ORIGIN_WINDSURF=")));
  EXPECT_TRUE(errors.first().contains(QStringLiteral("loopback")));
  EXPECT_EQ(webOrigin(Provider::windsurf), defaultOrigin(Provider::windsurf));
}

}  // namespace
}  // namespace qb

// The process runner every tool of an update goes through.
#include <gtest/gtest.h>

#include "updater/staging.h"

namespace qb {
namespace {

const QString kBash = QStringLiteral("/bin/bash");

TEST(RunTool, DrainsBothPipesWhileTheToolRuns) {
  // Far more than a pipe holds on both streams; `timeout` turns a stall into a failure.
  const auto result = runTool(QStringLiteral("/usr/bin/timeout"),
                              {QStringLiteral("20"), kBash, QStringLiteral("-c"),
                               QStringLiteral("head -c 2000000 /dev/zero | tr '\\0' e >&2; "
                                              "head -c 3000000 /dev/zero | tr '\\0' o")});
  ASSERT_TRUE(result) << result.error().description().left(200).toStdString();
  EXPECT_EQ(result.value().size(), 3'000'000);
  EXPECT_EQ(result.value().count(u'o'), 3'000'000);
}

TEST(RunTool, OutcomesTable) {
  const struct {
    const char* name;
    QStringList args;
    bool ok;
    QString text;  // the output, or the failure's description
  } rows[] = {
      {"arguments reach the tool unchanged",
       {QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$@\""), QStringLiteral("x"),
        QStringLiteral("a b"), QStringLiteral("'q'"), QStringLiteral("$HOME"), QString()},
       true, QStringLiteral("a b|'q'|$HOME||")},
      {"output that is not UTF-8", {QStringLiteral("-c"), QStringLiteral("printf '\\377\\376'")}, true, QString()},
      {"failure with its trimmed error text",
       {QStringLiteral("-c"), QStringLiteral("echo ignored; printf '\\n  first line\\nsecond  \\n\\n' >&2; exit 3")},
       false, QStringLiteral("Install failed: /bin/bash exited 3: first line\nsecond")},
      {"failure without error text", {QStringLiteral("-c"), QStringLiteral("exit 1")}, false,
       QStringLiteral("Install failed: /bin/bash exited 1: ")},
      {"killed", {QStringLiteral("-c"), QStringLiteral("kill -9 $$")}, false,
       QStringLiteral("Install failed: /bin/bash exited 137: ")},
  };
  for (const auto& r : rows) {
    const auto result = runTool(kBash, r.args);
    EXPECT_EQ(result.ok(), r.ok) << r.name;
    const QString text = result ? result.value() : result.error().description();
    EXPECT_EQ(text, r.text) << r.name;
  }
}

TEST(RunTool, ALaunchFailureIsThePlatformsError) {
  const auto result = runTool(QStringLiteral("/nonexistent/tool"), {});
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().updaterError(), nullptr);
  EXPECT_FALSE(result.error().description().isEmpty());
  EXPECT_FALSE(result.error().description().startsWith(QLatin1String("Install failed")));
}

}  // namespace
}  // namespace qb

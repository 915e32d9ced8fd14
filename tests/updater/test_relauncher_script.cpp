// The relauncher script as text: quoting, backup names, and valid bash for both tables.
#include <gtest/gtest.h>

#include <QProcess>

#include "platform/tool_table.h"
#include "update_fixtures.h"
#include "updater/relauncher.h"

namespace qb {
namespace {

TEST(RelauncherScript, QuotingBackupPathsAndSyntax) {
  for (const char* path : {"/Users/a/User's Apps/Quotabar.app", "''", "/x/$(rm -rf ~)/`id`/\"q\"", ""}) {
    // The shell reads the word back as the very path.
    EXPECT_EQ(test::mustRun(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), QStringLiteral("printf %s ") +
                                                                                 shellQuote(QString::fromUtf8(path))}),
              QString::fromUtf8(path));
  }
  EXPECT_EQ(backupPathFor(QStringLiteral("/opt/My Tools/Quota.bar.app/")),
            QStringLiteral("/opt/My Tools/Quota.bar.old.app"));
  QTemporaryDir dir;
  for (const auto* tools : {&platform::macosTools(), &platform::linuxTools()}) {
    test::writeFile(dir.path() + QStringLiteral("/r.sh"),
                    relauncherScript(*tools, {"/l", "/s", "/d.app", "/d.old.app"}, 7).toUtf8());
    EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), {QStringLiteral("-n"), dir.path() + QStringLiteral("/r.sh")}),
              0);
  }
}

}  // namespace
}  // namespace qb

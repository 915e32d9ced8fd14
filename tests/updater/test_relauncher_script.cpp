// The relauncher script as text: quoting, backup names, and valid bash for both tables.
#include <gtest/gtest.h>

#include <QProcess>

#include "platform/tool_table.h"
#include "update_fixtures.h"
#include "updater/relauncher.h"

namespace qb {
namespace {

TEST(RelauncherScript, QuotingBackupPathsAndSyntax) {
  const char* paths[] = {"/Users/a/User's Apps/Quotabar.app", "''", "/x/$(rm -rf ~)/`id`/\"q\"", ""};
  for (const char* path : paths) {
    // The shell reads the word back as the very path.
    const QString echoed = test::mustRun(
        QStringLiteral("/bin/bash"),
        {QStringLiteral("-c"), QStringLiteral("printf %s ") + shellQuote(QString::fromUtf8(path))});
    EXPECT_EQ(echoed, QString::fromUtf8(path));
  }
  EXPECT_EQ(shellQuote(QStringLiteral("User's")), QStringLiteral("'User'\\''s'"));
  EXPECT_EQ(backupPathFor(QStringLiteral("/opt/My Tools/Quota.bar.app/")),
            QStringLiteral("/opt/My Tools/Quota.bar.old.app"));

  QTemporaryDir dir;
  for (const auto* tools : {&platform::macosTools(), &platform::linuxTools()}) {
    const QString script = relauncherScript(*tools, {"/l", "/s", "/d.app", "/d.old.app"}, 7);
    EXPECT_FALSE(script.endsWith(u'\n'));
    test::writeFile(dir.path() + QStringLiteral("/r.sh"), script.toUtf8());
    EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), {QStringLiteral("-n"), dir.path() + QStringLiteral("/r.sh")}),
              0);
  }
}

}  // namespace
}  // namespace qb

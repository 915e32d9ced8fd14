// The relauncher script and the tool command lines as pure functions of a tool table.
#include <gtest/gtest.h>

#include <QProcess>

#include "platform/tool_table.h"
#include "update_fixtures.h"
#include "updater/relauncher.h"

namespace qb {
namespace {

using platform::linuxTools;
using platform::macosTools;

const RelaunchPaths kPaths{QStringLiteral("/tmp/QuotabarRelauncher-X/relaunch.log"),
                           QStringLiteral("/tmp/QuotabarUpdate-Y/unpack/Quotabar.app"),
                           QStringLiteral("/Applications/Quotabar.app"),
                           QStringLiteral("/Applications/Quotabar.old.app")};

TEST(RelauncherScript, MacosTableGivesTheDocumentedScript) {
  // The documented script, with the application reopened in both failure branches
  // (lines 21 and 28); every other line as documented.
  const QStringList expected{
      "#!/bin/bash",
      "set -u",
      "LOG='/tmp/QuotabarRelauncher-X/relaunch.log'",
      "SRC='/tmp/QuotabarUpdate-Y/unpack/Quotabar.app'",
      "DST='/Applications/Quotabar.app'",
      "BAK='/Applications/Quotabar.old.app'",
      "PID=4242",
      "",
      "exec >>\"$LOG\" 2>&1",
      "echo \"[$(date)] relauncher start pid=$PID src=$SRC dst=$DST\"",
      "",
      "# Wait for the running app to exit (max 30s).",
      "for _ in $(seq 1 150); do",
      "    if ! kill -0 \"$PID\" 2>/dev/null; then break; fi",
      "    sleep 0.2",
      "done",
      "sleep 0.4",
      "",
      "rm -rf \"$BAK\"",
      "if [ -d \"$DST\" ]; then",
      "    mv \"$DST\" \"$BAK\" || { echo \"mv to backup failed\"; /usr/bin/open -n \"$DST\"; exit 1; }",
      "fi",
      "",
      "/usr/bin/ditto \"$SRC\" \"$DST\" || {",
      "    echo \"ditto failed, restoring backup\"",
      "    rm -rf \"$DST\"",
      "    mv \"$BAK\" \"$DST\" 2>/dev/null",
      "    /usr/bin/open -n \"$DST\"; exit 1",
      "}",
      "",
      "/usr/bin/xattr -rd com.apple.quarantine \"$DST\" 2>/dev/null",
      "",
      "rm -rf \"$BAK\"",
      "echo \"[$(date)] swapped, opening\"",
      "/usr/bin/open -n \"$DST\"",
      "echo \"[$(date)] done\"",
  };
  const QString script = relauncherScript(macosTools(), kPaths, 4242);
  EXPECT_FALSE(script.endsWith(u'\n'));
  const QStringList lines = script.split(u'\n');
  ASSERT_EQ(lines.size(), 36);
  for (int i = 0; i < 36; ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

TEST(RelauncherScript, LinuxTableChangesOnlyTheToolLines) {
  const QStringList mac = relauncherScript(macosTools(), kPaths, 7).split(u'\n');
  const QStringList linux = relauncherScript(linuxTools(), kPaths, 7).split(u'\n');
  ASSERT_EQ(linux.size(), 36);
  const QString open = QStringLiteral(
      "/usr/bin/setsid -f \"$DST/Contents/bin/quotabar\" </dev/null >/dev/null 2>&1");
  for (int i = 0; i < 36; ++i) {
    switch (i + 1) {
      case 21:
        EXPECT_EQ(linux[i], QStringLiteral("    mv \"$DST\" \"$BAK\" || { echo \"mv to backup failed\"; ") +
                                open + QStringLiteral("; exit 1; }"));
        break;
      case 24: EXPECT_EQ(linux[i], QStringLiteral("/bin/cp -a \"$SRC\" \"$DST\" || {")); break;
      case 28: EXPECT_EQ(linux[i], QStringLiteral("    ") + open + QStringLiteral("; exit 1")); break;
      case 31: EXPECT_TRUE(linux[i].startsWith(u'#')) << linux[i].toStdString(); break;
      case 35: EXPECT_EQ(linux[i], open); break;
      default: EXPECT_EQ(linux[i], mac[i]) << "line " << i + 1;
    }
  }
  // bash itself accepts it.
  QTemporaryDir dir;
  test::writeFile(dir.path() + QStringLiteral("/r.sh"), linux.join(u'\n').toUtf8());
  EXPECT_EQ(QProcess::execute(QStringLiteral("/bin/bash"), {QStringLiteral("-n"), dir.path() + QStringLiteral("/r.sh")}), 0);
}

TEST(RelauncherScript, QuotingAndBackupPaths) {
  const struct {
    const char* path;
    const char* quoted;
  } quotes[] = {
      {"/Applications/Quotabar.app", "'/Applications/Quotabar.app'"},
      {"/Users/a/User's Apps/Quotabar.app", "'/Users/a/User'\\''s Apps/Quotabar.app'"},
      {"''", "''\\'''\\'''"},
      {"/x/$(rm -rf ~)/`id`/\"q\"", "'/x/$(rm -rf ~)/`id`/\"q\"'"},
      {"", "''"},
  };
  for (const auto& q : quotes) {
    EXPECT_EQ(shellQuote(QString::fromUtf8(q.path)), QString::fromUtf8(q.quoted));
    // The shell reads the word back as the very path.
    const QString echoed = test::mustRun(
        QStringLiteral("/bin/bash"),
        {QStringLiteral("-c"), QStringLiteral("printf %s ") + shellQuote(QString::fromUtf8(q.path))});
    EXPECT_EQ(echoed, QString::fromUtf8(q.path));
  }
  const struct {
    const char* bundle;
    const char* backup;
  } backups[] = {
      {"/Applications/Quotabar.app", "/Applications/Quotabar.old.app"},
      {"/opt/My Tools/Quota.bar.app", "/opt/My Tools/Quota.bar.old.app"},
      {"/opt/Quotabar.app/", "/opt/Quotabar.old.app"},
  };
  for (const auto& b : backups)
    EXPECT_EQ(backupPathFor(QString::fromUtf8(b.bundle)), QString::fromUtf8(b.backup));
}

TEST(ToolTable, CommandLinesOfBothTables) {
  using platform::CommandLine;
  const QString a = QStringLiteral("/w/Q.zip"), d = QStringLiteral("/w/unpack"),
                m = QStringLiteral("/w/mount-1"), i = QStringLiteral("/w/Q.dmg"),
                b = QStringLiteral("/w/Q.app");
  auto line = [](const char* program, QStringList args) {
    return CommandLine{QString::fromLatin1(program), std::move(args)};
  };
  EXPECT_EQ(platform::unzipCommand(macosTools(), a, d), line("/usr/bin/ditto", {"-x", "-k", a, d}));
  EXPECT_EQ(platform::copyCommand(macosTools(), b, d), line("/usr/bin/ditto", {b, d}));
  EXPECT_EQ(platform::attachCommand(macosTools(), i, m),
            line("/usr/bin/hdiutil", {"attach", "-nobrowse", "-noverify", "-noautoopen", "-readonly",
                                      "-mountpoint", m, i}));
  EXPECT_EQ(platform::detachCommand(macosTools(), m), line("/usr/bin/hdiutil", {"detach", m, "-force"}));
  EXPECT_EQ(platform::quarantineCommand(macosTools(), b),
            line("/usr/bin/xattr", {"-rd", "com.apple.quarantine", b}));
  EXPECT_EQ(platform::codesignCommand(macosTools(), b),
            line("/usr/bin/codesign", {"--verify", "--deep", "--strict", b}));
  EXPECT_EQ(macosTools().platform, QStringLiteral("macos"));

  EXPECT_EQ(platform::unzipCommand(linuxTools(), a, d), line("/usr/bin/bsdtar", {"-x", "-f", a, "-C", d}));
  EXPECT_EQ(platform::copyCommand(linuxTools(), b, d), line("/bin/cp", {"-a", b, d}));
  EXPECT_EQ(platform::attachCommand(linuxTools(), i, m), line("/usr/bin/7z", {"x", "-o" + m, i}));
  EXPECT_TRUE(linuxTools().detach.program.isEmpty());
  EXPECT_TRUE(linuxTools().quarantine.program.isEmpty());
  EXPECT_EQ(platform::gpgvCommand(linuxTools(), "/k.gpg", "/s.sig", "/d"),
            line("/usr/bin/gpgv", {"--keyring", "/k.gpg", "/s.sig", "/d"}));
  EXPECT_EQ(linuxTools().platform, QStringLiteral("linux"));
  EXPECT_EQ(&platform::hostTools(), &linuxTools());

  // A path that itself reads like a placeholder is not expanded again.
  EXPECT_EQ(platform::attachCommand(linuxTools(), QStringLiteral("/w/{mount}.dmg"), m),
            line("/usr/bin/7z", {"x", "-o" + m, "/w/{mount}.dmg"}));
}

}  // namespace
}  // namespace qb

// The caller's side of the sign-in helper: its line protocol, and the helper's outcomes with
// small shell scripts standing in for it.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <unistd.h>

#include "monitoring/login_helper.h"
#include "monitoring/signin_protocol.h"
#include "support/test_support.h"

namespace qb {
namespace {

namespace sp = signin_protocol;

TEST(LoginHelper, ReportsEachOutcomeOnceAndOneLineOnFailure) {
  struct Case {
    const char* what;
    const char* script;  // nullptr: no helper installed
    int presents;
    const char* succeeded;  // who, or nullptr
    int closed;
    const char* failedContains;  // or nullptr
  } cases[] = {
      {"success is reported once; the helper's log stays out of ours",
       "read l; echo shown; echo 'Loaded /cb?code=leaked' >&2; echo 'signed-in ada'; echo 'signed-in eve'",
       1, "ada", 0, nullptr},
      {"a closed window keeps the helper; present shows it again",
       "read l; echo closed; read l; echo shown; printf 'signed-in b\\0\\033ob\\n'", 2, "b  ob", 1, nullptr},
      {"a crash is one line", "read l; echo shown; kill -9 $$", 1, nullptr, 0, "crashed"},
      {"the helper's own reason is the line", "read l; echo 'error No display: x'; exit 1", 1, nullptr,
       0, "No display: x"},
      {"an overlong line stops the helper", "read l; head -c 5000 /dev/zero | tr '\\0' a; sleep 5", 1,
       nullptr, 0, "overlong"},
      {"a missing helper says what to install", nullptr, 1, nullptr, 0, "apt-get install quotabar-signin"},
      {"missing libraries (the loader's 127) say what to install",
       "echo 'error while loading shared libraries' >&2; exit 127", 1, nullptr, 0, "libraries are missing"},
      {"127 after the helper spoke is its own failure", "read l; echo shown; exit 127", 1, nullptr, 0,
       "exit code 127"},
  };
  QTemporaryFile ourLog;
  ASSERT_TRUE(ourLog.open());
  const int savedErr = ::dup(2);
  ::dup2(ourLog.handle(), 2);
  for (const Case& c : cases) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quotabar-signin"));
    if (c.script) {
      test::writeFile(path, QByteArray("#!/bin/sh\n") + c.script + "\n");
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("QUOTABAR_SIGNIN_HELPER", path.toUtf8());
    QStringList who, failures;
    int closed = 0;
    bool unavailable = false;
    {
      LoginHelper helper(Provider::cursor);
      QObject::connect(&helper, &LoginHelper::succeeded, [&](const QString& w) { who << w; });
      QObject::connect(&helper, &LoginHelper::windowClosed, [&] {
        ++closed;
        if (c.presents > 1) helper.present();
      });
      QObject::connect(&helper, &LoginHelper::failed, [&](const QString& l) {
        failures << l;
        unavailable = helper.unavailable();
      });
      helper.present();
      test::waitUntil([&] { return !who.isEmpty() || !failures.isEmpty(); }, 5000);
      test::spin(200);
    }
    qunsetenv("QUOTABAR_SIGNIN_HELPER");
    EXPECT_EQ(who, c.succeeded ? QStringList{QString::fromLatin1(c.succeeded)} : QStringList()) << c.what;
    EXPECT_EQ(closed, c.closed) << c.what;
    if (c.failedContains) {
      ASSERT_EQ(failures.size(), 1) << c.what;
      // The paste path is offered exactly when the line says to install the helper.
      EXPECT_EQ(unavailable, failures.first().contains(QStringLiteral("apt-get install quotabar-signin"))) << c.what;
      EXPECT_TRUE(failures.first().contains(QString::fromLatin1(c.failedContains))) << c.what << ": "
                                                                                   << failures.first().toStdString();
    } else {
      EXPECT_TRUE(failures.isEmpty()) << c.what;
    }
  }
  ::dup2(savedErr, 2);
  EXPECT_FALSE(ourLog.readAll().contains("leaked"));
}

TEST(SigninProtocol, OutsideTextNeverForgesOrOverrunsALine) {
  const QString hostile[] = {
      QStringLiteral("ada@example.com\nsigned-in mallory"),
      QStringLiteral("a\rb\u2028c\u0000d"),
      QString(5000, QChar(0x1F600)),  // emoji, surrogate pairs
      QString(5000, u'x'),
  };
  for (const QString& text : hostile) {
    const QByteArray line = sp::format(sp::signedIn, text);
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_LE(line.size(), sp::maxLine + 1);
    sp::LineBuffer buffer;
    buffer.append(line);
    const auto got = buffer.next();
    ASSERT_TRUE(got);
    EXPECT_FALSE(buffer.overflowed());
    const sp::Message m = sp::parse(*got);
    EXPECT_EQ(m.word, QByteArray(sp::signedIn));
    EXPECT_FALSE(m.text.contains(QChar(0xFFFD))) << "a cut must not split a character";
  }
}

TEST(SigninProtocol, LinesSurviveChunkingAndAnOverlongLineIsRefused) {
  sp::LineBuffer buffer;
  for (char c : QByteArray("shown\nloaded\nsigned-in ada")) buffer.append(QByteArray(1, c));
  EXPECT_EQ(buffer.next(), QByteArray("shown"));
  EXPECT_EQ(buffer.next(), QByteArray("loaded"));
  EXPECT_FALSE(buffer.next()) << "no newline yet";
  buffer.append("\n");
  EXPECT_EQ(sp::parse(*buffer.next()).text, QStringLiteral("ada"));

  // (A flood with no line break at all: LoginHelper's "overlong" row.)
  sp::LineBuffer longLine;
  longLine.append(QByteArray(sp::maxLine + 5, 'a') + "\nclosed\n");
  EXPECT_FALSE(longLine.next());
  EXPECT_TRUE(longLine.overflowed());
}

}  // namespace
}  // namespace qb

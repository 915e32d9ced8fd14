#include <gtest/gtest.h>

#include "monitoring/signin_protocol.h"

namespace qb::signin_protocol {
namespace {

TEST(SigninProtocol, OutsideTextNeverForgesOrOverrunsALine) {
  const QString hostile[] = {
      QStringLiteral("ada@example.com\nsigned-in mallory"),
      QStringLiteral("a\rb\u2028c\u0000d"),
      QString(5000, QChar(0x1F600)),  // emoji, surrogate pairs
      QString(5000, u'x'),
  };
  for (const QString& text : hostile) {
    const QByteArray line = format(signedIn, text);
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_LE(line.size(), maxLine + 1);
    LineBuffer buffer;
    buffer.append(line);
    const auto got = buffer.next();
    ASSERT_TRUE(got);
    EXPECT_FALSE(buffer.overflowed());
    const Message m = parse(*got);
    EXPECT_EQ(m.word, QByteArray(signedIn));
    EXPECT_FALSE(m.text.contains(QChar(0xFFFD))) << "a cut must not split a character";
  }
}

TEST(SigninProtocol, LinesSurviveChunkingAndAnOverlongLineIsRefused) {
  LineBuffer buffer;
  for (char c : QByteArray("shown\nloaded\nsigned-in ada")) buffer.append(QByteArray(1, c));
  EXPECT_EQ(buffer.next(), QByteArray("shown"));
  EXPECT_EQ(buffer.next(), QByteArray("loaded"));
  EXPECT_FALSE(buffer.next()) << "no newline yet";
  buffer.append("\n");
  EXPECT_EQ(parse(*buffer.next()).text, QStringLiteral("ada"));

  // (A flood with no line break at all: LoginHelper's "overlong" row.)
  LineBuffer longLine;
  longLine.append(QByteArray(maxLine + 5, 'a') + "\nclosed\n");
  EXPECT_FALSE(longLine.next());
  EXPECT_TRUE(longLine.overflowed());
}

}  // namespace
}  // namespace qb::signin_protocol

#include "common/text.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace qb {

std::optional<QString> strictUtf8(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

QString leadingGraphemes(const QString& text, int count, int maxUnits) {
  // Only the part that can be kept is scanned; a cut inside a pair keeps its first half out.
  qsizetype limit = std::min<qsizetype>(text.size(), maxUnits);
  if (limit < text.size() && limit > 0 && text.at(limit - 1).isHighSurrogate()) --limit;
  const QString head = text.left(limit);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, head);
  for (int seen = 0; seen < count; ++seen) {
    if (finder.toNextBoundary() < 0) return head;
  }
  return head.left(finder.position());
}

bool hasControlCharacter(const QString& text) {
  return std::any_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

namespace {
bool terminalControl(char16_t c) { return (c < 0x20 && c != u'\n' && c != u'\t') || (c >= 0x7f && c <= 0x9f); }
}  // namespace

QString terminalText(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (terminalControl(c.unicode())) c = QChar::ReplacementCharacter;
  return out;
}

QByteArray terminalJson(const QByteArray& json) {
  QByteArray out;
  out.reserve(json.size());
  for (qsizetype i = 0; i < json.size(); ++i) {
    const auto b = static_cast<unsigned char>(json[i]);
    // U+0080..U+009F is 0xC2 0x80..0x9F in UTF-8.
    const bool c1 = b == 0xc2 && i + 1 < json.size() && (static_cast<unsigned char>(json[i + 1]) & 0xe0) == 0x80;
    if (b == 0x7f || c1) {
      out += QByteArray("\\u00") + QByteArray::number(c1 ? static_cast<unsigned char>(json[++i]) : b, 16);
    } else {
      out += json[i];
    }
  }
  return out;
}

QString markupEscaped(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (c == u'&') out += QLatin1String("&amp;");
    else if (c == u'<') out += QLatin1String("&lt;");
    else if (c == u'>') out += QLatin1String("&gt;");
    else out += c;
  }
  return out;
}

QString capitalized(const QString& text) {
  QString out = text.toLower();
  bool wordStart = true;
  for (QChar& c : out) {
    if (c.isSpace()) {
      wordStart = true;
    } else if (wordStart) {
      c = c.toUpper();
      wordStart = false;
    }
  }
  return out;
}

QString addressForLog(const QUrl& url) {
  return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

}  // namespace qb

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

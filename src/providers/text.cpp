#include "providers/text.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>

namespace qb {

std::optional<QString> strictUtf8(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

QString leadingGraphemes(const QString& text, int count) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  for (int seen = 0; seen < count; ++seen) {
    if (finder.toNextBoundary() < 0) return text;
  }
  return text.left(finder.position());
}

}  // namespace qb

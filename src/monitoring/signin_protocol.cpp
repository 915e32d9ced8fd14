#include "monitoring/signin_protocol.h"

namespace qb::signin_protocol {

namespace {

QString printable(QString text) {
  for (QChar& c : text) {
    if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      c = u' ';
  }
  return text.trimmed();
}

}  // namespace

void LineBuffer::append(const QByteArray& bytes) {
  pending_ += bytes;
  if (pending_.indexOf('\n') < 0 && pending_.size() > maxLine) {
    overflowed_ = true;
    pending_.clear();
  }
}

std::optional<QByteArray> LineBuffer::next() {
  const qsizetype end = pending_.indexOf('\n');
  if (end < 0) return std::nullopt;
  QByteArray line = pending_.left(end);
  pending_.remove(0, end + 1);
  if (line.size() > maxLine) {
    overflowed_ = true;
    return std::nullopt;
  }
  return line;
}

Message parse(const QByteArray& line) {
  const qsizetype space = line.indexOf(' ');
  if (space < 0) return {line.trimmed(), QString()};
  return {line.left(space), printable(QString::fromUtf8(line.mid(space + 1)))};
}

QByteArray format(const char* word, const QString& text) {
  QByteArray line(word);
  const QString clean = printable(text);
  if (!clean.isEmpty()) {
    QString cut = clean.left(maxLine / 4 - 16);  // at most 4 UTF-8 bytes a character
    if (cut.size() < clean.size() && cut.back().isHighSurrogate()) cut.chop(1);
    line += ' ' + cut.toUtf8();
  }
  return line + '\n';
}

}  // namespace qb::signin_protocol

#include "updater/version.h"

#include <QStringList>
#include <limits>

namespace qb {

qint64 readSignedDecimal(QStringView text) {
  bool negative = false;
  if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text = text.mid(1);
  }
  if (text.isEmpty()) return 0;
  // Accumulate the magnitude; the negative side reaches one further than the positive.
  const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                 : quint64(std::numeric_limits<qint64>::max());
  quint64 magnitude = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return 0;
    const quint64 digit = c.unicode() - u'0';
    if (magnitude > (limit - digit) / 10) return 0;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return qint64(magnitude);
  return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
}

namespace {

QList<qint64> versionNumbers(const QString& version) {
  QList<qint64> numbers;
  for (const QString& piece : version.split(u'.', Qt::SkipEmptyParts)) {
    const qsizetype dash = piece.indexOf(u'-');
    numbers << readSignedDecimal(dash < 0 ? QStringView(piece) : QStringView(piece).left(dash));
  }
  return numbers;
}

}  // namespace

int compareVersions(const QString& a, const QString& b) {
  const QList<qint64> x = versionNumbers(a), y = versionNumbers(b);
  for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
    const qint64 l = i < x.size() ? x[i] : 0;
    const qint64 r = i < y.size() ? y[i] : 0;
    if (l != r) return l > r ? 1 : -1;
  }
  return 0;
}

bool isNewer(const QString& version, const std::optional<QString>& build,
             const QString& currentVersion, const QString& currentBuild) {
  if (const int c = compareVersions(version, currentVersion); c != 0) return c == 1;
  return readSignedDecimal(build.value_or(QString())) > readSignedDecimal(currentBuild);
}

QString displayVersion(const QString& version, const std::optional<QString>& build) {
  QString text = u'v' + version;
  if (build && !build->isEmpty()) text += QStringLiteral(" (") + *build + u')';
  return text;
}

}  // namespace qb

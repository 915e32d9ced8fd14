#include "common/json_reader.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

namespace qb {

namespace {

QString typeName(const QJsonValue& v) {
  switch (v.type()) {
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    default: return QStringLiteral("null");
  }
}

}  // namespace

JsonReader JsonReader::parse(const QByteArray& body) {
  if (body.trimmed().isEmpty())
    throw DecodeError(QStringLiteral("The data couldn't be read because it is empty."));
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
  if (error.error != QJsonParseError::NoError) {
    throw DecodeError(QStringLiteral("The data couldn't be read because it isn't valid JSON (%1 at "
                                     "offset %2).")
                          .arg(error.errorString())
                          .arg(error.offset));
  }
  if (!doc.isObject()) {
    throw DecodeError(QStringLiteral(
        "The data couldn't be read because it isn't in the correct format (expected an object at "
        "the top level, found %1).")
                          .arg(doc.isArray() ? QStringLiteral("an array") : QStringLiteral("a value")));
  }
  return JsonReader(doc.object(), QString());
}

JsonReader::JsonReader(QJsonObject object, QString path)
    : object_(std::move(object)), path_(std::move(path)) {}

QString JsonReader::pathTo(const char* key) const {
  const QString k = QString::fromUtf8(key);
  return path_.isEmpty() ? k : path_ + u'.' + k;
}

void JsonReader::fail(const char* key, const char* expected, const QString& found) const {
  throw DecodeError(QStringLiteral("The data couldn't be read because it isn't in the correct "
                                   "format (expected %1 at \"%2\", found %3).")
                        .arg(QString::fromLatin1(expected), pathTo(key), found));
}

std::optional<QJsonValue> JsonReader::present(const char* key) const {
  const auto it = object_.constFind(QLatin1String(key));
  if (it == object_.constEnd() || it->isNull() || it->isUndefined()) return std::nullopt;
  return *it;
}

std::optional<QString> JsonReader::text(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isString()) fail(key, "a string", typeName(*v));
  return v->toString();
}

std::optional<double> JsonReader::number(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isDouble()) fail(key, "a number", typeName(*v));
  return v->toDouble();
}

std::optional<qint64> JsonReader::integer(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isDouble()) fail(key, "an integer", typeName(*v));
  const double d = v->toDouble();
  // 2^63 is the first double beyond qint64.
  if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 ||
      d >= 9223372036854775808.0)
    fail(key, "an integer", QStringLiteral("%1").arg(d));
  return static_cast<qint64>(d);
}

std::optional<bool> JsonReader::boolean(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isBool()) fail(key, "a boolean", typeName(*v));
  return v->toBool();
}

std::optional<JsonReader> JsonReader::object(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isObject()) fail(key, "an object", typeName(*v));
  return JsonReader(v->toObject(), pathTo(key));
}

std::optional<QList<JsonReader>> JsonReader::objects(const char* key) const {
  const auto v = present(key);
  if (!v) return std::nullopt;
  if (!v->isArray()) fail(key, "an array", typeName(*v));
  QList<JsonReader> list;
  const QJsonArray array = v->toArray();
  const QString base = pathTo(key);
  for (qsizetype i = 0; i < array.size(); ++i) {
    const QJsonValue item = array.at(i);
    const QString itemPath = QStringLiteral("%1[%2]").arg(base).arg(i);
    if (!item.isObject()) {
      throw DecodeError(QStringLiteral("The data couldn't be read because it isn't in the correct "
                                       "format (expected an object at \"%1\", found %2).")
                            .arg(itemPath, typeName(item)));
    }
    list.append(JsonReader(item.toObject(), itemPath));
  }
  return list;
}

std::optional<QDateTime> parseFractionalISO8601(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral(
      R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})\.(\d+)(Z|[+-]\d{2}:\d{2})$)"));
  const auto m = pattern.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  const QString fraction = (m.captured(7) + QStringLiteral("00")).left(3);
  const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                   fraction.toInt());
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  int offsetSeconds = 0;
  const QString zone = m.captured(8);
  if (zone != QLatin1String("Z")) {
    const int hours = zone.mid(1, 2).toInt();
    const int minutes = zone.mid(4, 2).toInt();
    if (hours > 23 || minutes > 59) return std::nullopt;
    offsetSeconds = (hours * 3600 + minutes * 60) * (zone.startsWith(u'-') ? -1 : 1);
  }
  return QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
}

}  // namespace qb

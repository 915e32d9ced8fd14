#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

namespace qb {

// Thrown by JsonReader; caught at the decoding boundary and turned into a decode error.
class DecodeError : public std::runtime_error {
 public:
  explicit DecodeError(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& message() const { return message_; }

 private:
  QString message_;
};

// Strict typed reading of a JSON object: a missing key or null is absent, a value of
// another JSON type fails the whole decode, unknown keys are ignored.
class JsonReader {
 public:
  // Parses a body whose top level must be an object.
  static JsonReader parse(const QByteArray& body);

  JsonReader(QJsonObject object, QString path);

  std::optional<QString> text(const char* key) const;
  std::optional<double> number(const char* key) const;
  std::optional<qint64> integer(const char* key) const;
  std::optional<bool> boolean(const char* key) const;
  std::optional<JsonReader> object(const char* key) const;
  std::optional<QList<JsonReader>> objects(const char* key) const;

  // Fails unless the key holds a value (required fields of wire formats).
  template <class T>
  static T required(std::optional<T> value, const JsonReader& from, const char* key) {
    if (!value) from.fail(key, "a value", QStringLiteral("nothing"));
    return *std::move(value);
  }

  [[noreturn]] void fail(const char* key, const char* expected, const QString& found) const;

 private:
  std::optional<QJsonValue> present(const char* key) const;
  QString pathTo(const char* key) const;

  QJsonObject object_;
  QString path_;
};

// Runs a decoder over a body, turning a DecodeError into its message.
template <class T>
std::optional<T> decodeBody(const QByteArray& body, const std::function<T(const JsonReader&)>& decode,
                            QString* error) {
  try {
    return decode(JsonReader::parse(body));
  } catch (const DecodeError& e) {
    if (error) *error = e.message();
    return std::nullopt;
  }
}

// Parses an internet date-time with fractional seconds (2025-03-14T09:26:53.589Z or with
// a "+hh:mm" offset). Anything else, fraction-less forms included, is no date.
std::optional<QDateTime> parseFractionalISO8601(const QString& text);

}  // namespace qb

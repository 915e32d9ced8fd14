#include "platform/plist_reader.h"

#include <QDateTime>
#include <QVariantList>
#include <QVariantMap>
#include <QXmlStreamReader>

namespace qb::platform {

namespace {

// Deep enough for any real Info.plist; stops hostile nesting from exhausting the stack.
constexpr int kMaxDepth = 128;

struct PlistError {
  QString message;
};

class Reader {
 public:
  explicit Reader(const QByteArray& bytes) : xml_(bytes) {}

  QVariant document() {
    if (!nextElement()) fail(QStringLiteral("no <plist> element"));
    if (xml_.name() != QLatin1String("plist"))
      fail(QStringLiteral("the top element is <%1>, not <plist>").arg(xml_.name()));
    if (!nextElement()) fail(QStringLiteral("an empty <plist>"));
    QVariant value = readValue(0);
    if (nextElement()) fail(QStringLiteral("more than one value in <plist>"));
    // Reads to the end so trailing garbage is reported.
    while (!xml_.atEnd()) xml_.readNext();
    if (xml_.hasError()) fail(xml_.errorString());
    return value;
  }

  [[noreturn]] void fail(const QString& why) {
    const QString where = QStringLiteral(" (line %1, column %2)")
                              .arg(xml_.lineNumber())
                              .arg(xml_.columnNumber());
    throw PlistError{QStringLiteral("The property list couldn't be read: ") + why + where + u'.'};
  }

 private:
  // Advances to the next start element inside the current one; false at its end.
  bool nextElement() {
    while (!xml_.atEnd()) {
      switch (xml_.readNext()) {
        case QXmlStreamReader::StartElement: return true;
        case QXmlStreamReader::EndElement: return false;
        case QXmlStreamReader::Characters:
          if (!xml_.isWhitespace()) fail(QStringLiteral("unexpected text"));
          break;
        default: break;
      }
    }
    if (xml_.hasError()) fail(xml_.errorString());
    return false;
  }

  QString text() {
    const QString t = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (xml_.hasError()) fail(xml_.errorString());
    return t;
  }

  QVariant readValue(int depth) {
    if (depth > kMaxDepth) fail(QStringLiteral("nesting too deep"));
    const QStringView name = xml_.name();
    if (name == QLatin1String("dict")) return readDict(depth);
    if (name == QLatin1String("array")) {
      QVariantList list;
      while (nextElement()) list.append(readValue(depth + 1));
      return list;
    }
    if (name == QLatin1String("string")) return text();
    if (name == QLatin1String("integer")) {
      bool ok = false;
      const QString t = text().trimmed();
      const qint64 v = t.toLongLong(&ok, 10);
      if (!ok) fail(QStringLiteral("\"%1\" is not an integer").arg(t));
      return v;
    }
    if (name == QLatin1String("real")) {
      bool ok = false;
      const QString t = text().trimmed();
      const double v = t.toDouble(&ok);
      if (!ok) fail(QStringLiteral("\"%1\" is not a real number").arg(t));
      return v;
    }
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
      const bool v = name == QLatin1String("true");
      if (!text().isEmpty()) fail(QStringLiteral("a boolean has no content"));
      return v;
    }
    if (name == QLatin1String("date")) {
      const QString t = text().trimmed();
      const QDateTime d = QDateTime::fromString(t, Qt::ISODate);
      if (!d.isValid()) fail(QStringLiteral("\"%1\" is not a date").arg(t));
      return d.toUTC();
    }
    if (name == QLatin1String("data")) {
      QString t = text();
      t.remove(u' ').remove(u'\n').remove(u'\t').remove(u'\r');
      const auto decoded = QByteArray::fromBase64Encoding(t.toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
      if (!decoded) fail(QStringLiteral("<data> is not base64"));
      return *decoded;
    }
    fail(QStringLiteral("unknown element <%1>").arg(name));
  }

  QVariantMap readDict(int depth) {
    QVariantMap map;
    while (nextElement()) {
      if (xml_.name() != QLatin1String("key"))
        fail(QStringLiteral("<%1> where a <key> was expected").arg(xml_.name()));
      const QString key = text();
      if (!nextElement()) fail(QStringLiteral("the key \"%1\" has no value").arg(key));
      map.insert(key, readValue(depth + 1));
    }
    return map;
  }

  QXmlStreamReader xml_;
};

}  // namespace

std::optional<QVariant> parsePropertyList(const QByteArray& bytes, QString* error) {
  if (bytes.startsWith("bplist")) {
    if (error) *error = QStringLiteral("The property list couldn't be read: binary property lists are not supported.");
    return std::nullopt;
  }
  Reader reader(bytes);
  try {
    return reader.document();
  } catch (const PlistError& e) {
    if (error) *error = e.message;
    return std::nullopt;
  }
}

}  // namespace qb::platform

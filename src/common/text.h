#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

namespace qb {

// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> strictUtf8(const QByteArray& bytes);

// The first `count` user-perceived characters, so a cut never splits a letter or emoji,
// and never more than `maxUnits` UTF-16 units (a letter may carry any number of marks).
QString leadingGraphemes(const QString& text, int count, int maxUnits = 1024);

// U+0000 to U+001F or U+007F: never allowed in a session value or a header.
bool hasControlCharacter(const QString& text);

// Outside text for a terminal: every control character but line feed and tab (C0, DEL and
// the C1 range, which terminals read as escapes) becomes U+FFFD.
QString terminalText(const QString& text);

// A JSON document's compact bytes for a terminal: the C1 characters and DEL, which JSON
// may carry raw, written as \u escapes instead. The document reads back the same.
QByteArray terminalJson(const QByteArray& json);

// Text for a place that reads Pango or HTML markup (waybar's text and tooltip, a
// StatusNotifierItem's tooltip): "&", "<" and ">" as entities.
QString markupEscaped(const QString& text);

// Each word's first letter upper-case, the rest lower-case ("past due" -> "Past Due").
QString capitalized(const QString& text);

// An address for a log line: no user, query or fragment, where codes and tokens travel.
QString addressForLog(const QUrl& url);

}  // namespace qb

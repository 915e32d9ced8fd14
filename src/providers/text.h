#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace qb {

// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> strictUtf8(const QByteArray& bytes);

// The first `count` user-perceived characters, so a cut never splits a letter or emoji.
QString leadingGraphemes(const QString& text, int count);

}  // namespace qb

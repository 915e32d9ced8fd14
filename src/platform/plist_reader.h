#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace qb::platform {

// Reads an XML property list into Qt values: dict -> QVariantMap, array -> QVariantList,
// string -> QString, integer -> qint64, real -> double, true/false -> bool,
// date -> QDateTime (UTC), data -> QByteArray. Anything else, binary property lists
// included, fails with a readable message in `error`.
std::optional<QVariant> parsePropertyList(const QByteArray& bytes, QString* error);

}  // namespace qb::platform

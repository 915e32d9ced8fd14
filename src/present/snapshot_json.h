#pragma once

#include <QDateTime>
#include <QJsonObject>

#include "providers/provider_api.h"

namespace qb {

// ISO 8601 in UTC with a "Z".
QString isoUtc(const QDateTime& t);

// The snapshot's fields by name plus "usagePercent"; absent optionals are omitted.
QJsonObject snapshotToJson(const UsageSnapshot& s);
QJsonObject accountToJson(const AccountInfo& a);

}  // namespace qb

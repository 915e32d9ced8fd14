#pragma once

#include <QStringList>
#include <QUrl>

#include "common/web_origin.h"
#include "providers/provider.h"

namespace qb {

// Environment variable overriding a service's web origin, e.g. "QUOTABAR_ORIGIN_CURSOR".
QString originVariable(Provider p);

// Applies QUOTABAR_ORIGIN_* overrides; returns one message per refused variable
// (those services keep their defaults).
QStringList applyOriginOverrides();

QUrl defaultOrigin(Provider p);
QUrl configuredOrigin(Provider p);
void setConfiguredOrigin(Provider p, const QUrl& origin);

}  // namespace qb

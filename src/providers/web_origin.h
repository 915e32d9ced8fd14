#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "providers/provider.h"

namespace qb {

bool isLoopbackHost(const QString& host);

// True for https anywhere and for plain http to a loopback host only.
bool isSecureOrLoopback(const QUrl& url);

// Parses "scheme://host[:port]" (a trailing slash is tolerated). Refuses paths, queries,
// credentials, other schemes and plain http to a non-loopback host; `why` says which.
std::optional<QUrl> parseOrigin(const QString& text, QString* why);

// Reads an origin override from the environment variable `name`; an unset or empty
// variable yields `fallback`. A refused value yields nothing and a message naming `name`.
std::optional<QUrl> originFromEnvironment(const char* name, const QUrl& fallback, QString* error);

// Environment variable overriding a service's web origin, e.g. "QUOTABAR_ORIGIN_CURSOR".
QString originVariable(Provider p);

// Applies QUOTABAR_ORIGIN_* overrides; returns one message per refused variable
// (those services keep their defaults).
QStringList applyOriginOverrides();

QUrl defaultOrigin(Provider p);
QUrl configuredOrigin(Provider p);
void setConfiguredOrigin(Provider p, const QUrl& origin);

}  // namespace qb

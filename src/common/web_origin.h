#pragma once

#include <QString>
#include <QUrl>
#include <optional>

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

}  // namespace qb

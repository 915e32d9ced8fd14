#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <array>
#include <optional>

namespace qb {

// The four watched services, in their fixed display order.
enum class Provider { cursor, windsurf, codex, claude };

inline constexpr std::array<Provider, 4> allProviders{Provider::cursor, Provider::windsurf,
                                                      Provider::codex, Provider::claude};

QString rawValue(Provider p);
// Exact, case-sensitive; anything else yields no provider.
std::optional<Provider> providerFromRaw(const QString& raw);

QString displayName(Provider p);
QString subtitle(Provider p);
QString systemImage(Provider p);
bool isBeta(Provider p);
QStringList cookieNames(Provider p);

// Built from the configured web origin (see web_origin.h).
QUrl webOrigin(Provider p);
QUrl loginURL(Provider p);
QUrl dashboardURL(Provider p);
QString cookieDomain(Provider p);

// The origin followed by a path, exactly one slash between them.
QUrl appendPath(const QUrl& origin, const QString& path);

}  // namespace qb

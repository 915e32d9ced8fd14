#pragma once

#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <optional>

namespace qb {

// The update server's origin: fixed at build time (CMake cache variable
// QUOTABAR_UPDATE_ORIGIN) and overridable for tests and demos with the environment
// variable of the same name. The path "/distributionApi/v1/..." follows it unchanged.
inline constexpr const char* kUpdateOriginVariable = "QUOTABAR_UPDATE_ORIGIN";

QUrl builtInUpdateOrigin();

// The origin in force, or nothing with a message naming the variable when its value is
// refused (not an origin, or plain http to a host off this machine).
std::optional<QUrl> configuredUpdateOrigin(QString* error);

// Request settings of the update requests: never a cache, never cookies, and redirects
// left to guardRedirects().
void prepareUpdateRequest(QNetworkRequest& request);

}  // namespace qb

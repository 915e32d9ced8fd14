#pragma once

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <functional>

namespace qb {

// Request settings shared by the update requests: never a cache, never cookies, and a
// redirect followed only when `allow` approves its target.
void prepareUpdateRequest(QNetworkRequest& request);

// Lets the reply follow a redirect when `allowed(target)` holds; otherwise aborts it and
// records why (see stopReason()).
void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed);

// Aborts the reply when no data moved for `idleMs`, recording why.
void armIdleTimeout(QNetworkReply* reply, int idleMs);

// Why we stopped the reply ourselves, or empty.
QString stopReason(const QNetworkReply* reply);

// An error QNetworkReply raises for an HTTP status rather than for the transport.
bool isHttpStatusError(QNetworkReply::NetworkError error);

// The description of a transport failure of `reply`.
QString transportFailure(QNetworkReply* reply);

}  // namespace qb

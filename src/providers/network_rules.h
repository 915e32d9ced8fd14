#pragma once

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <functional>

namespace qb {

// The reply guards shared by every request we send: redirect checks, timeouts and the
// record of why we stopped a reply ourselves.

// Request settings of the update requests: never a cache, never cookies, and redirects
// left to guardRedirects().
void prepareUpdateRequest(QNetworkRequest& request);

// Lets the reply follow a redirect when `allowed(target)` holds; otherwise aborts it and
// records "Refused a redirect to ORIGIN" followed by `refusalSuffix` (see stopReason()).
void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed,
                    const QString& refusalSuffix = QStringLiteral("."));

// Aborts the reply when no data moved for `idleMs`, recording why.
void armIdleTimeout(QNetworkReply* reply, int idleMs);

// Aborts the reply `why`, unless it has already finished.
void stopReply(QNetworkReply* reply, const QString& why);

// Why we stopped the reply ourselves, or empty.
QString stopReason(const QNetworkReply* reply);

// An error QNetworkReply raises for an HTTP status rather than for the transport.
bool isHttpStatusError(QNetworkReply::NetworkError error);

// The description of a transport failure of `reply`.
QString transportFailure(QNetworkReply* reply);

}  // namespace qb

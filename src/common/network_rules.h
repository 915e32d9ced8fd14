#pragma once

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <functional>

namespace qb {

// The reply guards shared by every request we send: redirect checks, timeouts and the
// record of why we stopped a reply ourselves.

// Lets the reply follow a redirect when `allowed(target)` holds; otherwise aborts it and
// records "Refused a redirect to ORIGIN" followed by `refusalSuffix` (see stopReason()).
void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed,
                    const QString& refusalSuffix = QStringLiteral("."));

// A redirect target a service's session may follow: the service's own host or a subdomain
// of it (cursor.com -> www.cursor.com). Never a parent, which may be a bare public suffix.
bool isWithinService(const QString& target, const QString& service);

// Aborts the reply when no data moved for `idleMs`, recording why.
void armIdleTimeout(QNetworkReply* reply, int idleMs);

// Aborts a reply still in progress (its finished() runs at once) and deletes it, from
// outside the reply's own signals. An error the network thread has already queued for the
// reply would otherwise land after the abort as a second error, which Qt reports on
// standard error ("must only be called once"). A reply that already failed is finishing on
// its own and is left alone.
void abortAndDelete(QNetworkReply* reply);

// Aborts the reply `why`, unless it has already finished or failed.
void stopReply(QNetworkReply* reply, const QString& why);

// Why we stopped the reply ourselves, or empty.
QString stopReason(const QNetworkReply* reply);

// How a finished reply ended. A received HTTP status decides, never QNetworkReply's error
// code ranges: any status is an answer, except a 2xx whose body did not arrive whole.
struct ReplyOutcome {
  enum class Kind { answered, noStatus, transport } kind = Kind::noStatus;
  int status = 0;       // answered
  QString failure;      // transport: its description
};
ReplyOutcome replyOutcome(QNetworkReply* reply);

// A readable description of a QNetworkReply failure.
QString describeNetworkError(QNetworkReply* reply);

// The description of a transport failure of `reply`.
QString transportFailure(QNetworkReply* reply);

}  // namespace qb

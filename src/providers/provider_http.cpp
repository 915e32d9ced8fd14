#include "providers/provider_http.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTimer>

#include "common/network_rules.h"
#include "common/text.h"
#include "providers/service_origin.h"

namespace qb {

namespace {

// Keeps nothing: the session value is sent verbatim and no answer may add cookies.
class NoCookies : public QNetworkCookieJar {
 public:
  using QNetworkCookieJar::QNetworkCookieJar;
  QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
  bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

// Bounds the whole request as well; the idle bound comes from armIdleTimeout().
void armRequestTimeout(QNetworkReply* reply, int totalMs) {
  auto* total = new QTimer(reply);
  total->setSingleShot(true);
  QObject::connect(total, &QTimer::timeout, reply,
                   [reply] { stopReply(reply, QStringLiteral("The request timed out.")); });
  total->start(totalMs);
}

}  // namespace

ProviderHTTP& ProviderHTTP::shared() {
  static ProviderHTTP instance;  // thread-safe first use
  return instance;
}

ProviderHTTP::ProviderHTTP() : manager_(new QNetworkAccessManager) {
  manager_->setCookieJar(new NoCookies(manager_));
  manager_->setCache(nullptr);
  manager_->setStrictTransportSecurityEnabled(false);
  manager_->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

void ProviderHTTP::setTimeouts(int idleMs, int requestMs) {
  idleTimeoutMs_ = idleMs;
  requestTimeoutMs_ = requestMs;
}

QNetworkRequest ProviderHTTP::buildRequest(const QUrl& url, const QString& session,
                                           const QUrl& referer, const Headers& extra) const {
  QNetworkRequest request(url);
  // A control character would end the header and start another (or a second request).
  if (!hasControlCharacter(session)) request.setRawHeader("Cookie", session.toUtf8());
  if (!referer.isEmpty()) request.setRawHeader("Referer", referer.toEncoded());
  for (const auto& [name, value] : extra) request.setRawHeader(name, value);
  request.setRawHeader("User-Agent", "Quotabar/1.0 (macOS menu bar)");
  request.setRawHeader("Accept", "application/json");
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  return request;
}

QNetworkRequest ProviderHTTP::serviceRequest(const QUrl& origin, const QString& path,
                                             const QString& session,
                                             const QString& refererPath) const {
  return buildRequest(appendPath(origin, path), session, appendPath(origin, refererPath),
                      {{"Origin", origin.toString().toUtf8()}});
}

QNetworkReply* ProviderHTTP::fetch(const QNetworkRequest& request, BodyCompletion done) const {
  QNetworkReply* reply = manager_->get(request);
  armIdleTimeout(reply, idleTimeoutMs_);
  armRequestTimeout(reply, requestTimeoutMs_);
  // The session cookie travels with a redirect: follow only within the service's own
  // site, and never to plain http off this machine.
  const QString host = request.url().host();
  guardRedirects(
      reply,
      [host](const QUrl& target) {
        return isSecureOrLoopback(target) && isWithinService(target.host(), host);
      },
      QStringLiteral(" (outside the service's site)."));
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
    if (reply->bytesAvailable() > maxBodyBytes)
      stopReply(reply, QStringLiteral("The response is larger than 16 MB."));
  });
  QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
    reply->deleteLater();
    const ReplyOutcome outcome = replyOutcome(reply);
    if (outcome.kind == ReplyOutcome::Kind::transport)
      return done(ProviderAPIError::transport(outcome.failure));
    if (outcome.kind == ReplyOutcome::Kind::noStatus)
      return done(ProviderAPIError::http(-1, QStringLiteral("no response")));
    if (outcome.status == 401 || outcome.status == 403)
      return done(ProviderAPIError::notAuthenticated());
    const QByteArray body = reply->readAll();
    if (outcome.status < 200 || outcome.status > 299)
      return done(ProviderAPIError::http(outcome.status, strictUtf8(body).value_or(QString())));
    done(body);
  });
  return reply;
}

}  // namespace qb

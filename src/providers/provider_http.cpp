#include "providers/provider_http.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTimer>

#include "providers/text.h"
#include "providers/web_origin.h"

namespace qb {

namespace {

// Keeps nothing: the session value is sent verbatim and no answer may add cookies.
class NoCookies : public QNetworkCookieJar {
 public:
  using QNetworkCookieJar::QNetworkCookieJar;
  QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
  bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

// Same host, or one a subdomain of the other (cursor.com -> www.cursor.com).
bool sameSite(const QString& a, const QString& b) {
  const QString x = a.toLower(), y = b.toLower();
  return x == y || x.endsWith(u'.' + y) || y.endsWith(u'.' + x);
}

// Why a reply stopped early, when we stopped it.
constexpr const char* kStopReason = "qbStopReason";

// Aborts a reply that goes quiet for `idleMs` or runs longer than `totalMs`.
void armTimeouts(QNetworkReply* reply, int idleMs, int totalMs) {
  auto* idle = new QTimer(reply);
  idle->setSingleShot(true);
  auto* total = new QTimer(reply);
  total->setSingleShot(true);
  auto stop = [reply] {
    if (!reply->isRunning()) return;
    reply->setProperty(kStopReason, QStringLiteral("The request timed out."));
    reply->abort();
  };
  QObject::connect(idle, &QTimer::timeout, reply, stop);
  QObject::connect(total, &QTimer::timeout, reply, stop);
  auto activity = [idle] { idle->start(); };
  QObject::connect(reply, &QNetworkReply::metaDataChanged, idle, activity);
  QObject::connect(reply, &QNetworkReply::downloadProgress, idle, activity);
  QObject::connect(reply, &QNetworkReply::uploadProgress, idle, activity);
  idle->start(idleMs);
  total->start(totalMs);
}

bool isHttpLevelError(QNetworkReply::NetworkError e) {
  const int code = static_cast<int>(e);
  return e == QNetworkReply::NoError || (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

}  // namespace

QString describeNetworkError(QNetworkReply* reply) {
  const QVariant stopped = reply->property(kStopReason);
  if (stopped.isValid()) return stopped.toString();
  switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
      return QStringLiteral("Could not connect to the server (connection refused).");
    case QNetworkReply::RemoteHostClosedError:
      return QStringLiteral("The network connection was lost.");
    case QNetworkReply::HostNotFoundError:
      return QStringLiteral("A server with the specified hostname could not be found.");
    case QNetworkReply::TimeoutError: return QStringLiteral("The request timed out.");
    case QNetworkReply::OperationCanceledError: return QStringLiteral("cancelled");
    case QNetworkReply::SslHandshakeFailedError:
      return QStringLiteral("An SSL error has occurred and a secure connection to the server "
                            "cannot be made.");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
      return QStringLiteral("The Internet connection appears to be offline.");
    default: return reply->errorString();
  }
}

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
  request.setRawHeader("Cookie", session.toUtf8());
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
  armTimeouts(reply, idleTimeoutMs_, requestTimeoutMs_);

  const QUrl origin = request.url();
  QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, origin](const QUrl& target) {
    // The session cookie travels with a redirect: follow only within the service's own
    // site, and never to plain http off this machine.
    if (isSecureOrLoopback(target) && sameSite(target.host(), origin.host())) {
      Q_EMIT reply->redirectAllowed();
      return;
    }
    reply->setProperty(kStopReason,
                       QStringLiteral("Refused a redirect to %1 (outside the service's site).")
                           .arg(target.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                                QUrl::RemoveUserInfo | QUrl::RemoveFragment)
                                    .toString()));
    reply->abort();
  });
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
    if (reply->bytesAvailable() > maxBodyBytes && reply->isRunning()) {
      reply->setProperty(kStopReason, QStringLiteral("The response is larger than 16 MB."));
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
    reply->deleteLater();
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (reply->property(kStopReason).isValid() || !isHttpLevelError(error)) {
      return done(ProviderAPIError::transport(describeNetworkError(reply)));
    }
    if (!statusAttr.isValid()) return done(ProviderAPIError::http(-1, QStringLiteral("no response")));
    const int status = statusAttr.toInt();
    if (status == 401 || status == 403) return done(ProviderAPIError::notAuthenticated());
    const QByteArray body = reply->readAll();
    if (status < 200 || status > 299)
      return done(ProviderAPIError::http(status, strictUtf8(body).value_or(QString())));
    done(body);
  });
  return reply;
}

}  // namespace qb

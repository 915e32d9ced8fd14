#include "providers/network_rules.h"

#include <QTimer>

#include "providers/provider_http.h"

namespace qb {

namespace {
constexpr const char* kStopReason = "qbStopReason";
}  // namespace

void stopReply(QNetworkReply* reply, const QString& why) {
  if (!reply->isRunning()) return;
  reply->setProperty(kStopReason, why);
  reply->abort();
}

void prepareUpdateRequest(QNetworkRequest& request) {
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::UserVerifiedRedirectPolicy);
}

void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed,
                    const QString& refusalSuffix) {
  QObject::connect(reply, &QNetworkReply::redirected, reply,
                   [reply, allowed = std::move(allowed), refusalSuffix](const QUrl& target) {
                     if (allowed(target)) {
                       Q_EMIT reply->redirectAllowed();
                       return;
                     }
                     const QUrl origin = target.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                                         QUrl::RemoveUserInfo |
                                                         QUrl::RemoveFragment);
                     stopReply(reply, QStringLiteral("Refused a redirect to ") + origin.toString() +
                                          refusalSuffix);
                   });
}

void armIdleTimeout(QNetworkReply* reply, int idleMs) {
  auto* idle = new QTimer(reply);
  idle->setSingleShot(true);
  QObject::connect(idle, &QTimer::timeout, reply,
                   [reply] { stopReply(reply, QStringLiteral("The request timed out.")); });
  auto activity = [idle] { idle->start(); };
  QObject::connect(reply, &QNetworkReply::metaDataChanged, idle, activity);
  QObject::connect(reply, &QNetworkReply::readyRead, idle, activity);
  QObject::connect(reply, &QNetworkReply::finished, idle, &QTimer::stop);
  idle->start(idleMs);
}

QString stopReason(const QNetworkReply* reply) { return reply->property(kStopReason).toString(); }

bool isHttpStatusError(QNetworkReply::NetworkError error) {
  const int code = static_cast<int>(error);
  return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

QString transportFailure(QNetworkReply* reply) {
  const QString why = stopReason(reply);
  return why.isEmpty() ? describeNetworkError(reply) : why;
}

}  // namespace qb

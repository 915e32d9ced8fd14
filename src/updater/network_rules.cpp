#include "updater/network_rules.h"

#include <QTimer>

#include "providers/provider_http.h"

namespace qb {

namespace {
constexpr const char* kStopReason = "qbUpdateStopReason";

void stop(QNetworkReply* reply, const QString& why) {
  if (!reply->isRunning()) return;
  reply->setProperty(kStopReason, why);
  reply->abort();
}
}  // namespace

void prepareUpdateRequest(QNetworkRequest& request) {
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::UserVerifiedRedirectPolicy);
}

void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed) {
  QObject::connect(reply, &QNetworkReply::redirected, reply,
                   [reply, allowed = std::move(allowed)](const QUrl& target) {
                     if (allowed(target)) {
                       Q_EMIT reply->redirectAllowed();
                       return;
                     }
                     stop(reply, QStringLiteral("Refused a redirect to %1.")
                                     .arg(target.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                                          QUrl::RemoveUserInfo |
                                                          QUrl::RemoveFragment)
                                              .toString()));
                   });
}

void armIdleTimeout(QNetworkReply* reply, int idleMs) {
  auto* idle = new QTimer(reply);
  idle->setSingleShot(true);
  QObject::connect(idle, &QTimer::timeout, reply,
                   [reply] { stop(reply, QStringLiteral("The request timed out.")); });
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

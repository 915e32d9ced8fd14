#include "updater/update_origin.h"

#include "common/web_origin.h"

#ifndef QUOTABAR_UPDATE_ORIGIN
#error "QUOTABAR_UPDATE_ORIGIN must be defined by the build"
#endif

namespace qb {

QUrl builtInUpdateOrigin() { return QUrl(QStringLiteral(QUOTABAR_UPDATE_ORIGIN)); }

std::optional<QUrl> configuredUpdateOrigin(QString* error) {
  // The built-in value obeys the same rules as an override (https, or http to loopback).
  QString why;
  const auto builtIn = parseOrigin(QStringLiteral(QUOTABAR_UPDATE_ORIGIN), &why);
  if (!builtIn) {
    if (error) *error = QStringLiteral("the built-in update origin \"%1\" is refused: %2")
                            .arg(QStringLiteral(QUOTABAR_UPDATE_ORIGIN), why);
    return std::nullopt;
  }
  return originFromEnvironment(kUpdateOriginVariable, *builtIn, error);
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

}  // namespace qb

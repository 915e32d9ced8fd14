#include "common/web_origin.h"

#include <QHostAddress>

namespace qb {

bool isLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QHostAddress address;
  return address.setAddress(host) && address.isLoopback();
}

bool isSecureOrLoopback(const QUrl& url) {
  if (url.scheme() == QLatin1String("https")) return !url.host().isEmpty();
  return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

std::optional<QUrl> parseOrigin(const QString& text, QString* why) {
  auto refuse = [why](const QString& reason) -> std::optional<QUrl> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const QUrl url(text.trimmed(), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty())
    return refuse(QStringLiteral("not an origin (expected scheme://host[:port])"));
  if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
    return refuse(QStringLiteral("only https (or http to a loopback host) is allowed"));
  if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
      (!url.path().isEmpty() && url.path() != QLatin1String("/")))
    return refuse(QStringLiteral("an origin has no path, query, fragment or user name"));
  if (!isSecureOrLoopback(url))
    return refuse(QStringLiteral("plain http is allowed only for loopback hosts"));
  QUrl origin;
  origin.setScheme(url.scheme());
  origin.setHost(url.host());
  origin.setPort(url.port());
  return origin;
}

std::optional<QUrl> originFromEnvironment(const char* name, const QUrl& fallback, QString* error) {
  const QString value = qEnvironmentVariable(name);
  if (value.isEmpty()) return fallback;
  QString why;
  if (auto origin = parseOrigin(value, &why)) return origin;
  if (error)
    *error = QStringLiteral("%1=\"%2\" refused: %3").arg(QString::fromLatin1(name), value, why);
  return std::nullopt;
}

}  // namespace qb

#include "providers/web_origin.h"

#include <QHostAddress>
#include <array>

namespace qb {

namespace {

std::array<QUrl, 4>& origins() {
  static std::array<QUrl, 4> table{defaultOrigin(Provider::cursor), defaultOrigin(Provider::windsurf),
                                   defaultOrigin(Provider::codex), defaultOrigin(Provider::claude)};
  return table;
}

}  // namespace

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

QString originVariable(Provider p) {
  return QStringLiteral("QUOTABAR_ORIGIN_") + rawValue(p).toUpper();
}

QStringList applyOriginOverrides() {
  QStringList errors;
  for (Provider p : allProviders) {
    const QByteArray name = originVariable(p).toLatin1();
    QString error;
    if (auto origin = originFromEnvironment(name.constData(), defaultOrigin(p), &error))
      setConfiguredOrigin(p, *origin);
    else
      errors << error;
  }
  return errors;
}

QUrl defaultOrigin(Provider p) {
  switch (p) {
    case Provider::cursor: return QUrl(QStringLiteral("https://cursor.com"));
    case Provider::windsurf: return QUrl(QStringLiteral("https://windsurf.com"));
    case Provider::codex: return QUrl(QStringLiteral("https://chatgpt.com"));
    case Provider::claude: return QUrl(QStringLiteral("https://claude.ai"));
  }
  return {};
}

QUrl configuredOrigin(Provider p) { return origins()[static_cast<int>(p)]; }

void setConfiguredOrigin(Provider p, const QUrl& origin) { origins()[static_cast<int>(p)] = origin; }

}  // namespace qb

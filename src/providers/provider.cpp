#include "providers/provider.h"

#include "providers/service_origin.h"

namespace qb {

namespace {

struct Entry {
  const char* raw;
  const char* displayName;
  const char* subtitle;
  const char* systemImage;
  bool beta;
  const char* loginPath;
  const char* dashboardPath;
  QStringList cookies;
};

const Entry& entry(Provider p) {
  static const Entry entries[] = {
      {"cursor", "Cursor", "Anysphere \u2014 full plan + on-demand usage", "cursorarrow.rays", false,
       "/loginDeepControl", "/dashboard/usage", {QStringLiteral("WorkosCursorSessionToken")}},
      {"windsurf", "Windsurf", "Codeium \u00b7 Devin Desktop \u2014 account + credits", "wind", true,
       "/account/login", "/account",
       {QStringLiteral("windsurf_session"), QStringLiteral("session"), QStringLiteral("auth_token"),
        QStringLiteral("firebase-id-token")}},
      {"codex", "ChatGPT / Codex", "OpenAI ChatGPT and Codex \u2014 account session", "sparkles", true,
       "/auth/login", "/#settings/Subscription",
       {QStringLiteral("__Secure-next-auth.session-token"), QStringLiteral("__Secure-1PSID"),
        QStringLiteral("_oai_session")}},
      {"claude", "Claude", "Anthropic Claude \u2014 account session", "ant.fill", true, "/login",
       "/settings/billing", {QStringLiteral("sessionKey")}},
  };
  return entries[static_cast<int>(p)];
}

QUrl withPath(Provider p, const char* path) {
  // The codex dashboard path carries a fragment after the root path.
  return QUrl(webOrigin(p).toString() + QString::fromUtf8(path));
}

}  // namespace

QString rawValue(Provider p) { return QString::fromLatin1(entry(p).raw); }

std::optional<Provider> providerFromRaw(const QString& raw) {
  for (Provider p : allProviders) {
    if (raw == rawValue(p)) return p;
  }
  return std::nullopt;
}

QString displayName(Provider p) { return QString::fromUtf8(entry(p).displayName); }
QString subtitle(Provider p) { return QString::fromUtf8(entry(p).subtitle); }
QString systemImage(Provider p) { return QString::fromLatin1(entry(p).systemImage); }
bool isBeta(Provider p) { return entry(p).beta; }
QStringList cookieNames(Provider p) { return entry(p).cookies; }

QUrl webOrigin(Provider p) { return configuredOrigin(p); }
QUrl loginURL(Provider p) { return withPath(p, entry(p).loginPath); }
QUrl dashboardURL(Provider p) { return withPath(p, entry(p).dashboardPath); }
QString cookieDomain(Provider p) { return webOrigin(p).host(); }

QUrl appendPath(const QUrl& origin, const QString& path) {
  QUrl url = origin;
  QString base = url.path();
  while (base.endsWith(u'/')) base.chop(1);
  QString tail = path;
  while (tail.startsWith(u'/')) tail.remove(0, 1);
  url.setPath(base + u'/' + tail);
  return url;
}

}  // namespace qb

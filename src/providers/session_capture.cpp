#include "providers/session_capture.h"

#include <QCryptographicHash>

namespace qb {

namespace {

QByteArray digest(const QString& value) {
  return QCryptographicHash::hash(value.toUtf8(), QCryptographicHash::Sha256);
}

bool startsWithAny(const QString& name, const QStringList& prefixes) {
  for (const QString& prefix : prefixes) {
    if (name.startsWith(prefix)) return true;
  }
  return false;
}

}  // namespace

bool cookieDomainMatches(const QString& cookieDomain, const QString& domain) {
  QString c = cookieDomain.toLower();
  const QString d = domain.toLower();
  if (c.startsWith(u'.')) c.remove(0, 1);
  if (c.isEmpty() || d.isEmpty()) return false;
  return c == d || d.endsWith(u'.' + c) || c.endsWith(u'.' + d);
}

std::optional<CapturedSession> captureSession(const QList<JarCookie>& jar, const QString& domain,
                                              const QStringList& names, bool manual) {
  QList<const JarCookie*> usable;
  for (const JarCookie& c : jar) {
    if (!c.value.isEmpty() && cookieDomainMatches(c.domain, domain)) usable << &c;
  }
  const JarCookie* anchor = nullptr;
  for (const JarCookie* c : usable) {
    if (startsWithAny(c->name, names)) {
      anchor = c;
      break;
    }
  }
  if (!anchor && manual && !usable.isEmpty()) anchor = usable.first();
  if (!anchor) return std::nullopt;

  QStringList pairs;
  for (const JarCookie* c : usable) pairs << c->name + u'=' + c->value;
  return CapturedSession{pairs.join(QStringLiteral("; ")), anchor->name,
                         static_cast<int>(pairs.size())};
}

QString pasteInstructions(const QString& h, const QStringList& cookieNames) {
  const QString k = cookieNames.isEmpty() ? QStringLiteral("session") : cookieNames.first();
  return QStringLiteral("If sign-in won't load here, open https://") + h +
         QStringLiteral(" in your browser, sign in, then:\n\nChromium / Chrome / Edge: F12 \u2192 "
                        "Application \u2192 Cookies \u2192 ") +
         h + QStringLiteral(" \u2192 copy the value of \"") + k +
         QStringLiteral("\".\nFirefox: F12 \u2192 Storage \u2192 Cookies \u2192 ") +
         h + QStringLiteral(".\n\nTip: you can also paste a full Cookie header (") + k +
         QStringLiteral("=\u2026; otherCookie=\u2026) here \u2014 useful if the provider's session "
                        "uses multiple cookies.");
}

QString pasteInstructions(Provider p) { return pasteInstructions(cookieDomain(p), cookieNames(p)); }

QString noSessionFoundText(const QString& h) {
  return QStringLiteral("We couldn't find a session cookie on ") + h +
         QStringLiteral(" yet. Make sure you're fully signed in inside this window (you should be "
                        "on the main app, not the login screen) and try again.\n\nIf the provider "
                        "has changed its cookie name we may need to update the app. As a "
                        "workaround you can paste the cookie value directly using the button on "
                        "the right.");
}

bool isAllowedNavigation(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return scheme.isEmpty() || scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
         scheme == QLatin1String("about") || scheme == QLatin1String("data");
}

bool CaptureGate::mayStart(const QString& value, bool manual) const {
  if (busy_ || finished_) return false;
  return manual || lastFailed_.isEmpty() || digest(value) != lastFailed_;
}

void CaptureGate::started() { busy_ = true; }

void CaptureGate::failed(const QString& value) {
  busy_ = false;
  lastFailed_ = digest(value);
}

bool CaptureGate::succeeded() {
  busy_ = false;
  if (finished_) return false;
  finished_ = true;
  return true;
}

void CaptureGate::reset() {
  busy_ = false;
  finished_ = false;
}

}  // namespace qb

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "providers/provider.h"

namespace qb {

// One cookie of the sign-in window's jar, as the capture rules see it.
struct JarCookie {
  QString name;
  QString value;
  QString domain;
  QString path;
};

// The cookie's domain (one leading "." dropped) equals `domain`, is a parent of it or a
// subdomain of it. Label boundaries count: "evilcursor.com" is not "cursor.com".
bool cookieDomainMatches(const QString& cookieDomain, const QString& domain);

// A header built from the jar, and the cookie that anchored it.
struct CapturedSession {
  QString header;      // name=value pairs of every usable cookie, store order, "; "
  QString anchorName;
  int cookieCount = 0;
};

// The anchor is the first usable cookie whose name starts with one of `names`; a manual
// capture falls back to the first usable cookie of any name.
std::optional<CapturedSession> captureSession(const QList<JarCookie>& jar, const QString& domain,
                                              const QStringList& names, bool manual);

// The paste dialog's informative text.
QString pasteInstructions(const QString& cookieDomain, const QStringList& cookieNames);
QString pasteInstructions(Provider p);

// The "No session cookie found yet" alert's informative text.
QString noSessionFoundText(const QString& cookieDomain);

// Only http, https, about and data navigations go ahead (and those with no scheme).
bool isAllowedNavigation(const QUrl& url);

// One capture attempt at a time; an automatic attempt is retried only once the captured
// header differs from the one that failed; success is reported once.
class CaptureGate {
 public:
  bool mayStart(const QString& value, bool manual) const;
  void started();
  void failed(const QString& value);
  // True only for the first success.
  bool succeeded();
  // A new presentation starts afresh, as the window's present() does.
  void reset();

  bool busy() const { return busy_; }
  bool finished() const { return finished_; }

 private:
  bool busy_ = false;
  bool finished_ = false;
  QByteArray lastFailed_;  // a digest, so the value itself is not kept around
};

}  // namespace qb

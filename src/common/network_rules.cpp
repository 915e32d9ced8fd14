#include "common/network_rules.h"

#include <QTimer>

namespace qb {

namespace {
constexpr const char* kStopReason = "qbStopReason";
constexpr const char* kRedirects = "qbRedirects";
constexpr int kMaxRedirects = 10;
}  // namespace

void abortAndDelete(QNetworkReply* reply) {
  if (!reply || !reply->isRunning() || reply->error() != QNetworkReply::NoError) return;
  reply->abort();
  delete reply;
}

void stopReply(QNetworkReply* reply, const QString& why) {
  if (!reply->isRunning() || reply->error() != QNetworkReply::NoError) return;
  reply->setProperty(kStopReason, why);
  reply->abort();
}

void guardRedirects(QNetworkReply* reply, std::function<bool(const QUrl&)> allowed,
                    const QString& refusalSuffix) {
  QObject::connect(reply, &QNetworkReply::redirected, reply,
                   [reply, allowed = std::move(allowed), refusalSuffix](const QUrl& target) {
                     // Our own bound on a redirect chain, whatever Qt's limit is.
                     const int followed = reply->property(kRedirects).toInt() + 1;
                     reply->setProperty(kRedirects, followed);
                     if (followed > kMaxRedirects) {
                       stopReply(reply, QStringLiteral("Too many redirects."));
                       return;
                     }
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

bool isWithinService(const QString& target, const QString& service) {
  auto plain = [](QString h) {
    h = h.toLower();
    while (h.endsWith(u'.')) h.chop(1);
    return h;
  };
  const QString t = plain(target), s = plain(service);
  return !s.isEmpty() && (t == s || t.endsWith(u'.' + s));
}

QString stopReason(const QNetworkReply* reply) { return reply->property(kStopReason).toString(); }

ReplyOutcome replyOutcome(QNetworkReply* reply) {
  using Kind = ReplyOutcome::Kind;
  if (!stopReason(reply).isEmpty()) return {Kind::transport, 0, stopReason(reply)};
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  const bool clean = reply->error() == QNetworkReply::NoError;
  if (!status.isValid()) {
    if (clean) return {Kind::noStatus, 0, {}};
    return {Kind::transport, 0, transportFailure(reply)};
  }
  const int code = status.toInt();
  // Qt ends some redirect loops with a made-up interim status (100): no answer arrived.
  if (reply->property(kRedirects).toInt() > 0 && (code < 200 || (code >= 300 && code < 400)))
    return {Kind::transport, 0, QStringLiteral("The redirects did not end in an answer.")};
  // A success whose body broke off or failed to decompress is no answer.
  if (code >= 200 && code <= 299 && !clean) return {Kind::transport, 0, transportFailure(reply)};
  return {Kind::answered, code, {}};
}

QString describeNetworkError(QNetworkReply* reply) {
  switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
      return QStringLiteral("Could not connect to the server (connection refused).");
    case QNetworkReply::RemoteHostClosedError:
      return QStringLiteral("The network connection was lost.");
    case QNetworkReply::HostNotFoundError:
      return QStringLiteral("A server with the specified hostname could not be found.");
    case QNetworkReply::TimeoutError: return QStringLiteral("The request timed out.");
    case QNetworkReply::TooManyRedirectsError: return QStringLiteral("Too many redirects.");
    case QNetworkReply::OperationCanceledError: return QStringLiteral("cancelled");
    case QNetworkReply::SslHandshakeFailedError:
      return QStringLiteral("An SSL error has occurred and a secure connection to the server "
                            "cannot be made.");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
      return QStringLiteral("The Internet connection appears to be offline.");
    default: {
      // Qt's own text names the whole address, query included.
      QString text = reply->errorString();
      text.replace(reply->url().toString(), reply->url().host());
      return text;
    }
  }
}

QString transportFailure(QNetworkReply* reply) {
  const QString why = stopReason(reply);
  return why.isEmpty() ? describeNetworkError(reply) : why;
}

}  // namespace qb

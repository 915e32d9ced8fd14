#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QUrl>
#include <functional>

#include "common/json_reader.h"
#include "providers/provider_api.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace qb {

// The one HTTP client of the service clients: one QNetworkAccessManager for the process,
// with no cache, no cookie jar and no credential store.
class ProviderHTTP {
 public:
  using Headers = QList<QPair<QByteArray, QByteArray>>;
  using BodyCompletion = std::function<void(const ApiResult<QByteArray>&)>;

  static ProviderHTTP& shared();

  QNetworkAccessManager* manager() const { return manager_; }

  // GET with "Cookie", then "Referer" when given, then each extra header in order.
  QNetworkRequest buildRequest(const QUrl& url, const QString& session, const QUrl& referer,
                               const Headers& extra) const;

  // A service request: `path` on its origin, with the session, the referer page on the
  // same origin and the origin itself as "Origin".
  QNetworkRequest serviceRequest(const QUrl& origin, const QString& path, const QString& session,
                                 const QString& refererPath) const;

  // Sends the request and reports the body of a 2xx answer, or the classified failure.
  // The returned reply may be aborted; it is deleted after completion.
  QNetworkReply* fetch(const QNetworkRequest& request, BodyCompletion done) const;

  // fetch() followed by a strict decode of the body into T.
  template <class T>
  QNetworkReply* fetchJSON(const QNetworkRequest& request,
                           std::function<T(const JsonReader&)> decode, Completion<T> done) const {
    return fetch(request, [decode = std::move(decode), done = std::move(done)](
                              const ApiResult<QByteArray>& body) {
      if (!body) return done(body.error());
      QString error;
      if (auto value = decodeBody<T>(body.value(), decode, &error)) return done(*std::move(value));
      done(ProviderAPIError::decoding(error));
    });
  }

  // Bounds: without data (idle) and for the whole request; a test hook shortens them.
  void setTimeouts(int idleMs, int requestMs);
  int idleTimeoutMs() const { return idleTimeoutMs_; }
  int requestTimeoutMs() const { return requestTimeoutMs_; }

  // Largest body accepted; a larger answer fails as a network error instead of filling memory.
  static constexpr qint64 maxBodyBytes = 16 * 1024 * 1024;

 private:
  ProviderHTTP();

  QNetworkAccessManager* manager_;
  int idleTimeoutMs_ = 20'000;
  int requestTimeoutMs_ = 60'000;
};

}  // namespace qb

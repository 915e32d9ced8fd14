#include "providers/provider_api.h"

#include <QNetworkReply>
#include "common/network_rules.h"
#include "common/text.h"

namespace qb {

ProviderAPIError ProviderAPIError::http(int status, QString body) {
  ProviderAPIError e;
  e.kind_ = Kind::http;
  e.status_ = status;
  e.detail_ = std::move(body);
  return e;
}

ProviderAPIError ProviderAPIError::decoding(QString reason) {
  ProviderAPIError e;
  e.kind_ = Kind::decoding;
  e.detail_ = std::move(reason);
  return e;
}

ProviderAPIError ProviderAPIError::transport(QString reason) {
  ProviderAPIError e;
  e.kind_ = Kind::transport;
  e.detail_ = std::move(reason);
  return e;
}

ProviderAPIError ProviderAPIError::unimplemented(QString message) {
  ProviderAPIError e;
  e.kind_ = Kind::unimplemented;
  e.detail_ = std::move(message);
  return e;
}

ProviderAPIError ProviderAPIError::notAuthenticated() {
  ProviderAPIError e;
  e.kind_ = Kind::notAuthenticated;
  return e;
}

QString ProviderAPIError::description() const {
  switch (kind_) {
    case Kind::http:
      return QStringLiteral("HTTP %1: %2").arg(status_).arg(leadingGraphemes(detail_, 160));
    case Kind::decoding: return QStringLiteral("Decode failed: ") + detail_;
    case Kind::transport: return QStringLiteral("Network error: ") + detail_;
    case Kind::unimplemented: return detail_;
    case Kind::notAuthenticated: return QStringLiteral("Not signed in.");
  }
  return {};
}

UsageSnapshot accountOnlySnapshot(Provider p, std::optional<QString> email,
                                  std::optional<QString> membership, QString statusNote) {
  UsageSnapshot s;
  s.provider = p;
  s.email = std::move(email);
  s.membership = std::move(membership);
  s.statusNote = std::move(statusNote);
  return s;
}

void PendingCall::track(QNetworkReply* reply) {
  replies_.removeIf([](const QPointer<QNetworkReply>& r) { return r.isNull() || r->isFinished(); });
  replies_.append(reply);
}

void PendingCall::cancel() {
  cancelled_ = true;
  // abort() finishes the reply at once; copy first since a callback may track more.
  const auto replies = replies_;
  for (const auto& reply : replies) {
    abortAndDelete(reply);
  }
}

}  // namespace qb

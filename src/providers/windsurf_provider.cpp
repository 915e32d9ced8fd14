#include "providers/beta_providers.h"
#include "providers/provider_http.h"

namespace qb {

namespace windsurf {

AnyAccount decodeAnyAccount(const JsonReader& j) {
  return {j.text("email"), j.text("name"), j.text("displayName"), j.text("plan"), j.text("tier")};
}

AccountInfo accountInfo(const AnyAccount& a) {
  return {a.email, a.displayName ? a.displayName : a.name, a.plan ? a.plan : a.tier};
}

}  // namespace windsurf

namespace {

const char* const kEndpoints[] = {"api/account/me", "api/me", "api/user"};

void attempt(std::shared_ptr<PendingCall> call, QUrl host, QString session, int index,
             Completion<AccountInfo> done) {
  if (index == 3 || call->isCancelled()) {
    return done(ProviderAPIError::unimplemented(
        QStringLiteral("No reachable Windsurf account endpoint.")));
  }
  auto& http = ProviderHTTP::shared();
  const QNetworkRequest request = http.serviceRequest(
      host, QString::fromLatin1(kEndpoints[index]), session, QStringLiteral("account"));
  call->track(http.fetchJSON<windsurf::AnyAccount>(
      request, windsurf::decodeAnyAccount,
      [call, host, session, index, done](const ApiResult<windsurf::AnyAccount>& r) {
        if (r) return done(windsurf::accountInfo(r.value()));
        // Any failure, a refused session included, moves on to the next endpoint.
        attempt(call, host, session, index + 1, done);
      }));
}

}  // namespace

CallHandle WindsurfProvider::lookup(const QString& session, Completion<AccountInfo> done) const {
  auto call = std::make_shared<PendingCall>();
  attempt(call, host_, session, 0, std::move(done));
  return call;
}

CallHandle WindsurfProvider::fetchAccount(const QString& session,
                                          Completion<AccountInfo> done) const {
  return lookup(session, [done = std::move(done)](const ApiResult<AccountInfo>& r) {
    done(r ? r.value() : AccountInfo{});
  });
}

CallHandle WindsurfProvider::fetchUsage(const QString& session,
                                        Completion<UsageSnapshot> done) const {
  return lookup(session, [done = std::move(done)](const ApiResult<AccountInfo>& r) {
    const AccountInfo info = r ? r.value() : AccountInfo{};
    done(accountOnlySnapshot(Provider::windsurf, info.email, info.plan,
                             QStringLiteral("Detailed usage available in Windsurf dashboard.")));
  });
}

}  // namespace qb

#include "providers/beta_providers.h"
#include "providers/provider_http.h"

namespace qb {

namespace codex {

SessionResponse decodeSessionResponse(const JsonReader& j) {
  SessionResponse r;
  if (auto u = j.object("user")) r.user = User{u->text("email"), u->text("name"), u->text("picture")};
  r.accessToken = j.text("accessToken");
  r.expires = j.text("expires");
  return r;
}

}  // namespace codex

CallHandle CodexProvider::fetchAccount(const QString& session, Completion<AccountInfo> done) const {
  auto& http = ProviderHTTP::shared();
  auto call = std::make_shared<PendingCall>();
  call->track(http.fetchJSON<codex::SessionResponse>(
      http.serviceRequest(host_, QStringLiteral("api/auth/session"), session, QString()),
      codex::decodeSessionResponse,
      [done = std::move(done)](const ApiResult<codex::SessionResponse>& r) {
        if (!r) return done(r.error());
        // A session answer without a user means the cookie was not recognised.
        if (!r.value().user) return done(ProviderAPIError::notAuthenticated());
        done(AccountInfo{r.value().user->email, r.value().user->name, std::nullopt});
      }));
  return call;
}

CallHandle CodexProvider::fetchUsage(const QString& session, Completion<UsageSnapshot> done) const {
  return fetchAccount(session, [done = std::move(done)](const ApiResult<AccountInfo>& r) {
    done(accountOnlySnapshot(Provider::codex, r ? r.value().email : std::nullopt, std::nullopt,
                             QStringLiteral("Detailed usage available in ChatGPT settings.")));
  });
}

}  // namespace qb

#include "providers/beta_providers.h"
#include "common/text.h"
#include "providers/provider_http.h"

namespace qb {

namespace claude {

CurrentAccount decodeCurrentAccount(const JsonReader& j) {
  CurrentAccount a;
  a.email_address = j.text("email_address");
  a.full_name = j.text("full_name");
  if (auto orgs = j.objects("organizations")) {
    QList<Organization> list;
    for (const JsonReader& o : *orgs) {
      Organization org;
      org.name = o.text("name");
      if (auto s = o.object("settings")) org.settings = Settings{s->text("billable_status")};
      list.append(org);
    }
    a.organizations = list;
  }
  return a;
}


AccountInfo accountInfo(const CurrentAccount& a) {
  std::optional<QString> plan;
  if (a.organizations && !a.organizations->isEmpty()) {
    const Organization& first = a.organizations->first();
    if (first.settings && first.settings->billable_status)
      plan = capitalized(*first.settings->billable_status);
  }
  return {a.email_address, a.full_name, plan};
}

}  // namespace claude

CallHandle ClaudeProvider::fetchAccount(const QString& session, Completion<AccountInfo> done) const {
  auto& http = ProviderHTTP::shared();
  auto call = std::make_shared<PendingCall>();
  call->track(http.fetchJSON<claude::CurrentAccount>(
      http.serviceRequest(host_, QStringLiteral("api/auth/current_account"), session, QString()),
      claude::decodeCurrentAccount,
      [done = std::move(done)](const ApiResult<claude::CurrentAccount>& r) {
        if (!r) return done(r.error());
        done(claude::accountInfo(r.value()));
      }));
  return call;
}

CallHandle ClaudeProvider::fetchUsage(const QString& session, Completion<UsageSnapshot> done) const {
  return fetchAccount(session, [done = std::move(done)](const ApiResult<AccountInfo>& r) {
    const AccountInfo info = r ? r.value() : AccountInfo{};
    done(accountOnlySnapshot(Provider::claude, info.email, info.plan,
                             QStringLiteral("Detailed usage available in Claude billing.")));
  });
}

}  // namespace qb

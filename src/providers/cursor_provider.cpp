#include "providers/cursor_provider.h"

#include <QNetworkReply>

#include "common/network_rules.h"
#include "providers/provider_http.h"

namespace qb {

namespace cursor {

namespace {

OnDemandUsage decodeOnDemand(const JsonReader& j) {
  return {j.boolean("enabled"), j.number("used"), j.number("limit"), j.number("remaining")};
}

PlanUsage decodePlan(const JsonReader& j) {
  PlanUsage p;
  p.enabled = j.boolean("enabled");
  p.used = j.number("used");
  p.limit = j.number("limit");
  p.remaining = j.number("remaining");
  if (auto b = j.object("breakdown")) {
    p.breakdown = PlanBreakdown{b->number("included"), b->number("bonus"), b->number("total")};
  }
  p.autoPercentUsed = j.number("autoPercentUsed");
  p.apiPercentUsed = j.number("apiPercentUsed");
  p.totalPercentUsed = j.number("totalPercentUsed");
  return p;
}

}  // namespace

AuthMe decodeAuthMe(const JsonReader& j) {
  return {j.text("email"), j.text("name"), j.text("sub"), j.text("membershipType"),
          j.text("subscriptionStatus")};
}

UsageSummary decodeUsageSummary(const JsonReader& j) {
  UsageSummary s;
  s.billingCycleStart = j.text("billingCycleStart");
  s.billingCycleEnd = j.text("billingCycleEnd");
  s.membershipType = j.text("membershipType");
  s.limitType = j.text("limitType");
  s.isUnlimited = j.boolean("isUnlimited");
  s.autoModelSelectedDisplayMessage = j.text("autoModelSelectedDisplayMessage");
  s.namedModelSelectedDisplayMessage = j.text("namedModelSelectedDisplayMessage");
  if (auto iu = j.object("individualUsage")) {
    IndividualUsage u;
    if (auto plan = iu->object("plan")) u.plan = decodePlan(*plan);
    if (auto od = iu->object("onDemand")) u.onDemand = decodeOnDemand(*od);
    s.individualUsage = u;
  }
  if (auto tu = j.object("teamUsage")) {
    TeamUsage t;
    if (auto od = tu->object("onDemand")) t.onDemand = decodeOnDemand(*od);
    s.teamUsage = t;
  }
  return s;
}

std::optional<QDateTime> UsageSummary::billingStartDate() const {
  return parseFractionalISO8601(billingCycleStart.value_or(QString()));
}

std::optional<QDateTime> UsageSummary::billingEndDate() const {
  return parseFractionalISO8601(billingCycleEnd.value_or(QString()));
}

UsageSnapshot makeSnapshot(const AuthMe& account, const UsageSummary& summary) {
  const std::optional<PlanUsage> plan =
      summary.individualUsage ? summary.individualUsage->plan : std::nullopt;
  std::optional<OnDemandUsage> onDemand;
  if (summary.individualUsage && summary.individualUsage->onDemand)
    onDemand = summary.individualUsage->onDemand;
  else if (summary.teamUsage)
    onDemand = summary.teamUsage->onDemand;

  // A large numeric limit alone marks the plan as money; so does a "spend" limit type.
  const bool cents = (plan && plan->limit && *plan->limit >= 1000.0) ||
                     summary.limitType == QStringLiteral("spend");

  UsageSnapshot s;
  s.provider = Provider::cursor;
  s.email = account.email;
  s.membership = summary.membershipType ? summary.membershipType : account.membershipType;
  s.billingStart = summary.billingStartDate();
  s.billingEnd = summary.billingEndDate();
  if (plan) {
    s.totalPercentUsed = plan->totalPercentUsed;
    s.autoPercentUsed = plan->autoPercentUsed;
    s.apiPercentUsed = plan->apiPercentUsed;
    s.planUsed = plan->used;
    s.planLimit = plan->limit;
    s.planRemaining = plan->remaining;
  }
  s.isCentsBased = cents;
  if (onDemand) {
    s.onDemandUsedCents = onDemand->used;
    s.onDemandLimitCents = onDemand->limit;
    s.onDemandEnabled = onDemand->enabled.value_or(false);
  }
  return s;
}

}  // namespace cursor

QNetworkRequest CursorProvider::request(const QString& path, const QString& session) const {
  return ProviderHTTP::shared().serviceRequest(host_, path, session, QStringLiteral("dashboard"));
}

CallHandle CursorProvider::fetchAccount(const QString& session, Completion<AccountInfo> done) const {
  auto call = std::make_shared<PendingCall>();
  call->track(ProviderHTTP::shared().fetchJSON<cursor::AuthMe>(
      request(QStringLiteral("api/auth/me"), session), cursor::decodeAuthMe,
      [done = std::move(done)](const ApiResult<cursor::AuthMe>& r) {
        if (!r) return done(r.error());
        done(AccountInfo{r.value().email, r.value().name, r.value().membershipType});
      }));
  return call;
}

CallHandle CursorProvider::fetchUsage(const QString& session, Completion<UsageSnapshot> done) const {
  // Both requests run at once; the account answer is awaited first and its failure
  // cancels the usage request.
  struct Join {
    std::optional<ApiResult<cursor::AuthMe>> account;
    std::optional<ApiResult<cursor::UsageSummary>> usage;
    QPointer<QNetworkReply> usageReply;
    bool finished = false;
    Completion<UsageSnapshot> done;

    void settle() {
      if (finished || !account) return;
      if (!*account) {
        finished = true;
        abortAndDelete(usageReply);
        return done(account->error());
      }
      if (!usage) return;
      finished = true;
      if (!*usage) return done(usage->error());
      done(cursor::makeSnapshot(account->value(), usage->value()));
    }
  };
  auto join = std::make_shared<Join>();
  join->done = std::move(done);
  auto call = std::make_shared<PendingCall>();
  auto& http = ProviderHTTP::shared();
  call->track(http.fetchJSON<cursor::AuthMe>(request(QStringLiteral("api/auth/me"), session),
                                             cursor::decodeAuthMe,
                                             [join](const ApiResult<cursor::AuthMe>& r) {
                                               join->account = r;
                                               join->settle();
                                             }));
  QNetworkReply* usage = http.fetchJSON<cursor::UsageSummary>(
      request(QStringLiteral("api/usage-summary"), session), cursor::decodeUsageSummary,
      [join](const ApiResult<cursor::UsageSummary>& r) {
        join->usage = r;
        join->settle();
      });
  join->usageReply = usage;
  call->track(usage);
  return call;
}

}  // namespace qb

#pragma once

#include <QDateTime>
#include <QNetworkRequest>

#include "common/json_reader.h"
#include "providers/provider_api.h"

namespace qb {

namespace cursor {

struct AuthMe {
  std::optional<QString> email, name, sub, membershipType, subscriptionStatus;
};

struct PlanBreakdown {
  std::optional<double> included, bonus, total;
};

struct PlanUsage {
  std::optional<bool> enabled;
  std::optional<double> used, limit, remaining;
  std::optional<PlanBreakdown> breakdown;
  std::optional<double> autoPercentUsed, apiPercentUsed, totalPercentUsed;
};

struct OnDemandUsage {
  std::optional<bool> enabled;
  std::optional<double> used, limit, remaining;
};

struct IndividualUsage {
  std::optional<PlanUsage> plan;
  std::optional<OnDemandUsage> onDemand;
};

struct TeamUsage {
  std::optional<OnDemandUsage> onDemand;
};

struct UsageSummary {
  std::optional<QString> billingCycleStart, billingCycleEnd, membershipType, limitType;
  std::optional<bool> isUnlimited;
  std::optional<QString> autoModelSelectedDisplayMessage, namedModelSelectedDisplayMessage;
  std::optional<IndividualUsage> individualUsage;
  std::optional<TeamUsage> teamUsage;

  std::optional<QDateTime> billingStartDate() const;
  std::optional<QDateTime> billingEndDate() const;
};

AuthMe decodeAuthMe(const JsonReader& json);
UsageSummary decodeUsageSummary(const JsonReader& json);

// Folds both answers into one snapshot (plan choice, on-demand choice, cents rule).
UsageSnapshot makeSnapshot(const AuthMe& account, const UsageSummary& summary);

}  // namespace cursor

class CursorProvider : public ProviderAPI {
 public:
  explicit CursorProvider(QUrl host) : host_(std::move(host)) {}
  Provider provider() const override { return Provider::cursor; }
  QUrl host() const override { return host_; }
  CallHandle fetchAccount(const QString& session, Completion<AccountInfo> done) const override;
  CallHandle fetchUsage(const QString& session, Completion<UsageSnapshot> done) const override;

 private:
  QNetworkRequest request(const QString& path, const QString& session) const;
  QUrl host_;
};

}  // namespace qb

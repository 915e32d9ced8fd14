// The pace forecast under the billing cycle, as the provider section shows it.
#include <gtest/gtest.h>

#include "present/provider_section_view.h"
#include "present/view_fixtures.h"

namespace qb {
namespace {

using State = UsageMonitor::State;
using View = ProviderSectionView;

View loaded(const UsageSnapshot& s) {
  return providerSectionView({s.provider, State::loaded(s), std::nullopt, false}, now, us);
}

TEST(PaceForecast, UnderTheBillingCycle) {
  const QDateTime start = now.addDays(-15);
  struct Row {
    const char* what;
    std::optional<QDateTime> start, end;
    double used;
    std::optional<QString> forecast, runsOut;
    Tint color = Tint::secondary;
  } rows[] = {
      {"on pace past the plan", start, start.addDays(30), 56, QStringLiteral("On pace for 112% by 21 Dec"),
       QStringLiteral("Runs out around 18 Dec"), Tint::red},
      {"yellow from 90", start, start.addDays(30), 45, QStringLiteral("On pace for 90% by 21 Dec"), {}, Tint::yellow},
      {"exactly 100 runs out at the end", start, start.addDays(30), 50, QStringLiteral("On pace for 100% by 21 Dec"), {}, Tint::red},
      {"already over", start, start.addDays(30), 120, QStringLiteral("On pace for 240% by 21 Dec"), {}, Tint::red},
      {"well within", start, start.addDays(30), 20, QStringLiteral("On pace for 40% by 21 Dec"), {}, Tint::secondary},
      {"no cycle", {}, {}, 56, {}, {}},
      {"no start", {}, start.addDays(30), 56, {}, {}},
      {"cycle too young", now.addSecs(-20 * 3600), now.addDays(29), 5, {}, {}},
      {"a tenth of a short cycle", now.addSecs(-3 * 3600), now.addSecs(21 * 3600), 25, QStringLiteral("On pace for 200% by 7 Dec"),
       QStringLiteral("Runs out around 6 Dec"), Tint::red},
      {"end before start", start, start.addDays(-1), 56, {}, {}},
      {"cycle over", start.addDays(-30), start, 56, {}, {}},
      {"not a number", start, start.addDays(30), nan, {}, {}},
      {"infinite", start, start.addDays(30), inf, {}, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    UsageSnapshot s;
    s.billingStart = r.start;
    s.billingEnd = r.end;
    s.totalPercentUsed = r.used;
    const View v = loaded(s);
    const auto& b = v.billing;
    EXPECT_EQ(b ? b->forecast : std::nullopt, r.forecast);
    EXPECT_EQ(b ? b->runsOut : std::nullopt, r.runsOut);
    if (r.forecast) {
      ASSERT_TRUE(b);
      EXPECT_EQ(b->forecastColor, r.color);
    }
  }
}

}  // namespace
}  // namespace qb

// The usage alert rule: when a band or a refused session is told, and in which words.
#include <gtest/gtest.h>

#include "present/usage_alerts.h"
#include "present/view_fixtures.h"

namespace qb {
namespace {

using State = UsageMonitor::State;

TEST(UsageAlerts, TextsOfABandAlert) {
  UsageSnapshot s;
  s.billingStart = now.addDays(-26);
  s.billingEnd = now.addDays(4);
  s.totalPercentUsed = 91;
  s.isCentsBased = true;
  s.planUsed = 1820;
  s.planLimit = 2000;
  const AlertDecision d = usageAlert({Provider::cursor, State::loaded(s), false, true}, {}, now, us);
  ASSERT_TRUE(d.notice);
  EXPECT_EQ(d.notice->summary, QStringLiteral("Cursor at 90%"));
  EXPECT_EQ(d.notice->body, QStringLiteral("$18.20 of $20.00 \u00b7 4 days left"));
  EXPECT_EQ(d.notice->urgency, Notice::Urgency::critical);
}

}  // namespace
}  // namespace qb

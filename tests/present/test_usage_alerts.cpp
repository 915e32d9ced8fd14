// The usage alert rule: when a band or a refused session is told, and in which words.
#include <gtest/gtest.h>

#include "present/usage_alerts.h"
#include "present/view_fixtures.h"

namespace qb {
namespace {

using State = UsageMonitor::State;

// One service's polls in a row, each starting from the memory the one before left.
TEST(UsageAlerts, OncePerBandPerCycleAndOncePerRefusal) {
  constexpr double refused = -1;
  struct Step {
    const char* what;
    double percent;
    int cycleStartDaysAgo;
    bool enabled;
    const char* told;  // "summary|urgency"
  } steps[] = {
      {"refused before any success", refused, 9, true, ""},
      {"just under 65", 64.99, 9, true, ""},
      {"exactly 65", 65, 9, true, "Cursor at 65%|1"},
      {"just under 90", 89.99, 9, true, ""},
      {"exactly 90", 90, 9, true, "Cursor at 90%|2"},
      {"a re-poll above", 93, 9, true, ""},
      // Hovering at 90 tells it once; a fall below 85 re-arms it, below 60 re-arms 65 too.
      {"down to 85", 85, 9, true, ""},
      {"back at 90", 90, 9, true, ""},
      {"down below 85", 84.9, 9, true, ""},
      {"90 again", 90.5, 9, true, "Cursor at 90%|2"},
      {"down below 60", 59, 9, true, ""},
      {"65 again", 66, 9, true, "Cursor at 65%|1"},
      {"a new cycle already past 90", 95, 1, true, "Cursor at 90%|2"},
      {"a new cycle below 65", 10, 0, true, ""},
      // Switched off, the memory follows: switching on does not tell old news.
      {"crossing 65 switched off", 70, 0, false, ""},
      {"switched on", 70, 0, true, ""},
      {"refused", refused, 0, true, "Cursor signed you out|1"},
      {"refused twice", refused, 0, true, ""},
      {"signed in", 70, 0, true, ""},
      {"refused again", refused, 0, true, "Cursor signed you out|1"},
      {"signed in, switched off", 70, 0, false, ""},
      {"refused switched off", refused, 0, false, ""},
      {"still refused, switched on", refused, 0, true, ""},
  };
  AlertMemory memory;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    UsageSnapshot snapshot = usage(s.percent);
    snapshot.billingStart = now.addDays(-s.cycleStartDaysAgo);
    const bool refusal = s.percent == refused;
    const State state = refusal ? State::of(State::Kind::signedOut) : State::loaded(snapshot);
    const AlertDecision d = usageAlert({Provider::cursor, state, refusal, s.enabled}, memory, now, us);
    const QString told = d.notice ? d.notice->summary + u'|' + QString::number(int(d.notice->urgency)) : QString();
    EXPECT_EQ(told, QString::fromUtf8(s.told));
    memory = d.memory;
  }
}

TEST(UsageAlerts, TextsOfABandAlert) {
  UsageSnapshot s = usage(91);
  s.billingStart = now.addDays(-26);
  s.billingEnd = now.addDays(4);
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

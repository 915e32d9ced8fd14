// The pace forecast under the billing cycle, as the provider section shows it.
#include <gtest/gtest.h>

#include "present/cycle_chart.h"
#include "present/provider_section_view.h"
#include "present/view_fixtures.h"

namespace qb {
namespace {

using State = UsageMonitor::State;
using View = ProviderSectionView;

View loaded(const UsageSnapshot& s, const QList<UsageSample>& history = {}) {
  return providerSectionView({s.provider, State::loaded(s), std::nullopt, false, history}, now, us);
}

// Day 15 of a thirty-day cycle ending 21 Dec.
const QDateTime cycleStart = now.addDays(-15);
using Figure = std::function<std::optional<double>(double day)>;

// A sample an hour from `fromDay` up to now, `percent` of the day (nothing: a gap), of the
// cycle that starts `cycleDays` after this one's.
QList<UsageSample> hourly(double fromDay, const Figure& percent, int cycleDays = 0, const Figure& limit = {}) {
  QList<UsageSample> out;
  for (double day = fromDay; day < 15; day += 1.0 / 24) {
    const std::optional<double> p = percent(day);
    if (!p) continue;
    const std::optional<double> l = limit ? std::optional(limit(day)) : std::nullopt;
    out.append({.atMs = cycleStart.addMSecs(qint64(day * 24 * 3600 * 1000)).toMSecsSinceEpoch(), .percent = p,
                .used = l ? std::optional(*p * *l / 100) : std::nullopt, .limit = l,
                .cycleStartMs = cycleStart.addDays(cycleDays).toMSecsSinceEpoch()});
  }
  return out;
}

UsageSnapshot atDay15(double percent, std::optional<double> limit = std::nullopt) {
  return {.billingStart = cycleStart, .billingEnd = cycleStart.addDays(30), .totalPercentUsed = percent,
          .planUsed = limit ? std::optional(percent * *limit / 100) : std::nullopt, .planLimit = limit};
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
    const View v = loaded({.billingStart = r.start, .billingEnd = r.end, .totalPercentUsed = r.used});
    const auto& b = v.billing;
    EXPECT_EQ(b ? b->forecast : std::nullopt, r.forecast);
    EXPECT_EQ(b ? b->runsOut : std::nullopt, r.runsOut);
    if (r.forecast) {
      ASSERT_TRUE(b);
      EXPECT_EQ(b->forecastColor, r.color);
    }
  }
}

TEST(PaceForecast, LearnsTheRecentPaceFromTheHistory) {
  using Basis = PaceForecast::Basis;
  const struct {
    const char* what;
    QList<UsageSample> history;
    UsageSnapshot now;
    int forecast;
    Basis basis;
  } rows[] = {
      {"steady: both bases agree", hourly(0, [](double d) { return 56 * d / 15; }), atDay15(56), 112, Basis::recent},
      {"idle a fortnight, then heavy: recent says more", hourly(0, [](double d) { return d < 12 ? 0 : (d - 12) * 10; }),
       atDay15(30), 94, Basis::recent},
      {"heavy, then idle: recent says less", hourly(0, [](double d) { return std::min(60.0, d * 12); }), atDay15(60),
       60, Basis::recent},
      {"a new cycle: the old one's history is ignored",
       hourly(-30, [](double d) { return d < 0 ? 90 : 40; }, -30) + hourly(13, [](double) { return 40; }),
       atDay15(40), 80, Basis::cycle},
      {"days without samples", hourly(0, [](double d) -> std::optional<double> {
         return d < 3 ? std::optional(2 * d) : d < 12 ? std::nullopt : std::optional(30 + 5 * (d - 12)); }),
       atDay15(45), 94, Basis::recent},
      {"the limit doubled on day 10", hourly(0, [](double d) { return d < 10 ? 5 * d : 2.5 * d; }, 0,
                                             [](double d) { return d < 10 ? 500 : 1000; }),
       atDay15(37.5, 1000), 75, Basis::recent},
      {"under three days of history", hourly(12.5, [](double d) { return 4 * d; }), atDay15(60), 120, Basis::cycle},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::optional<PaceForecast> f = paceForecast(r.now, now, us, r.history);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->text, QStringLiteral("On pace for %1% by 21 Dec").arg(r.forecast));
    EXPECT_EQ(f->basis, r.basis);
    EXPECT_EQ(loaded(r.now, r.history).billing->forecast, f->text);
  }
}

TEST(CycleChart, GeometryAndSentenceFromTheHistory) {
  const Figure quickening = [](double d) { return 58 * d * d / 225; };
  const struct {
    const char* what;
    QList<UsageSample> history;
    UsageSnapshot snapshot;
    std::optional<QString> sentence;
    double top = 100;
  } rows[] = {
      {"sixteen quickening days", hourly(0, quickening), atDay15(58),
       QStringLiteral("58% used after 15 of 30 days; even pace 50%; on pace for 147%"), 150},
      {"no history yet", {}, atDay15(58), {}},
      {"only the last cycle's", hourly(-20, quickening, -30), atDay15(58), {}},
      {"a year of rows", hourly(-350, [](double d) { return d < 0 ? 80 : 58 * d / 15; }, 0), atDay15(58),
       QStringLiteral("58% used after 15 of 30 days; even pace 50%; on pace for 116%"), 125},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::optional<CycleChart> c = loaded(r.snapshot, r.history).billing->chart;
    ASSERT_EQ(c.has_value(), r.sentence.has_value());
    if (!c) continue;
    EXPECT_EQ(c->accessibleDescription, *r.sentence);
    EXPECT_EQ(c->top, r.top);
    // Oldest first, at most a point per column, ending now; the projection runs on from there.
    EXPECT_LE(c->usage.size(), 242);
    EXPECT_NEAR(c->usage.first().x(), 0, 0.01);
    EXPECT_EQ(c->usage.last(), QPointF(0.5, 58));
    EXPECT_EQ(c->projection->p1(), c->usage.last());
    EXPECT_EQ(c->projection->p2().x(), 1);
    EXPECT_TRUE(std::is_sorted(c->usage.begin(), c->usage.end(), [](auto a, auto b) { return a.x() < b.x(); }));
  }
}

}  // namespace
}  // namespace qb

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "present/status_item_display.h"

namespace qb {
namespace {

using State = UsageMonitor::State;

StatusItemInput loadedInput(std::optional<double> total, std::optional<double> api = std::nullopt) {
  UsageSnapshot s;
  s.totalPercentUsed = total;
  s.apiPercentUsed = api;
  return {{Provider::cursor}, Provider::cursor, State::loaded(s), std::nullopt};
}

TEST(StatusItemDisplay, ImageBandsColoursAndRounding) {
  struct Case {
    double p;
    const char* image;
    const char* title;
    const char* color;
  } cases[] = {
      {0, "gauge.with.dots.needle.0percent", " 0%", "labelColor"},
      {9.99, "gauge.with.dots.needle.0percent", " 10%", "labelColor"},
      {10, "gauge.with.dots.needle.33percent", " 10%", "labelColor"},
      {40, "gauge.with.dots.needle.50percent", " 40%", "labelColor"},
      {42.5, "gauge.with.dots.needle.50percent", " 43%", "labelColor"},
      {64.9, "gauge.with.dots.needle.50percent", " 65%", "labelColor"},
      {65, "gauge.with.dots.needle.50percent", " 65%", "systemYellowColor"},
      {70, "gauge.with.dots.needle.67percent", " 70%", "systemYellowColor"},
      {89.99, "gauge.with.dots.needle.67percent", " 90%", "systemYellowColor"},
      {90, "gauge.with.dots.needle.100percent", " 90%", "systemRedColor"},
      {250, "gauge.with.dots.needle.100percent", " 250%", "systemRedColor"},
      {-2.5, "gauge.with.dots.needle.0percent", " -3%", "labelColor"},
  };
  for (const auto& c : cases) {
    const auto d = statusItemDisplay(loadedInput(c.p), QLocale::c());
    EXPECT_EQ(d.image, QLatin1String(c.image)) << c.p;
    EXPECT_EQ(d.title, QLatin1String(c.title)) << c.p;
    EXPECT_EQ(d.titleColor, QLatin1String(c.color)) << c.p;
  }
  // The API share stands in for a missing total.
  EXPECT_EQ(statusItemDisplay(loadedInput(std::nullopt, 7)).title, QStringLiteral(" 7%"));
}

TEST(StatusItemDisplay, TooltipPartsAreJoinedByBullets) {
  StatusItemInput in = loadedInput(42.5);
  in.primaryState.snapshot->email = QStringLiteral("ada@example.com");
  in.primaryState.snapshot->onDemandUsedCents = 1523;
  in.lastUpdated = QDateTime(QDate(2026, 12, 6), QTime(9, 5), Qt::LocalTime);
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(statusItemDisplay(in, us).tooltip,
            QStringLiteral("Cursor \u2022 ada@example.com \u2022 Utilization 42.5% \u2022 On-demand $15.23 "
                           "\u2022 Updated ") +
                us.toString(QTime(9, 5), QLocale::ShortFormat));

  in.primaryState.snapshot->onDemandUsedCents = 0;
  in.primaryState.snapshot->email.reset();
  in.lastUpdated.reset();
  EXPECT_EQ(statusItemDisplay(in).tooltip, QStringLiteral("Cursor \u2022 Utilization 42.5%"));
}

TEST(StatusItemDisplay, WithoutAFigureItCountsConnectedServices) {
  StatusItemInput none;
  auto d = statusItemDisplay(none);
  EXPECT_EQ(d.title, QStringLiteral(" Sign in"));
  EXPECT_EQ(d.image, QStringLiteral("person.crop.circle.badge.questionmark"));
  EXPECT_EQ(d.tooltip, QStringLiteral("Quotabar \u2014 click to connect an AI provider"));
  EXPECT_FALSE(d.titleColor);

  StatusItemInput noFigure = loadedInput(std::nullopt);
  d = statusItemDisplay(noFigure);
  EXPECT_EQ(d.image, QStringLiteral("person.crop.circle.badge.checkmark"));
  EXPECT_TRUE(d.title.isEmpty());
  EXPECT_FALSE(d.titleColor);
  EXPECT_EQ(d.tooltip, QStringLiteral("Quotabar \u2014 1 provider connected"));

  StatusItemInput failed{{Provider::cursor, Provider::claude}, Provider::cursor,
                         State::failed(QStringLiteral("HTTP 500: ")), std::nullopt};
  EXPECT_EQ(statusItemDisplay(failed).tooltip, QStringLiteral("Quotabar \u2014 2 providers connected"));

  // Figures that cannot be rounded into a title show as no figure, never a crash.
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e19}) {
    d = statusItemDisplay(loadedInput(bad));
    EXPECT_EQ(d.image, QStringLiteral("person.crop.circle.badge.checkmark")) << bad;
    EXPECT_TRUE(d.title.isEmpty());
  }
}

}  // namespace
}  // namespace qb

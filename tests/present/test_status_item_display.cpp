// What the tray tells: its icon, title and tooltip, the look for the panel, and the usage alerts
// (when a band or a refused session is told, and in which words).
#include <gtest/gtest.h>

#include "present/status_item_display.h"
#include "present/tray_icon_look.h"
#include "present/usage_alerts.h"
#include "present/view_fixtures.h"
#include "support/test_support.h"

namespace qb {
namespace {

using State = UsageMonitor::State;

StatusItemInput loadedInput(std::optional<double> total, std::optional<double> api = std::nullopt) {
  return trayShowing(State::loaded(usage(total, api)));
}

TEST(StatusItemDisplay, ImageBandsColoursAndRounding) {
  struct Case {
    double p;
    const char* image;  // suffix of "gauge.with.dots.needle."
    const char* title;
    const char* color;
  } cases[] = {
      {0, "0percent", " 0%", "labelColor"},           {9.99, "0percent", " 10%", "labelColor"},
      {10, "33percent", " 10%", "labelColor"},        {40, "50percent", " 40%", "labelColor"},
      {64.9, "50percent", " 65%", "labelColor"},      {65, "50percent", " 65%", "systemYellowColor"},
      {70, "67percent", " 70%", "systemYellowColor"}, {89.99, "67percent", " 90%", "systemYellowColor"},
      {90, "100percent", " 90%", "systemRedColor"},   {250, "100percent", " 250%", "systemRedColor"},
      {-2.5, "0percent", " -3%", "labelColor"},
  };
  for (const auto& c : cases) {
    const auto d = statusItemDisplay(loadedInput(c.p), QLocale::c());
    EXPECT_EQ(d.image, QStringLiteral("gauge.with.dots.needle.") + QLatin1String(c.image)) << c.p;
    EXPECT_EQ(d.title, QLatin1String(c.title)) << c.p;
    EXPECT_EQ(d.titleColor, QLatin1String(c.color)) << c.p;
  }
  EXPECT_EQ(statusItemDisplay(loadedInput(std::nullopt, 7)).title, QStringLiteral(" 7%"));
  EXPECT_EQ(statusItemDisplay(loadedInput(42, 7)).title, QStringLiteral(" 42%"));  // the total wins
}

TEST(StatusItemDisplay, TooltipShowsTheUpdateTimeWithoutSecondsInAnyLocale) {
  StatusItemInput in = trayShowing(
      State::loaded({.email = QStringLiteral("ada@example.com"), .totalPercentUsed = 42.5, .onDemandUsedCents = 1523}));
  in.lastUpdated = QDateTime(QDate(2026, 12, 6), QTime(21, 5, 47), Qt::LocalTime);
  struct Case {
    QLocale locale;
    const char* time;
  } cases[] = {{QLocale::c(), "21:05"},
               {QLocale(QLocale::English, QLocale::UnitedStates), "9:05 PM"},
               {QLocale(QLocale::Finnish, QLocale::Finland), "21.05"}};
  for (const auto& c : cases) {
    const QString tooltip = statusItemDisplay(in, c.locale).tooltip;
    EXPECT_EQ(tooltip, QStringLiteral("Cursor \u2022 ada@example.com \u2022 Utilization 42.5% \u2022 On-demand $15.23 "
                                      "\u2022 Updated ") + QString::fromUtf8(c.time))
        << c.locale.name().toStdString();
  }
  in.primaryState.snapshot->onDemandUsedCents = 0;
  in.primaryState.snapshot->email.reset();
  in.lastUpdated.reset();
  EXPECT_EQ(statusItemDisplay(in).tooltip, QStringLiteral("Cursor \u2022 Utilization 42.5%"));
}

TEST(StatusItemDisplay, WithoutAFigureItCountsConnectedServices) {
  auto d = statusItemDisplay(StatusItemInput{});
  EXPECT_EQ(d.title, QStringLiteral(" Sign in"));
  EXPECT_EQ(d.tooltip, QStringLiteral("Quotabar \u2014 click to connect an AI provider"));
  StatusItemInput failed{{Provider::cursor, Provider::claude}, Provider::cursor,
                         State::failed(QStringLiteral("HTTP 500: ")), std::nullopt};
  EXPECT_EQ(statusItemDisplay(failed).tooltip, QStringLiteral("Quotabar \u2014 2 providers connected"));
  // No percentage, or one that cannot be rounded into a title: no figure, never a crash.
  const std::optional<double> none[] = {std::nullopt, nan, inf, -1e300, 1e19};
  for (const auto& bad : none) {
    d = statusItemDisplay(loadedInput(bad));
    EXPECT_EQ(d.image, QStringLiteral("person.crop.circle.badge.checkmark")) << bad.value_or(0);
    EXPECT_TRUE(d.title.isEmpty() && !d.titleColor);
    EXPECT_EQ(d.tooltip, QStringLiteral("Quotabar \u2014 1 provider connected"));
  }
}

TEST(TrayIconLook, PanelToneColoursAndTheMark) {
  // Which panel the icon is made for: the choice, else GNOME's dark top bar, else the scheme.
  struct Case {
    TrayIconStyle style;
    const char* desktop;
    bool darkScheme, darkPanel;
  } cases[] = {{TrayIconStyle::automatic, "ubuntu:GNOME", false, true}, {TrayIconStyle::automatic, "KDE", false, false},
               {TrayIconStyle::automatic, "KDE", true, true},          {TrayIconStyle::colour, "GNOME", false, true},
               {TrayIconStyle::colour, "XFCE", false, false},          {TrayIconStyle::light, "KDE", false, true},
               {TrayIconStyle::dark, "GNOME", true, false}};
  for (const Case& c : cases) {
    for (const auto level : {std::optional<UsageLevel>(), std::optional(UsageLevel::normal),
                             std::optional(UsageLevel::warning), std::optional(UsageLevel::critical)}) {
      const TrayIconLook look = trayIconLook(c.style, {QLatin1String(c.desktop), c.darkScheme}, level);
      SCOPED_TRACE(testing::Message() << c.desktop << " style " << int(c.style) << " level " << int(level.value_or(UsageLevel::normal)));
      EXPECT_EQ(look.darkPanel, c.darkPanel);
      EXPECT_GE(contrastRatio(look.figure, look.panel), 4.5);
      // One colour, the level in the ring's fill and the mark; or the level colours.
      EXPECT_EQ(look.monochrome, c.style != TrayIconStyle::colour);
      EXPECT_EQ(look.mark, look.monochrome && level == UsageLevel::critical);
      EXPECT_TRUE(!look.monochrome || (look.figure == look.ring && look.ring == look.track));
    }
  }
  const auto colour = [](UsageLevel l) { return trayIconLook(TrayIconStyle::colour, {}, l).figure; };
  EXPECT_NE(colour(UsageLevel::normal), colour(UsageLevel::warning));
  EXPECT_NE(colour(UsageLevel::warning), colour(UsageLevel::critical));
  for (TrayIconStyle style : allTrayIconStyles) EXPECT_EQ(trayIconStyleFromSetting(trayIconSetting(style)), style);
  EXPECT_EQ(trayIconStyleFromSetting(QStringLiteral("neon")), TrayIconStyle::automatic);
}

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
    const bool refusal = s.percent == refused;
    const State state = refusal ? State::of(State::Kind::signedOut)
                                : State::loaded({.billingStart = now.addDays(-s.cycleStartDaysAgo), .totalPercentUsed = s.percent});
    const AlertDecision d = usageAlert({Provider::cursor, state, refusal, s.enabled}, memory, now, us);
    const QString told = d.notice ? d.notice->summary + u'|' + QString::number(int(d.notice->urgency)) : QString();
    EXPECT_EQ(told, QString::fromUtf8(s.told));
    memory = d.memory;
  }
}

TEST(UsageAlerts, TextsOfABandAlert) {
  const UsageSnapshot s{.billingStart = now.addDays(-26), .billingEnd = now.addDays(4), .totalPercentUsed = 91,
                        .planUsed = 1820, .planLimit = 2000, .isCentsBased = true};
  const AlertDecision d = usageAlert({Provider::cursor, State::loaded(s), false, true}, {}, now, us);
  ASSERT_TRUE(d.notice);
  EXPECT_EQ(d.notice->body, QStringLiteral("$18.20 of $20.00 \u00b7 4 days left"));
}

}  // namespace
}  // namespace qb

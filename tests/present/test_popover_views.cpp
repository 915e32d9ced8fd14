// The popover, section, banner and onboarding view-models, on a fixed clock and a US locale.
#include <gtest/gtest.h>

#include "present/formatters.h"
#include "present/onboarding_view.h"
#include "present/popover_view.h"
#include "present/tint.h"
#include "present/view_fixtures.h"

namespace qb {
namespace {

using State = UsageMonitor::State;
using Kind = State::Kind;
using View = ProviderSectionView;

View loaded(const UsageSnapshot& s, std::optional<QDateTime> updated = std::nullopt) {
  return providerSectionView({s.provider, State::loaded(s), updated, false}, now, us);
}

TEST(Formatters, MoneyPlanAmountsAndRelativeTimes) {
  EXPECT_EQ(money(nan, us), std::nullopt);  // infinite: the {true, 100, inf} plan row
  struct Plan {
    bool cents;
    double used, limit;
    std::optional<QString> text;
  } plans[] = {
      {false, 1, 1, QStringLiteral("1 / 1 request")},
      {false, 12.9, 500, QStringLiteral("12 / 500 requests")},
      {false, -3.7, 10, QStringLiteral("-3 / 10 requests")},
      {false, nan, 500, std::nullopt},
      {false, 1e300, 500, std::nullopt},
      {true, 100, inf, std::nullopt},
  };
  for (const auto& p : plans) EXPECT_EQ(planUsageText(p.cents, p.used, p.limit, us), p.text) << p.used;

  struct Rel {
    qint64 secondsAgo;
    const char* text;
  } rels[] = {{0, "now"},          {1, "1 sec. ago"}, {60, "1 min. ago"},        {7200, "2 hr. ago"},
              {86400, "1 day ago"}, {3 * 86400, "3 days ago"}, {-300, "in 5 min."}, {400 * 86400, "1 yr. ago"}};
  for (const auto& r : rels)
    EXPECT_EQ(relativeTime(now.addSecs(-r.secondsAgo), now), QLatin1String(r.text)) << r.secondsAgo;
  EXPECT_EQ(mediumDate(QDate(2026, 11, 20), us), QStringLiteral("Nov 20, 2026"));
}

TEST(ProviderSection, HeaderAndBodyFollowTheMonitorState) {
  struct Case {
    State state;
    View::Action action;
    const char* actionName;
    View::Body body;
    const char* bodyText;
  } cases[] = {
      {State::of(Kind::unknown), View::Action::progress, "Loading Claude usage", View::Body::checking, "Checking\u2026"},
      {State::of(Kind::loading), View::Action::progress, "Loading Claude usage", View::Body::loading, "Loading usage\u2026"},
      {State::of(Kind::signedOut), View::Action::signIn, "Sign in to Claude", View::Body::signedOut,
       "Anthropic Claude \u2014 account session"},
      {State::failed(QStringLiteral("HTTP 500: boom")), View::Action::retry, "Retry loading Claude",
       View::Body::error, "HTTP 500: boom"},
      {State::loaded(accountOnlySnapshot(Provider::claude, {}, {}, {})), View::Action::none, "", View::Body::loaded, ""},
  };
  for (const auto& c : cases) {
    const View v = providerSectionView({Provider::claude, c.state, std::nullopt, true}, now, us);
    EXPECT_EQ(v.action, c.action);
    EXPECT_EQ(v.actionAccessibleName, QString::fromUtf8(c.actionName));
    EXPECT_EQ(v.body, c.body);
    EXPECT_EQ(v.bodyText, QString::fromUtf8(c.bodyText));
    EXPECT_TRUE(v.beta);
    EXPECT_EQ(v.pin.accessibleValue, QStringLiteral("On"));
  }
  const View off = providerSectionView({Provider::cursor, State::of(Kind::signedOut), {}, false}, now, us);
  EXPECT_FALSE(off.beta);
  EXPECT_EQ(off.pin.icon, QStringLiteral("menubar.dock.rectangle"));
  EXPECT_EQ(off.pin.toolTip, QStringLiteral("Show in the tray"));
  EXPECT_EQ(off.pin.accessibleName, QStringLiteral("Show Cursor in the tray"));
}

TEST(ProviderSection, UtilizationLevelsAndPlanDetails) {
  struct Case {
    std::optional<double> total, api;
    const char* percent;
    Tint color;
    double bar;
    const char* accessibleValue;
  } cases[] = {
      {64.9, {}, "64.9%", Tint::green, 64.9, "64.9 percent, normal"},
      {65, {}, "65.0%", Tint::yellow, 65, "65.0 percent, warning"},
      {89.99, {}, "90.0%", Tint::yellow, 89.99, "90.0 percent, warning"},
      {90, {}, "90.0%", Tint::red, 90, "90.0 percent, critical"},
      {120, {}, "120.0%", Tint::red, 100, "120.0 percent, critical"},
      {-5, {}, "-5.0%", Tint::green, 0, "-5.0 percent, normal"},
      {{}, 42.5, "42.5%", Tint::green, 42.5, "42.5 percent, normal"},
  };
  for (const auto& c : cases) {
    const auto u = loaded(usage(c.total, c.api)).utilization;
    ASSERT_TRUE(u) << c.percent;
    EXPECT_EQ(u->percentText, QLatin1String(c.percent));
    EXPECT_EQ(u->color, c.color) << c.percent;
    EXPECT_DOUBLE_EQ(u->barValue, c.bar);
    EXPECT_EQ(u->accessibleValue, QLatin1String(c.accessibleValue));
  }
  // Absent or not finite: the note instead, or nothing.
  UsageSnapshot note = accountOnlySnapshot(Provider::codex, {}, {}, QStringLiteral("See the dashboard."));
  EXPECT_FALSE(loaded(note).utilization);
  EXPECT_EQ(loaded(note).statusNote, QStringLiteral("See the dashboard."));
  note.totalPercentUsed = nan;
  EXPECT_FALSE(loaded(note).utilization);

  struct Plan {
    bool cents;
    std::optional<double> used, limit, remaining;
    std::optional<QString> plan, left;
  } plans[] = {
      {true, 1234, 2000, 766, QStringLiteral("$12.34 of $20.00"), QStringLiteral("$7.66 left")},
      {false, 12, 500, 488, QStringLiteral("12 / 500 requests"), QStringLiteral("488 left")},
      {false, 12, 0, 0, std::nullopt, QStringLiteral("0 left")},
      {false, 12, {}, {}, std::nullopt, std::nullopt},
      {false, 12, 500, inf, QStringLiteral("12 / 500 requests"), std::nullopt},
  };
  for (const auto& p : plans) {
    const auto u = loaded({.totalPercentUsed = 10, .planUsed = p.used, .planLimit = p.limit,
                           .planRemaining = p.remaining, .isCentsBased = p.cents}).utilization;
    ASSERT_TRUE(u);
    EXPECT_EQ(u->planText, p.plan);
    EXPECT_EQ(u->remainingText, p.left);
  }
}

TEST(ProviderSection, OnDemandBlock) {
  struct Case {
    bool enabled;
    std::optional<double> used, cap;
    bool shown;
    const char *amount, *note, *capText, *capPercent;
  } cases[] = {
      {true, {}, {}, true, "$0.00", "Credits used past your included plan", nullptr, nullptr},
      {false, 0, 5000, false, nullptr, nullptr, nullptr, nullptr},
      {false, 1523, 5000, true, "$15.23", nullptr, "Hard limit $50.00", "30% of cap"},
      {true, 9000, 5000, true, "$90.00", nullptr, "Hard limit $50.00", "100% of cap"},
      {true, 100, 0, true, "$1.00", "Credits used past your included plan", nullptr, nullptr},
      {true, nan, 5000, true, "$0.00", nullptr, "Hard limit $50.00", "0% of cap"},
  };
  for (const auto& c : cases) {
    const auto o = loaded({.onDemandUsedCents = c.used, .onDemandLimitCents = c.cap, .onDemandEnabled = c.enabled}).onDemand;
    ASSERT_EQ(o.has_value(), c.shown);
    if (!o) continue;
    EXPECT_EQ(o->amount, QLatin1String(c.amount));
    EXPECT_EQ(o->note.value_or(QString()), QLatin1String(c.note));
    EXPECT_EQ(o->capText.value_or(QString()), QLatin1String(c.capText));
    EXPECT_EQ(o->capPercent.value_or(QString()), QLatin1String(c.capPercent));
  }
}

TEST(ProviderSection, BillingCycleEdges) {
  const QDateTime start(QDate(2026, 11, 20), QTime(0, 0), Qt::LocalTime);
  struct Case {
    std::optional<QDateTime> start, end;
    const char* daysLeft;
    std::optional<double> progress;
    const char* cycle;
  } cases[] = {
      {start, start.addDays(30), "13 days left", 16.5 / 30, "30 day cycle"},
      {start, now.addSecs(-60), "0 days left", 1.0, "16 day cycle"},
      {start, now.addSecs(3600), "0 days left", 396.0 / 397, "16 day cycle"},
      {start.addDays(30), start, "0 days left", std::nullopt, nullptr},  // end before start
      {std::nullopt, start.addDays(30), "13 days left", std::nullopt, nullptr},
      {now.addDays(1), now.addDays(31), "31 days left", 0.0, "30 day cycle"},
  };
  for (const auto& c : cases) {
    const auto b = loaded({.billingStart = c.start, .billingEnd = c.end}).billing;
    ASSERT_TRUE(b);
    EXPECT_EQ(b->daysLeft, QLatin1String(c.daysLeft));
    ASSERT_EQ(b->progress.has_value(), c.progress.has_value()) << c.daysLeft;
    if (c.progress) {
      EXPECT_NEAR(*b->progress, *c.progress, 1e-9);
    }
    EXPECT_EQ(b->cycle.value_or(QString()), QLatin1String(c.cycle));
  }
  EXPECT_FALSE(loaded(UsageSnapshot{}).billing);
}

TEST(ProviderSection, AccountRow) {
  UsageSnapshot s{.membership = QStringLiteral("pro PLUS")};
  View v = loaded(s, now.addSecs(-120));
  EXPECT_EQ(v.account, QStringLiteral("Signed in"));
  EXPECT_EQ(v.membership, QStringLiteral("Pro Plus"));
  EXPECT_EQ(v.updated, QStringLiteral("Updated 2 min. ago"));
  EXPECT_EQ(v.updatedAccessibleName, QStringLiteral("Last updated 2 min. ago"));
  s.email = QStringLiteral("ada@example.com");
  EXPECT_EQ(loaded(s).account, QStringLiteral("ada@example.com"));
  EXPECT_FALSE(loaded(s).updated);
}

TEST(UpdateBanner, EveryUpdaterState) {
  const UpdateInfo info{.version = QStringLiteral("1.4.0")};
  using P = UpdateBannerView::Progress;
  struct Case {
    UpdaterState state;
    bool shown;
    const char* title;
    std::optional<QString> detail;
    P progress;
    std::optional<QString> button;
  } cases[] = {
      {update_state::Idle{}, false, "", {}, P::none, {}},
      {update_state::Checking{}, false, "", {}, P::none, {}},
      {update_state::UpToDate{}, false, "", {}, P::none, {}},
      {update_state::Available{info}, true, "Update available \u2014 v1.4.0",
       QStringLiteral("You're on v1.0.0. View release notes \u2192"), P::none, QStringLiteral("Details")},
      {update_state::Downloading{info, 0.25}, true, "Downloading v1.4.0", {}, P::determinate, QStringLiteral("View")},
      {update_state::Downloading{info, -1}, true, "Downloading v1.4.0", {}, P::indeterminate, QStringLiteral("View")},
      {update_state::Downloading{info, nan}, true, "Downloading v1.4.0", {}, P::indeterminate, QStringLiteral("View")},
      {update_state::ReadyToInstall{info, {}}, true, "v1.4.0 ready to install",
       QStringLiteral("Click Install \u2014 the app will quit and relaunch."), P::none, QStringLiteral("Install")},
      {update_state::Installing{}, true, "Installing update\u2026", {}, P::none, {}},
      {update_state::Failed{std::nullopt, QStringLiteral("Server responded 500.")}, true, "Update failed",
       QStringLiteral("Server responded 500."), P::none, QStringLiteral("Details")},
  };
  for (const auto& c : cases) {
    const auto b = updateBannerView(c.state, QStringLiteral("1.0.0"));
    ASSERT_EQ(b.has_value(), c.shown) << stateName(c.state).toStdString();
    if (!b) continue;
    EXPECT_EQ(b->title, QString::fromUtf8(c.title));
    EXPECT_EQ(b->detail, c.detail);
    EXPECT_EQ(b->progress, c.progress);
    EXPECT_EQ(b->button, c.button);
  }
}

PopoverInput inputWith(std::initializer_list<std::pair<Provider, State>> states) {
  PopoverInput in;
  for (Provider p : allProviders) in.sections[static_cast<int>(p)] = {p, State::of(Kind::signedOut), {}, false};
  for (const auto& [p, s] : states) {
    in.sections[static_cast<int>(p)].state = s;
    in.connected.append(p);
  }
  return in;
}

TEST(Popover, EmptyStateListAndOptionsMenu) {
  PopoverInput none = inputWith({});
  none.sections[3].isPrimary = true;
  none.refreshIntervalSeconds = 45;
  PopoverView v = popoverView(none, now, us);
  EXPECT_TRUE(v.empty);
  EXPECT_FALSE(v.refreshEnabled);
  EXPECT_TRUE(v.sections.isEmpty());
  EXPECT_FALSE(v.banner);
  EXPECT_FALSE(v.menu.signOutTitle);
  EXPECT_FALSE(v.menu.checkForUpdatesText);
  EXPECT_FALSE(v.menu.versionLine);
  for (const auto& c : v.menu.intervals) EXPECT_FALSE(c.checked) << c.label.toStdString();
  EXPECT_TRUE(v.menu.primaries[3].checked);
  EXPECT_EQ(v.menu.dashboardText, QStringLiteral("Open Cursor Dashboard"));

  PopoverInput two = inputWith({{Provider::codex, State::of(Kind::unknown)},
                                {Provider::claude, State::failed(QStringLiteral("x"))}});
  two.primary = Provider::claude;
  two.updater = PopoverInput::UpdaterInput{update_state::Checking{}, QStringLiteral("1.0.0"),
                                           QStringLiteral("7"), std::nullopt};
  v = popoverView(two, now, us);
  EXPECT_FALSE(v.empty);
  EXPECT_TRUE(v.refreshEnabled);
  ASSERT_EQ(v.sections.size(), 4);
  EXPECT_EQ(v.sections[0].action, View::Action::signIn);
  EXPECT_TRUE(v.menu.intervals[2].checked);
  EXPECT_EQ(v.menu.dashboardText, QStringLiteral("Open Claude Dashboard"));
  EXPECT_EQ(v.menu.versionLine, QStringLiteral("v1.0.0 (7)"));
  ASSERT_EQ(v.menu.signOutItems.size(), 2);
  EXPECT_EQ(v.menu.signOutItems[0].second, QStringLiteral("Sign out of ChatGPT / Codex"));
  // When, not how long ago: a host that keeps the menu it read never shows a stale age.
  two.updater->lastChecked = now.addSecs(-3 * 3600);
  EXPECT_EQ(optionsMenuView(two, now, us).versionLine, QStringLiteral("v1.0.0 (7) \u00b7 checked 9:00 AM"));
  two.updater->lastChecked = now.addDays(-3);
  EXPECT_EQ(optionsMenuView(two, now, us).versionLine, QStringLiteral("v1.0.0 (7) \u00b7 checked Dec 3, 2026"));
}

TEST(Popover, TheListShowsWholeRowsOrAll) {
  const QList<int> rows{200, 300, 480, 520};
  for (const auto& [room, height] : {std::pair{600, 520}, {520, 520}, {519, 480}, {479, 300}, {250, 200}, {150, 150}, {-5, 0}})
    EXPECT_EQ(visibleListHeight(rows, room), height) << room;
  EXPECT_EQ(visibleListHeight({}, 100), 0);
}

TEST(Tint, TextIsMovedOnlyAsFarAsItsContrastNeeds) {
  EXPECT_NEAR(contrastRatio(0x000000, 0xffffff), 21, 1e-9);
  EXPECT_NEAR(contrastRatio(0x777777, 0xffffff), 4.48, 0.01);
  EXPECT_EQ(blend(0xff0000, 0.5, 0x0000ff), Rgb(0x800080));
  // Black or white always reaches 4.5:1, so every case ends legible.
  for (const auto& [text, background] : {std::pair<Rgb, Rgb>{0x9a7300, 0xefefef}, {0xc45500, 0xf5dccc},
                                         {0x409cff, 0x31363b}, {0x777777, 0x808080}, {0x0064d1, 0xffffff},
                                         {0xffffff, 0x308cc6}}) {
    const Rgb fitted = legibleOn(text, background);
    const double ratio = contrastRatio(fitted, background);
    if (contrastRatio(text, background) >= kMinimumContrast) {
      EXPECT_EQ(fitted, text) << std::hex << text;  // legible already: kept
    } else {
      EXPECT_GE(ratio, kMinimumContrast) << std::hex << text;
      EXPECT_LT(ratio, kMinimumContrast + 0.15) << std::hex << text;  // no further than needed
    }
  }
}

TEST(Onboarding, BadgesButtonsAndEmail) {
  const OnboardingView v = onboardingView(std::array<State, 4>{
      State::loaded({.email = QStringLiteral("ada@example.com")}), State::of(Kind::unknown),
      State::failed(QStringLiteral("x")), State::of(Kind::signedOut)});
  struct Row {
    const char* badge;
    const char* button;
    const char* buttonName;
    std::optional<QString> email;
  } rows[] = {
      {"Connected", "Sign out", "Sign out of Cursor", QStringLiteral("ada@example.com")},
      {"Connected", "Sign out", "Sign out of Windsurf", std::nullopt},
      {"Sign in needed again", "Sign in", "Sign in to ChatGPT / Codex", std::nullopt},
      {nullptr, "Sign in", "Sign in to Claude", std::nullopt},
  };
  ASSERT_EQ(v.rows.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const auto& r = v.rows[i];
    EXPECT_EQ(r.badge ? r.badge->text : QString(), QLatin1String(rows[i].badge)) << i;
    EXPECT_EQ(r.buttonText, QLatin1String(rows[i].button));
    EXPECT_EQ(r.buttonAccessibleName, QLatin1String(rows[i].buttonName));
    EXPECT_EQ(r.email, rows[i].email);
  }
  // A signed-in service still loading shows no email line.
  EXPECT_FALSE(onboardingView(std::array<State, 4>{State::of(Kind::loading), {}, {}, {}}).rows[0].email);
}

}  // namespace
}  // namespace qb

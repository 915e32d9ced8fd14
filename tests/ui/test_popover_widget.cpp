// The popover and onboarding widgets against a real store fed by loopback fakes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>

#include "popover_rig.h"
#include "present/tint.h"
#include "present/view_fixtures.h"
#include "ui/onboarding_window.h"
#include "ui/popover_widget.h"
#include "ui/symbol_icon.h"
#include "ui/update_window.h"

namespace qb {
namespace {

using Kind = UsageMonitor::State::Kind;
using ui::PopoverWidget;

template <class W = QAbstractButton>
W* find(QWidget& root, const QString& name) {
  return root.findChild<W*>(name);
}

QStringList texts(QWidget& root) {
  QStringList out;
  for (auto* l : root.findChildren<QLabel*>()) out << l->text();
  for (auto* b : root.findChildren<QAbstractButton*>()) out << b->text() << b->accessibleName();
  return out;
}

// What a screen reader says for a widget: its accessible name, else a button's text.
QString spoken(QWidget* w) {
  auto* b = qobject_cast<QAbstractButton*>(w);
  return !w->accessibleName().isEmpty() ? w->accessibleName() : b ? b->text() : QString();
}

// The focus stops of a window in the order Tab visits them, from `first` round to it.
QList<QWidget*> focusStops(QWidget& window, QWidget* first) {
  QList<QWidget*> stops;
  QWidget* w = first;
  do {
    stops << w;
    do {
      w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&window) || !w->isEnabled());
  } while (w != first && stops.size() < 100);
  return stops;
}

QAction* action(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->text() == text) return a;
    if (a->menu())
      if (QAction* inner = action(a->menu(), text)) return inner;
  }
  return nullptr;
}

TEST(PopoverWidget, ActionsReachTheirCallbacks) {
  test::PopoverRig rig({QStringLiteral("error"), {}, {}, QStringLiteral("normal")});
  ASSERT_TRUE(rig.startAndSettle());
  ASSERT_EQ(rig.store().monitor(Provider::cursor)->state().kind, Kind::error);
  Updater* updater = rig.withUpdate();
  ASSERT_TRUE(updater);

  QList<QString> calls;
  ui::PopoverActions actions;
  actions.onSignIn = [&](Provider p) { calls << QStringLiteral("signIn ") + rawValue(p); };
  actions.onSignOut = [&](Provider p) { calls << QStringLiteral("signOut ") + rawValue(p); };
  actions.onConnectProviders = [&] { calls << QStringLiteral("connect"); };
  actions.onRefresh = [&] { calls << QStringLiteral("refresh"); };
  actions.onCheckForUpdates = [&] { calls << QStringLiteral("check"); };
  actions.onShowUpdateDetails = [&] { calls << QStringLiteral("details"); };
  actions.onQuit = [&] { calls << QStringLiteral("quit"); };
  actions.onSetUsageAlerts = [&](bool on) { calls << QStringLiteral("alerts %1").arg(on); };
  actions.onOpenURL = [&](const QUrl& url) { calls << url.toString(); };
  PopoverWidget popover(rig.store(), updater, actions);
  popover.show();

  const struct {
    const char* button;
    QString call;
  } presses[] = {
      {"signIn-windsurf", QStringLiteral("signIn windsurf")},
      {"signInAgain-cursor", QStringLiteral("signIn cursor")},
      {"signOut-claude", QStringLiteral("signOut claude")},
      {"dashboard-claude", dashboardURL(Provider::claude).toString()},
      {"refresh", QStringLiteral("refresh")},
      {"connectMore", QStringLiteral("connect")},
      {"updateDetails", QStringLiteral("details")},
      {"quit", QStringLiteral("quit")},
  };
  // Return and Enter press the focused button, borderless or not, as in the other windows.
  for (const auto& p : presses) {
    calls.clear();
    auto* b = find(popover, QLatin1String(p.button));
    ASSERT_TRUE(b) << p.button;
    b->setFocus();
    QKeyEvent key(QEvent::KeyPress, calls.size() % 2 ? Qt::Key_Enter : Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(b, &key);
    EXPECT_EQ(calls, QList<QString>{p.call}) << p.button;
  }

  // Retry refreshes the monitor itself. Either request may be cancelled unsent when the
  // other fails first, so count both.
  auto& cursor = rig.server(Provider::cursor);
  const auto requests = [&] { return cursor.count("/api/usage-summary") + cursor.count("/api/auth/me"); };
  const auto before = requests();
  find(popover, QStringLiteral("retry-cursor"))->click();
  EXPECT_TRUE(test::waitUntil([&] { return requests() > before; }));

  // Menu: check for updates, pickers write the store, sign out of all takes the connected.
  QMenu* menu = popover.optionsMenu();
  calls.clear();
  action(menu, QStringLiteral("Check for Updates\u2026"))->trigger();
  action(menu, QStringLiteral("Sign out of all"))->trigger();
  action(menu, QStringLiteral("Usage Alerts"))->trigger();  // on by default: this switches off
  EXPECT_EQ(calls, (QList<QString>{QStringLiteral("check"), QStringLiteral("signOut cursor"),
                                   QStringLiteral("signOut claude"), QStringLiteral("alerts 0")}));
  action(menu, QStringLiteral("5 minutes"))->trigger();
  action(menu, QStringLiteral("Claude"))->trigger();
  EXPECT_EQ(rig.store().refreshIntervalSeconds(), 300);
  EXPECT_EQ(rig.store().preferredPrimary(), Provider::claude);
  find(popover, QStringLiteral("pin-codex"))->click();
  EXPECT_EQ(rig.store().preferredPrimary(), Provider::codex);
  EXPECT_TRUE(test::waitUntil([&] {
    auto* pin = find(popover, QStringLiteral("pin-codex"));
    return pin && pin->isChecked();
  }));
}

TEST(PopoverWidget, AStoreChangeRerendersTheOpenPopover) {
  const QString normal = QStringLiteral("normal");
  test::PopoverRig rig({normal, normal, normal, normal});
  ASSERT_TRUE(rig.startAndSettle());
  PopoverWidget popover(rig.store(), nullptr, {});
  popover.show();
  EXPECT_TRUE(texts(popover).contains(QStringLiteral("ada@example.com")));
  EXPECT_TRUE(find(popover, QStringLiteral("refresh"))->isEnabled());

  // Tab walks top to bottom, also through the parts rebuilt after the footer was made.
  rig.store().setPreferredPrimary(Provider::claude);
  ASSERT_TRUE(test::waitUntil([&] { return find(popover, QStringLiteral("pin-claude"))->isChecked(); }));
  // Every stop has a name, and buttons side by side have one height.
  const QList<QWidget*> stops = focusStops(popover, find(popover, QStringLiteral("refresh")));
  EXPECT_EQ(stops.last(), find(popover, QStringLiteral("quit")));
  for (int i = 0; i < stops.size(); ++i) {
    const QRect r(stops[i]->mapTo(&popover, QPoint(0, 0)), stops[i]->size());
    EXPECT_FALSE(spoken(stops[i]).isEmpty()) << i << stops[i]->metaObject()->className();
    if (i == 0) continue;
    const QRect before(stops[i - 1]->mapTo(&popover, QPoint(0, 0)), stops[i - 1]->size());
    EXPECT_GE(r.top(), before.top()) << spoken(stops[i]).toStdString();
    if (r.center().y() - before.center().y() < 4) {
      EXPECT_EQ(r.height(), before.height()) << spoken(stops[i]).toStdString();
    }
  }

  // Four services do not fit this screen: the list shows whole rows and the paging keys move it.
  auto* list = popover.findChild<QScrollArea*>(QStringLiteral("list"));
  QScrollBar* bar = list->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  const int shown = list->viewport()->height();
  QList<int> rowEnds;
  for (auto* section : list->widget()->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^section-"))))
    rowEnds << section->geometry().bottom() + 1;
  EXPECT_TRUE(rowEnds.contains(shown)) << shown;
  for (const auto& [key, value] : {std::pair{Qt::Key_PageDown, shown}, {Qt::Key_End, bar->maximum()}, {Qt::Key_Home, 0}}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(find(popover, QStringLiteral("quit")), &press);
    EXPECT_EQ(bar->value(), std::min(value, bar->maximum())) << key;
  }

  for (Provider p : allProviders) rig.store().monitor(p)->signOut();
  ASSERT_TRUE(test::waitUntil([&] { return texts(popover).contains(QStringLiteral("Not signed in to any provider")); }));
  EXPECT_FALSE(texts(popover).contains(QStringLiteral("ada@example.com")));
  EXPECT_FALSE(find(popover, QStringLiteral("refresh"))->isEnabled());
  EXPECT_FALSE(action(popover.optionsMenu(), QStringLiteral("Sign Out")));

  // Escape closes it and says so.
  bool closed = false;
  QObject::connect(&popover, &PopoverWidget::closed, [&] { closed = true; });
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&popover, &escape);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(popover.isVisible());

  // Hidden, a change waits for the next showing: an idle tray builds no widgets.
  const QWidget* hidden = list->widget();
  rig.store().setPreferredPrimary(Provider::cursor);
  QCoreApplication::processEvents();
  EXPECT_EQ(list->widget(), hidden);
  popover.show();
  EXPECT_NE(list->widget(), hidden);
}

TEST(OnboardingWindow, RowsFollowTheMonitors) {
  test::PopoverRig rig({QStringLiteral("error"), {}, {}, QStringLiteral("normal")});
  ASSERT_TRUE(rig.startAndSettle());
  QList<Provider> signIns;
  ui::OnboardingWindow window(rig.store(), [&](Provider p) { signIns << p; });
  window.show();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Connect AI Providers"));
  // It opens on "Done", and each stop has a name.
  ASSERT_EQ(window.focusWidget(), find(window, QStringLiteral("done")));
  for (QWidget* w : focusStops(window, window.focusWidget())) EXPECT_FALSE(spoken(w).isEmpty());
  EXPECT_TRUE(texts(window).contains(QStringLiteral("Sign in needed again")));
  EXPECT_TRUE(texts(window).contains(QStringLiteral("ada@example.com")));
  find(window, QStringLiteral("signIn-cursor"))->click();
  find(window, QStringLiteral("signIn-codex"))->click();
  EXPECT_EQ(signIns, (QList<Provider>{Provider::cursor, Provider::codex}));

  // Sign out in a row: the service is signed out, the window stays, the row offers sign in.
  find(window, QStringLiteral("signOut-claude"))->click();
  EXPECT_EQ(rig.store().monitor(Provider::claude)->state().kind, Kind::signedOut);
  ASSERT_TRUE(test::waitUntil([&] { return find(window, QStringLiteral("signIn-claude")) != nullptr; }));
  EXPECT_TRUE(window.isVisible());

  // Return presses the focused button (a key event climbs to the window unless taken);
  // with no button focused it is "Done".
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(find(window, QStringLiteral("signIn-windsurf")), &enter);
  EXPECT_TRUE(window.isVisible());
  QApplication::sendEvent(&window, &enter);
  EXPECT_FALSE(window.isVisible());
}

// Tab to "Later" then Return must not start the download; Escape closes.
TEST(UpdateWindow, ReturnPressesTheFocusedButtonAndEscapeCloses) {
  test::PopoverRig rig({});
  Updater* updater = rig.withUpdate();
  ASSERT_TRUE(updater && holds<update_state::Available>(updater->state()));
  ui::UpdateWindow window(*updater);
  window.present();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier), escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  for (auto* b : window.findChildren<QAbstractButton*>())
    if (b->text() == QLatin1String("Download")) {  // styled as in every window; each stop named
      EXPECT_TRUE(b->property("prominent").toBool());
      for (QWidget* w : focusStops(window, b)) EXPECT_FALSE(spoken(w).isEmpty());
    }
  for (auto* b : window.findChildren<QAbstractButton*>())
    if (b->text() == QLatin1String("Later")) QApplication::sendEvent(b, &enter);
  EXPECT_FALSE(window.isVisible());
  QCoreApplication::processEvents();  // a download would start one turn later
  EXPECT_TRUE(holds<update_state::Available>(updater->state()));
  window.present();
  QApplication::sendEvent(&window, &escape);
  EXPECT_FALSE(window.isVisible());
}

// Text stands out 4.5:1 from what it sits on, light and dark: a label carries its surface (a
// banner's or a badge's wash) as its palette's window colour.
TEST(Style, EveryTextKeepsItsContrast) {
  test::PopoverRig rig({QStringLiteral("requests"), {}, QStringLiteral("error"), QStringLiteral("normal")});
  ASSERT_TRUE(rig.startAndSettle());
  Updater* updater = rig.withUpdate(true);
  const auto ratio = [](const QColor& a, const QColor& b) { return contrastRatio(a.rgb() & 0xffffff, b.rgb() & 0xffffff); };
  const QPalette light = QApplication::palette();
  for (const QPalette& pal : {light, QPalette(QColor(0x3a3a3c), QColor(0x262628))}) {
    QApplication::setPalette(pal);
    for (int t = static_cast<int>(Tint::secondary); t <= static_cast<int>(Tint::purple); ++t)
      EXPECT_GE(ratio(ui::tintColor(Tint(t), pal), pal.color(QPalette::Window)), kMinimumContrast) << t;
    EXPECT_GE(ratio(ui::accentFill(pal), pal.color(QPalette::HighlightedText)), kMinimumContrast);
    PopoverWidget popover(rig.store(), updater, {});
    ui::OnboardingWindow onboarding(rig.store(), {});
    for (QWidget* w : std::initializer_list<QWidget*>{&popover, &onboarding})
      for (QLabel* l : w->findChildren<QLabel*>())
        EXPECT_GE(ratio(l->palette().color(QPalette::WindowText), l->palette().color(QPalette::Window)), kMinimumContrast)
            << l->text().toStdString();
  }
  QApplication::setPalette(light);
}

TEST(SymbolIcon, EveryNameTheViewsUseHasAnIcon) {
  using State = UsageMonitor::State;
  QStringList names;
  for (const State& state :
       {State::of(Kind::unknown), State::failed(QStringLiteral("x")), State::loaded({.onDemandEnabled = true})}) {
    PopoverInput in;
    for (Provider p : allProviders) in.sections[static_cast<int>(p)] = {p, state, {}, p == Provider::codex};
    in.connected = {Provider::cursor};
    const PopoverView v = popoverView(in, now);
    names << v.headerIcon << v.refreshIcon << v.optionsIcon << v.connectMoreIcon;
    for (const auto& s : v.sections) {
      names << s.icon << s.pin.icon;
      if (!s.errorIcon.isEmpty()) names << s.errorIcon;
      if (s.onDemand) names << s.onDemand->icon;
    }
  }
  UpdateInfo info;
  for (const UpdaterState& u : {UpdaterState{update_state::Available{info}}, UpdaterState{update_state::Downloading{info, 0}},
                                UpdaterState{update_state::ReadyToInstall{info, {}}}, UpdaterState{update_state::Installing{}},
                                UpdaterState{update_state::Failed{std::nullopt, {}}}})
    names << updateBannerView(u, {})->icon;
  for (double p : {0.0, 20.0, 50.0, 80.0, 95.0}) names << statusItemDisplay(trayShowing(State::loaded(usage(p)))).image;
  names << statusItemDisplay(StatusItemInput{}).image << statusItemDisplay(trayShowing(State::of(Kind::unknown))).image;
  names.removeDuplicates();
  EXPECT_EQ(names.size(), 22);
  for (const QString& n : names) {
    EXPECT_TRUE(ui::hasSymbol(n)) << n.toStdString();
    EXPECT_FALSE(ui::symbolIcon(n, Qt::red).pixmap(16).isNull()) << n.toStdString();
  }
}

}  // namespace
}  // namespace qb

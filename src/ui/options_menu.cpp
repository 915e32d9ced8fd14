#include "ui/options_menu.h"

#include <QActionGroup>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>

#include "monitoring/providers_store.h"
#include "ui/symbol_icon.h"

namespace qb::ui {

void openURL(const PopoverActions& actions, const QUrl& url) {
  if (actions.onOpenURL) {
    actions.onOpenURL(url);
  } else {
    QDesktopServices::openUrl(url);
  }
}

namespace {

void call(const std::function<void()>& f) {
  if (f) f();
}

template <class Set>
void addPicker(QMenu* menu, const QString& title, const QList<OptionsMenuView::Choice>& choices, Set set) {
  QMenu* sub = menu->addMenu(literalText(title));
  auto* group = new QActionGroup(sub);
  group->setExclusive(true);
  for (const auto& c : choices) {
    QAction* a = sub->addAction(literalText(c.label));
    a->setCheckable(true);
    a->setChecked(c.checked);
    group->addAction(a);
    QObject::connect(a, &QAction::triggered, a, [set, value = c.value] { set(value); });
  }
}

}  // namespace

void clearMenu(QMenu* menu) {
  const QList<QMenu*> subs = menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
  menu->clear();
  qDeleteAll(subs);
}

void fillOptionsMenu(QMenu* menu, const OptionsMenuView& v, ProvidersStore& store, const PopoverActions& actions) {
  clearMenu(menu);
  addOptionsEntries(menu, v, store, actions);
}

void addOptionsEntries(QMenu* menu, const OptionsMenuView& v, ProvidersStore& store, const PopoverActions& actions) {
  QPointer<ProvidersStore> weak(&store);
  addPicker(menu, v.intervalTitle, v.intervals, [weak](int seconds) {
    if (weak) weak->setRefreshIntervalSeconds(seconds);
  });
  addPicker(menu, v.primaryTitle, v.primaries, [weak](int index) {
    if (weak) weak->setPreferredPrimary(allProviders[static_cast<size_t>(index)]);
  });
  addPicker(menu, v.trayIconTitle, v.trayIcons, [f = actions.onSetTrayIcon](int style) {
    if (f) f(static_cast<TrayIconStyle>(style));
  });
  menu->addSeparator();
  QObject::connect(menu->addAction(literalText(v.connectText)), &QAction::triggered, menu,
                   [f = actions.onConnectProviders] { call(f); });
  QObject::connect(menu->addAction(literalText(v.dashboardText)), &QAction::triggered, menu,
                   [actions, url = v.dashboardUrl] { openURL(actions, url); });
  if (v.openAtLogin) {
    QAction* login = menu->addAction(literalText(v.openAtLoginText));
    login->setCheckable(true);
    login->setChecked(*v.openAtLogin);
    QObject::connect(login, &QAction::toggled, menu, [f = actions.onSetOpenAtLogin](bool on) {
      if (f) f(on);
    });
  }
  QAction* alerts = menu->addAction(literalText(v.usageAlertsText));
  alerts->setCheckable(true);
  alerts->setChecked(v.usageAlerts);
  QObject::connect(alerts, &QAction::toggled, menu, [f = actions.onSetUsageAlerts](bool on) {
    if (f) f(on);
  });
  if (v.checkForUpdatesText) {
    menu->addSeparator();
    QObject::connect(menu->addAction(literalText(*v.checkForUpdatesText)), &QAction::triggered, menu,
                     [f = actions.onCheckForUpdates] { call(f); });
    menu->addAction(literalText(v.versionLine.value_or(QString())))->setEnabled(false);
  }
  if (v.signOutTitle) {
    menu->addSeparator();
    QMenu* sub = menu->addMenu(literalText(*v.signOutTitle));
    for (const auto& [provider, text] : v.signOutItems) {
      QObject::connect(sub->addAction(literalText(text)), &QAction::triggered, sub,
                       [f = actions.onSignOut, p = provider] {
                         if (f) f(p);
                       });
    }
    sub->addSeparator();
    QObject::connect(sub->addAction(literalText(v.signOutAllText)), &QAction::triggered, sub,
                     [weak, f = actions.onSignOut] {
                       // The services connected at the moment of the press.
                       if (!weak || !f) return;
                       for (Provider p : weak->connectedProviders()) f(p);
                     });
  }
}

void fillOptionsMenu(QMenu* menu, ProvidersStore& store, Updater* updater, const PopoverActions& actions) {
  fillOptionsMenu(menu, optionsMenuView(popoverInput(store, updater), QDateTime::currentDateTime()), store,
                  actions);
}

}  // namespace qb::ui

#include "ui/tray_menu.h"

#include <QMenu>
#include <QTimer>

#include "monitoring/providers_store.h"
#include "ui/options_menu.h"
#include "ui/symbol_icon.h"
#include "updater/updater.h"

namespace qb::ui {

TrayMenu::TrayMenu(ProvidersStore& store, Updater* updater, PopoverActions actions, std::function<void()> open,
                   QObject* parent)
    : QObject(parent), store_(store), updater_(updater), actions_(std::move(actions)), open_(std::move(open)),
      menu_(new QMenu) {
  refill();
  // A change that came while an XEmbed menu was open lands once it closes.
  connect(menu_, &QMenu::aboutToHide, this, &TrayMenu::scheduleRefill);
  connect(&store_, &ProvidersStore::changed, this, &TrayMenu::scheduleRefill);
  if (updater_) {
    connect(updater_, &Updater::stateChanged, this, &TrayMenu::scheduleRefill);
    connect(updater_, &Updater::lastCheckedChanged, this, &TrayMenu::scheduleRefill);
  }
}

TrayMenu::~TrayMenu() { delete menu_; }

void TrayMenu::scheduleRefill() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    refill();
  });
}

void TrayMenu::invalidate() {
  shown_ = {};
  scheduleRefill();
}

void TrayMenu::refill() {
  TrayMenuView v = trayMenuView(popoverInput(store_, updater_), QDateTime::currentDateTime());
  if (v == shown_ || menu_->isVisible()) return;
  shown_ = std::move(v);
  clearMenu(menu_);
  connect(menu_->addAction(literalText(shown_.openText)), &QAction::triggered, this, [this] { open_(); });
  QAction* refresh = menu_->addAction(literalText(shown_.refreshText));
  refresh->setEnabled(shown_.refreshEnabled);
  connect(refresh, &QAction::triggered, this, actions_.onRefresh);
  menu_->addSeparator();
  addOptionsEntries(menu_, shown_.options, store_, actions_);
  menu_->addSeparator();
  connect(menu_->addAction(literalText(shown_.quitText)), &QAction::triggered, this, actions_.onQuit);
}

}  // namespace qb::ui

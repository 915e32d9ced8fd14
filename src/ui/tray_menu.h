#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "present/popover_view.h"
#include "ui/popover_actions.h"

class QMenu;

namespace qb {
class ProvidersStore;
class Updater;
}  // namespace qb

namespace qb::ui {

// The tray icon's context menu: the popup's main commands around the options menu, for
// hosts that only open menus. StatusNotifierItem hosts read it when the item registers and
// some never ask again, so it is whole before the icon exists; it is refilled only when an
// entry's text, state or presence changes, since every refill sends the host a burst of
// D-Bus signals.
class TrayMenu : public QObject {
  Q_OBJECT
 public:
  TrayMenu(ProvidersStore& store, Updater* updater, PopoverActions actions, std::function<void()> open,
           QObject* parent = nullptr);
  ~TrayMenu() override;

  QMenu* menu() const { return menu_; }
  // On the next turn: the change may come from one of the menu's own actions, which a
  // refill deletes.
  void scheduleRefill();
  // The next refill happens even if the entries look the same (a check mark that Qt moved
  // by itself when the change it asked for failed).
  void invalidate();

 private:
  void refill();

  ProvidersStore& store_;
  QPointer<Updater> updater_;
  PopoverActions actions_;
  std::function<void()> open_;
  QMenu* menu_ = nullptr;
  TrayMenuView shown_;
  bool pending_ = false;
};

}  // namespace qb::ui

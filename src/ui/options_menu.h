#pragma once

#include "present/popover_view.h"
#include "ui/popover_actions.h"

class QMenu;

namespace qb {
class ProvidersStore;
class Updater;
}  // namespace qb

namespace qb::ui {

// The popover's options menu (also the tray's context menu): both pickers, the commands,
// the version line and the sign-out items, from the store and the updater as they are now.
void fillOptionsMenu(QMenu* menu, ProvidersStore& store, Updater* updater, const PopoverActions& actions);
void fillOptionsMenu(QMenu* menu, const OptionsMenuView& view, ProvidersStore& store,
                     const PopoverActions& actions);
// The same entries appended to a menu that holds others.
void addOptionsEntries(QMenu* menu, const OptionsMenuView& view, ProvidersStore& store,
                       const PopoverActions& actions);
// Empties a menu, its submenus included (clear() leaves them behind as children).
void clearMenu(QMenu* menu);

}  // namespace qb::ui

#pragma once

#include <QUrl>
#include <functional>

#include "present/tray_icon_look.h"
#include "providers/provider.h"

namespace qb::ui {

// What the popover hands back to the tray controller; each may be empty.
struct PopoverActions {
  std::function<void(Provider)> onSignIn, onSignOut;
  std::function<void()> onConnectProviders, onRefresh, onCheckForUpdates, onShowUpdateDetails, onQuit;
  // Opens a dashboard; empty means the desktop's browser.
  std::function<void(const QUrl&)> onOpenURL;
  // Switches the login-start entry on or off.
  std::function<void(bool)> onSetOpenAtLogin;
  // Switches the usage alerts on or off.
  std::function<void(bool)> onSetUsageAlerts;
  // The tray icon's look.
  std::function<void(TrayIconStyle)> onSetTrayIcon;
};

void openURL(const PopoverActions& actions, const QUrl& url);

}  // namespace qb::ui

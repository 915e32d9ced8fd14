#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <functional>
#include <memory>

#include "present/tray_icon_look.h"
#include "providers/provider.h"
#include "ui/popover_actions.h"
#include "updater/updater_state.h"

class QMenu;
class QSystemTrayIcon;

namespace qb {
class LoginHelper;
class ProvidersStore;
class Updater;
namespace platform {
class Notifier;
class TrayHostWatcher;
}
}  // namespace qb

namespace qb::ui {

class MessageRouter;
class OnboardingWindow;
class PasteTokenDialog;
class PopoverWidget;
class TrayMenu;
class UsageAlertNotifier;
class UpdateWindow;

struct StatusBarOptions {
  std::function<std::unique_ptr<QSettings>()> settings;  // update bookkeeping
  std::function<void()> quit;
  // How long to wait for a tray host before the popover opens as a normal window.
  int trayHostGraceMs = 4000;
  bool watchTrayHost = true;  // off in tests without a display
  // Notifications (alerts and messages); empty means the session bus's server.
  platform::Notifier* notifier = nullptr;
};

// The tray icon and the hub of every window: the popover, one sign-in helper per service,
// the onboarding window and the update window.
class StatusBarController : public QObject {
  Q_OBJECT
 public:
  // Named as the first versions wrote it, so saved values still count (platform/settings.h).
  static constexpr const char* kLastAutoPresentedKey = "Vantelo.Updater.lastAutoPresentedVersion";
  using Options = StatusBarOptions;

  StatusBarController(ProvidersStore& store, Updater* updater, Options options = {},
                      QObject* parent = nullptr);
  ~StatusBarController() override;

  void togglePopover();
  void showPopover();
  void closePopover();
  void showOnboarding();
  // The sign-in window; the paste dialog when that is not installed or ended without a sign-in.
  void showLogin(Provider provider);
  void showPasteDialog(Provider provider, const QString& why = {});
  void showUpdateWindow();
  void refreshStatusItem();
  // Signs the service out; with nothing left connected the popover closes.
  void signOut(Provider provider);
  void setOpenAtLogin(bool on);
  void setTrayIconStyle(TrayIconStyle style);

  // What tests and the app look at.
  QSystemTrayIcon* trayIcon() const { return tray_; }
  PopoverWidget* popover() const { return popover_; }
  OnboardingWindow* onboardingWindow() const;
  UpdateWindow* updateWindow() const;
  LoginHelper* loginHelper(Provider p) const { return logins_.value(p); }
  PasteTokenDialog* pasteDialog(Provider p) const;
  bool usingFallbackWindow() const { return fallback_; }
  MessageRouter* messages() const { return messages_; }
  QMenu* contextMenu() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createTrayIcon();
  PopoverWidget* ensurePopover();
  PopoverActions actions();
  void openFallbackWindow();
  void placePopover();
  PanelHints panelHints() const;
  void onUpdaterState(const UpdaterState& state);
  void setUpNotifications();

  ProvidersStore& store_;
  QPointer<Updater> updater_;
  Options options_;
  QSystemTrayIcon* tray_ = nullptr;
  TrayMenu* menu_ = nullptr;
  TrayIconStyle iconStyle_ = TrayIconStyle::automatic;
  PanelHints panel_;
  PopoverWidget* popover_ = nullptr;
  QMap<Provider, LoginHelper*> logins_;
  QMap<Provider, QPointer<PasteTokenDialog>> pastes_;
  QPointer<OnboardingWindow> onboarding_;
  QPointer<UpdateWindow> updateWindow_;
  platform::TrayHostWatcher* host_ = nullptr;
  MessageRouter* messages_ = nullptr;
  UsageAlertNotifier* alerts_ = nullptr;
  bool fallback_ = false;
  QString drawnIcon_;  // what the icon last drew: image, title, colour and look
  QString tooltip_;
  QTimer redraw_;
  static constexpr int kRedrawDelayMs = 250;
  QElapsedTimer popoverClosed_;
  static constexpr int kReopenGuardMs = 300;
};

}  // namespace qb::ui

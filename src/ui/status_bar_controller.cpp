#include "ui/status_bar_controller.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "common/text.h"
#include "monitoring/login_helper.h"
#include "monitoring/providers_store.h"
#include "monitoring/session_store.h"
#include "platform/autostart.h"
#include "platform/color_scheme.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/desktop/process_clock.h"
#include "platform/desktop/tray_host.h"
#include "platform/settings.h"
#include "present/status_item_display.h"
#include "present/usage_alerts.h"
#include "ui/message_router.h"
#include "ui/onboarding_window.h"
#include "ui/paste_token_dialog.h"
#include "ui/popover_widget.h"
#include "ui/tray_icon.h"
#include "ui/tray_menu.h"
#include "ui/update_window.h"
#include "ui/usage_alert_notifier.h"
#include "updater/updater.h"
#include "widgets/plain_text.h"

Q_LOGGING_CATEGORY(lcTray, "com.orvane.quotabar.tray")

namespace qb::ui {

StatusBarController::StatusBarController(ProvidersStore& store, Updater* updater, Options options,
                                         QObject* parent)
    : QObject(parent), store_(store), updater_(updater), options_(std::move(options)) {
  if (!options_.settings) options_.settings = [] { return platform::settings(); };
  if (!options_.quit) options_.quit = [] { QCoreApplication::quit(); };

  setUpNotifications();
  iconStyle_ = trayIconStyleFromSetting(options_.settings()->value(QLatin1String(kTrayIconKey)).toString());
  QPointer<StatusBarController> self(this);
  menu_ = new TrayMenu(store_, updater_, actions(), [self] { if (self) self->showPopover(); }, this);

  // Deliveries come through the event loop, so a redraw sees the new values; the services
  // answer a round of polls within moments of each other, and one redraw serves them all.
  redraw_.setSingleShot(true);
  redraw_.setInterval(kRedrawDelayMs);
  connect(&redraw_, &QTimer::timeout, this, &StatusBarController::refreshStatusItem);
  connect(&store_, &ProvidersStore::changed, this, [this] {
    if (!redraw_.isActive()) redraw_.start();
  });
  if (updater_) {
    connect(updater_, &Updater::stateChanged, this, [this](const UpdaterState& state) {
      // Delivered on the next turn, like every other observer of the updater.
      QTimer::singleShot(0, this, [this, state] { onUpdaterState(state); });
    });
  }
  panel_ = panelHints();

  if (options_.watchTrayHost) {
    host_ = new platform::TrayHostWatcher(this);
    if (host_->hostPresent()) {
      createTrayIcon();
    } else {
      qCInfo(lcTray) << "No tray host yet; waiting for one.";
      connect(host_, &platform::TrayHostWatcher::hostAppeared, this, &StatusBarController::createTrayIcon);
      // Never leave the user with an invisible app.
      QTimer::singleShot(options_.trayHostGraceMs, this, [this] {
        if (!tray_) openFallbackWindow();
      });
    }
  }
  refreshStatusItem();
}

StatusBarController::~StatusBarController() {
  delete popover_;
  delete onboarding_;
  delete updateWindow_;
  for (const QPointer<PasteTokenDialog>& dialog : std::as_const(pastes_)) delete dialog;
}

OnboardingWindow* StatusBarController::onboardingWindow() const { return onboarding_; }
UpdateWindow* StatusBarController::updateWindow() const { return updateWindow_; }
PasteTokenDialog* StatusBarController::pasteDialog(Provider p) const { return pastes_.value(p); }
QMenu* StatusBarController::contextMenu() const { return menu_->menu(); }

void StatusBarController::createTrayIcon() {
  if (tray_) return;
  tray_ = new QSystemTrayIcon(this);
  tray_->setContextMenu(menu_->menu());
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::MiddleClick) togglePopover();
  });
  refreshStatusItem();
  tray_->show();
  qCInfo(lcTray, "Tray icon shown %lld ms after start.",
         static_cast<long long>(platform::processClock().elapsed()));
  if (fallback_) {
    // The icon takes over from the stand-in window.
    fallback_ = false;
    if (popover_) {
      popover_->hide();
      popover_->setMode(PopoverWidget::Mode::popup);
    }
  }
}

void StatusBarController::openFallbackWindow() {
  qCInfo(lcTray) << "No tray host appeared; showing the popup as a window.";
  fallback_ = true;
  ensurePopover()->setMode(PopoverWidget::Mode::window);
  // The app's only window: closing it ends the app, as it does any application's.
  popover_->installEventFilter(this);
  popover_->show();
  popover_->raise();
  popover_->activateWindow();
}

bool StatusBarController::eventFilter(QObject* watched, QEvent* event) {
  // Only the user's close (from the window manager) ends the app; quitting closes it too.
  if (event->type() == QEvent::Close && event->spontaneous() && fallback_ && watched == popover_) {
    qCInfo(lcTray) << "The window standing in for the tray was closed; quitting.";
    QTimer::singleShot(0, this, [quit = options_.quit] { quit(); });
  }
  return QObject::eventFilter(watched, event);
}

void StatusBarController::refreshStatusItem() {
  if (!tray_) return;
  const StatusItemDisplay d = statusItemDisplay(store_);
  const TrayIconLook look =
      trayIconLook(iconStyle_, panel_, d.percent ? std::optional(usageLevel(*d.percent)) : std::nullopt);
  // Every poll announces a change; the icon and the tooltip go to the host (a D-Bus signal
  // each on StatusNotifierItem hosts) only when what they show changed.
  const QString drawn = QStringList{d.image, d.title, QString::number(look.figure), QString::number(look.darkPanel),
                                    QString::number(look.monochrome), QString::number(look.mark)}
                            .join(u'|');
  if (drawn != drawnIcon_) {
    drawnIcon_ = drawn;
    tray_->setIcon(ui::trayIcon(d, look));
  }
  if (const QString tip = platform::statusNotifierTray() ? markupEscaped(d.tooltip) : plainToolTip(d.tooltip); tip != tooltip_) {  // it carries the account e-mail
    tooltip_ = tip;
    tray_->setToolTip(tip);
  }
}

PanelHints StatusBarController::panelHints() const {
  PanelHints hints;
  hints.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
  hints.darkColorScheme = platform::darkColorScheme().value_or(
      QGuiApplication::palette().color(QPalette::Window).lightness() < 128);
  return hints;
}

void StatusBarController::setTrayIconStyle(TrayIconStyle style) {
  iconStyle_ = style;
  panel_ = panelHints();  // a chance to see a colour scheme changed since the start
  options_.settings()->setValue(QLatin1String(kTrayIconKey), trayIconSetting(style));
  refreshStatusItem();
  menu_->scheduleRefill();
}

void StatusBarController::togglePopover() {
  if (popover_ && popover_->isVisible()) {
    closePopover();
  } else if (popoverClosed_.isValid() && popoverClosed_.elapsed() < kReopenGuardMs) {
    // The press on the icon already closed the popup (an outside click); this click's
    // activation must not open it again.
  } else {
    showPopover();
  }
}

void StatusBarController::showPopover() {
  ensurePopover();
  if (fallback_) {
    popover_->show();
    popover_->raise();
    popover_->activateWindow();
    return;
  }
  popover_->catchUp();
  popover_->adjustSize();
  placePopover();
  popover_->show();
  popover_->raise();
  popover_->activateWindow();
}

void StatusBarController::closePopover() {
  if (popover_ && !fallback_) popover_->hide();
}

void StatusBarController::placePopover() {
  // The compositor places it (and ignores a move); under XWayland the pointer is stale.
  if (platform::waylandSession()) return;
  // Hosts that report no geometry (StatusNotifierItem) leave the pointer as the anchor.
  QRect anchor = tray_ ? tray_->geometry() : QRect();
  if (!anchor.isValid() || anchor.isEmpty()) anchor = QRect(QCursor::pos(), QSize(1, 1));
  QScreen* screen = QGuiApplication::screenAt(anchor.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
  const QSize size = popover_->sizeHint().expandedTo(popover_->size());
  int x = anchor.center().x() - size.width() / 2;
  const bool below = anchor.center().y() < area.center().y();
  int y = below ? anchor.bottom() + 4 : anchor.top() - size.height() - 4;
  x = std::clamp(x, area.left(), std::max(area.left(), area.right() - size.width() + 1));
  y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - size.height() + 1));
  popover_->move(x, y);
}

PopoverActions StatusBarController::actions() {
  // Each action holds the controller weakly: a released controller makes it do nothing.
  QPointer<StatusBarController> self(this);
  PopoverActions a;
  a.onSignIn = [self](Provider p) { if (self) self->showLogin(p); };
  a.onSignOut = [self](Provider p) { if (self) self->signOut(p); };
  a.onConnectProviders = [self] { if (self) self->showOnboarding(); };
  a.onRefresh = [self] {
    if (self) QTimer::singleShot(0, self, [self] { if (self) self->store_.refreshAll(); });
  };
  a.onCheckForUpdates = [self] {
    if (!self || !self->updater_) return;
    self->closePopover();
    if (!self->updateWindow_) self->showUpdateWindow();
    self->updateWindow_->presentAndCheck();
  };
  a.onShowUpdateDetails = [self] { if (self) self->showUpdateWindow(); };
  a.onQuit = [quit = options_.quit] { quit(); };
  a.onSetOpenAtLogin = [self](bool on) { if (self) self->setOpenAtLogin(on); };
  a.onSetUsageAlerts = [self](bool on) {
    if (!self) return;
    self->options_.settings()->setValue(QLatin1String(kUsageAlertsKey), on);
    self->menu_->scheduleRefill();
  };
  a.onSetTrayIcon = [self](TrayIconStyle style) { if (self) self->setTrayIconStyle(style); };
  return a;
}

PopoverWidget* StatusBarController::ensurePopover() {
  if (!popover_) {
    popover_ = new PopoverWidget(store_, updater_, actions());
    connect(popover_, &PopoverWidget::closed, this, [this] { popoverClosed_.start(); });
    popover_->setMode(fallback_ ? PopoverWidget::Mode::window : PopoverWidget::Mode::popup);
  }
  return popover_;
}

void StatusBarController::setOpenAtLogin(bool on) {
  // The entry starts this executable: the bundle's own, wherever it is installed.
  if (!platform::setAutostartEnabled(on, QCoreApplication::applicationFilePath())) {
    const QString why = QStringLiteral("Couldn't change %1.").arg(platform::autostartEntryPath());
    qCWarning(lcTray).noquote() << why;
    messages_->show(why);
  }
  // The menu's own check mark may have moved without the entry changing.
  menu_->invalidate();
}

void StatusBarController::signOut(Provider provider) {
  if (const SessionStore::Outcome outcome = store_.monitor(provider)->signOut(); !outcome) {
    qCWarning(lcTray).noquote() << outcome.reason;
    messages_->show(outcome.reason);
  }
  if (store_.connectedProviders().isEmpty()) closePopover();
}

void StatusBarController::showLogin(Provider provider) {
  closePopover();
  LoginHelper* helper = logins_.value(provider);
  if (!helper) {
    helper = new LoginHelper(provider, this);
    logins_.insert(provider, helper);
    QPointer<StatusBarController> self(this);
    connect(helper, &LoginHelper::succeeded, this, [self, provider, helper](const QString&) {
      if (!self) return;
      self->store_.monitor(provider)->beginAfterSignIn();
      if (self->logins_.value(provider) == helper) self->logins_.remove(provider);
      helper->deleteLater();
    });
    connect(helper, &LoginHelper::failed, this, [self, provider, helper](const QString& line) {
      if (!self) return;
      qCWarning(lcTray).noquote() << line;
      if (self->logins_.value(provider) == helper) self->logins_.remove(provider);
      helper->deleteLater();
      // The paste path is the next step; a missing window needs no word about packages.
      self->showPasteDialog(provider, helper->unavailable() ? QString() : line);
    });
  }
  helper->present();
}

void StatusBarController::showPasteDialog(Provider provider, const QString& why) {
  PasteTokenDialog* dialog = pastes_.value(provider);
  if (!dialog) {
    dialog = new PasteTokenDialog(provider);
    pastes_.insert(provider, dialog);
    QPointer<StatusBarController> self(this);
    connect(dialog, &PasteTokenDialog::signedIn, this, [self](Provider p, const QString&) {
      if (self) self->store_.monitor(p)->beginAfterSignIn();
    });
  }
  dialog->setNote(why);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void StatusBarController::showOnboarding() {
  closePopover();
  if (!onboarding_) {
    QPointer<StatusBarController> self(this);
    onboarding_ = new OnboardingWindow(store_, [self](Provider p) { if (self) self->showLogin(p); });
  }
  onboarding_->show();
  onboarding_->raise();
  onboarding_->activateWindow();
}

void StatusBarController::showUpdateWindow() {
  if (!updater_) return;
  closePopover();
  if (!updateWindow_) updateWindow_ = new UpdateWindow(*updater_);
  updateWindow_->present();
}

void StatusBarController::onUpdaterState(const UpdaterState& state) {
  const auto* available = std::get_if<update_state::Available>(&state);
  if (!available) return;
  auto settings = options_.settings();
  const QString key = QLatin1String(kLastAutoPresentedKey);
  if (settings->value(key).toString() == available->info.version) return;
  settings->setValue(key, available->info.version);
  settings->sync();
  showUpdateWindow();
}

void StatusBarController::setUpNotifications() {
  platform::Notifier* notifier = options_.notifier;
  if (!notifier) notifier = new platform::DesktopNotifier(this);
  QPointer<StatusBarController> self(this);
  messages_ = new MessageRouter(
      *notifier, [self] { return self && self->tray_; },
      [self]() -> QWidget* { return self && self->fallback_ ? self->popover_ : nullptr; }, this);
  alerts_ = new UsageAlertNotifier(store_, *notifier, options_.settings,
                                   {[self] { if (self) self->showPopover(); },
                                    [self](Provider p) { if (self) self->showLogin(p); }},
                                   this);
}

}  // namespace qb::ui

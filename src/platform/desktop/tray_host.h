#pragma once

#include <QObject>

class QDBusServiceWatcher;
class QTimer;

namespace qb::platform {

// A Wayland session, whether Qt runs on it natively or through XWayland (platform xcb with
// WAYLAND_DISPLAY set). There no popup grabs the pointer, the X pointer position is stale,
// and the compositor places the windows.
bool waylandSession();

// Whether the tray icon went the StatusNotifierItem way (its tooltip then reaches hosts that
// read markup) rather than XEmbed: the check Qt makes when it creates the first icon, made
// once. Ask only after creating the icon.
bool statusNotifierTray();

// Tells when a system tray host runs: a StatusNotifierItem watcher on the session bus, or
// an X11 owner of the system-tray selection. Qt picks its tray path once, at the first tray
// call, so the icon must not be created (nor the tray queried) before a host exists.
class TrayHostWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TrayHostWatcher(QObject* parent = nullptr);
  bool hostPresent() const;

 Q_SIGNALS:
  // Once, when a host is first seen.
  void hostAppeared();

 private:
  void recheck();
  bool statusNotifierHost() const;
  bool xembedHost() const;

  QDBusServiceWatcher* watcher_ = nullptr;
  QTimer* poll_ = nullptr;
  bool seen_ = false;
};

}  // namespace qb::platform

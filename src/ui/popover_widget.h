#pragma once

#include <QPointer>
#include <QWidget>

#include "present/popover_view.h"
#include "ui/popover_actions.h"

class QMenu;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace qb {
class ProvidersStore;
class Updater;
}  // namespace qb

namespace qb::ui {

// The tray's popover: header, one section per service (or the invitation to connect), the
// update banner and the footer. Holds no state: every store or updater change re-renders it,
// at once while it shows, else when it is shown next.
class PopoverWidget : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 360;
  // The list's height where no screen tells the room.
  static constexpr int kFallbackListHeight = 520;

  PopoverWidget(ProvidersStore& store, Updater* updater, PopoverActions actions, QWidget* parent = nullptr);

  // popup: a grabbing frameless popup on X11, a frameless tool window that closes when the
  // application loses activation on Wayland; window: a normal window (no tray host).
  enum class Mode { popup, window };
  void setMode(Mode mode);
  Mode mode() const { return mode_; }

  // Rebuilds from the store and the updater now (normally one event-loop turn after a change).
  void render();
  // Renders what changed while hidden; before measuring it for placing.
  void catchUp();
  void setVisible(bool visible) override;
  QMenu* optionsMenu() const { return menu_; }

 Q_SIGNALS:
  void closed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void scheduleRender();
  QWidget* buildList(const PopoverView& view);
  int listHeight(QWidget* content);
  void chainTabOrder();

  ProvidersStore& store_;
  QPointer<Updater> updater_;
  PopoverActions actions_;
  Mode mode_ = Mode::popup;
  bool renderPending_ = false;
  bool stale_ = false;

  QToolButton* refresh_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QVBoxLayout* bannerSlot_ = nullptr;
  QToolButton* options_ = nullptr;
  QMenu* menu_ = nullptr;
  QToolButton* quit_ = nullptr;
};

}  // namespace qb::ui

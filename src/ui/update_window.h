#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "present/update_window_view.h"

class QBoxLayout;
class QLabel;
class QVBoxLayout;
class QHBoxLayout;

namespace qb {
class Updater;
}

namespace qb::ui {

class ReleaseNotesView;

// The update window: renders the updater's state and drives it. It is kept once created;
// closing only hides it.
class UpdateWindow : public QWidget {
  Q_OBJECT
 public:
  struct Options {
    std::function<QDateTime()> now;
  };

  UpdateWindow(Updater& updater, Options options = {}, QWidget* parent = nullptr);

  // Brings the window up and starts a check the user asked for.
  void presentAndCheck();
  void present();
  const UpdateWindowView& view() const { return view_; }
  // Draws one view (render() feeds it the updater's; screenshots feed any state).
  void renderView(const UpdateWindowView& view);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void render();
  void trigger(UpdateWindowAction action);
  void clearBody();
  void renderStatus();
  void renderSpinner();
  void renderRelease();
  void renderFooter();
  void showNotes(const UpdateWindowView& v);

  QPointer<Updater> updater_;
  Options options_;
  UpdateWindowView view_;
  QLabel* channel_ = nullptr;
  QVBoxLayout* body_ = nullptr;
  QLabel* lastChecked_ = nullptr;
  QHBoxLayout* buttons_ = nullptr;
  bool placed_ = false;  // restored or centred once
  QWidget* notesSection_ = nullptr;
  QLabel* notesFallback_ = nullptr;
  ReleaseNotesView* notesBox_ = nullptr;
};

}  // namespace qb::ui

#pragma once

#include <QBasicTimer>
#include <QProgressBar>

namespace qb::ui {

// The busy indicator where the popover and the update window wait without a measure: a
// ring of fading spokes that turns while shown. A busy progress bar underneath, so assistive
// technology reads a progress bar with the accessible name.
class Spinner : public QProgressBar {
 public:
  explicit Spinner(int diameter, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {diameter_, diameter_}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  int diameter_;
  int step_ = 0;
  QBasicTimer timer_;  // runs only while shown: an idle popover costs nothing
};

}  // namespace qb::ui

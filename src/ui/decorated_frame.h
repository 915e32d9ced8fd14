#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <optional>

class QFrame;
class QPainter;

namespace qb::ui {

// A container that paints its decoration (a leading icon, a thin bar along its top) itself,
// so the decoration is no element of its own for assistive technology.
class DecoratedFrame : public QWidget {
 public:
  explicit DecoratedFrame(QWidget* parent = nullptr);

  // An icon of `size` at the leading edge, `gap` before the content; top-aligned or centred.
  void setIcon(const QPixmap& pixmap, int size, int gap, bool topAligned = false);
  // A bar of `value` (0 to 1) above the content.
  void setBar(double value, const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void updateMargins();

  QPixmap icon_;
  int iconSize_ = 0;
  int gap_ = 0;
  bool topAligned_ = false;
  std::optional<double> bar_;
  QColor barColor_;
};

// Height of the painted progress bars.
inline constexpr int kBarHeight = 5;
// A quiet horizontal rule, optionally inset on both sides.
QFrame* makeDivider(QWidget* parent, int inset = 0);

void paintBar(QPainter& painter, const QRect& rect, double value, const QColor& color, const QColor& track);

}  // namespace qb::ui

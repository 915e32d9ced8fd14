#include "ui/decorated_frame.h"

#include <QBoxLayout>
#include <QFrame>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace qb::ui {

DecoratedFrame::DecoratedFrame(QWidget* parent) : QWidget(parent) {}

void DecoratedFrame::setIcon(const QPixmap& pixmap, int size, int gap, bool topAligned) {
  icon_ = pixmap;
  iconSize_ = size;
  gap_ = gap;
  topAligned_ = topAligned;
  updateMargins();
}

void DecoratedFrame::setBar(double value, const QColor& color) {
  bar_ = std::clamp(value, 0.0, 1.0);
  barColor_ = color;
  updateMargins();
}

void DecoratedFrame::updateMargins() {
  setContentsMargins(iconSize_ ? iconSize_ + gap_ : 0, bar_ ? kBarHeight + 4 : 0, 0, 0);
  update();
}

void paintBar(QPainter& p, const QRect& r, double value, const QColor& color, const QColor& track) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const qreal radius = r.height() / 2.0;
  p.setBrush(track);
  p.drawRoundedRect(r, radius, radius);
  const int w = static_cast<int>(r.width() * std::clamp(value, 0.0, 1.0));
  if (w <= 0) return;
  p.setBrush(color);
  p.drawRoundedRect(QRect(r.topLeft(), QSize(std::max(w, r.height()), r.height())), radius, radius);
}

void DecoratedFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (iconSize_ && !icon_.isNull()) {
    // At its own size (sharp at any pixel ratio), centred in the icon's square.
    const QSizeF size = icon_.deviceIndependentSize();
    const qreal y = topAligned_ ? 0 : (height() - iconSize_) / 2.0;
    p.drawPixmap(QPointF((iconSize_ - size.width()) / 2, y + (iconSize_ - size.height()) / 2), icon_);
  }
  if (bar_) {
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.12f);
    paintBar(p, QRect(contentsMargins().left(), 1, width() - contentsMargins().left(), kBarHeight), *bar_,
             barColor_, track);
  }
}

namespace {

// A faint line in the current text colour, so a theme switch needs nothing of it.
class Divider : public QFrame {
 public:
  using QFrame::QFrame;

 protected:
  void paintEvent(QPaintEvent*) override {
    QColor c = palette().color(QPalette::WindowText);
    c.setAlphaF(0.15f);
    QPainter(this).fillRect(rect(), c);
  }
};

}  // namespace

QFrame* makeDivider(QWidget* parent, int inset) {
  auto* line = new Divider(parent);
  line->setFixedHeight(1);
  line->setContentsMargins(inset, 0, inset, 0);
  if (inset == 0) return line;
  // QFrame draws across its whole width; an inset needs a holder.
  auto* holder = new QFrame(parent);
  auto* h = new QHBoxLayout(holder);
  h->setContentsMargins(inset, 0, inset, 0);
  line->setParent(holder);
  h->addWidget(line);
  return holder;
}

}  // namespace qb::ui

#include "ui/spinner.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

namespace qb::ui {

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 1000 / kSpokes;  // one turn a second
}  // namespace

Spinner::Spinner(int diameter, QWidget* parent) : QProgressBar(parent), diameter_(diameter) {
  setRange(0, 0);
  setTextVisible(false);
  setFixedSize(diameter, diameter);
}

void Spinner::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(width() / 2.0, height() / 2.0);
  const qreal outer = diameter_ / 2.0, inner = outer * 0.45, thickness = std::max(1.5, diameter_ / 10.0);
  QColor c = palette().color(QPalette::WindowText);
  for (int i = 0; i < kSpokes; ++i) {
    // The leading spoke is the darkest; the ones behind it fade.
    const int age = (step_ - i + kSpokes) % kSpokes;
    c.setAlphaF(0.9f - 0.7f * static_cast<float>(age) / kSpokes);
    p.setPen(QPen(c, thickness, Qt::SolidLine, Qt::RoundCap));
    p.save();
    p.rotate(360.0 * i / kSpokes);
    p.drawLine(QPointF(0, -inner), QPointF(0, -outer + thickness / 2));
    p.restore();
  }
}

void Spinner::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_.timerId()) return QProgressBar::timerEvent(event);
  step_ = (step_ + 1) % kSpokes;
  update();
}

void Spinner::showEvent(QShowEvent* event) {
  QProgressBar::showEvent(event);
  timer_.start(kStepMs, this);
}

void Spinner::hideEvent(QHideEvent* event) {
  QProgressBar::hideEvent(event);
  timer_.stop();
}

}  // namespace qb::ui

#include "ui/cycle_chart_widget.h"

#include <QPainter>
#include <QPainterPath>

#include "widgets/style.h"

namespace qb::ui {

CycleChartWidget::CycleChartWidget(const CycleChart& chart, QWidget* parent) : QWidget(parent), chart_(chart) {
  setAccessibleName(chart.accessibleName);
  setAccessibleDescription(chart.accessibleDescription);
  // The same sentence for the eye: what the lines mean.
  setToolTip(chart.accessibleDescription);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CycleChartWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFont small = textFont(TextStyle::caption2);
  const int labelHeight = QFontMetrics(small).height();
  // Room at the top for the "100%" mark, and for the line's width at the edges.
  const QRectF area = QRectF(rect()).adjusted(2, labelHeight / 2.0 + 2, -2, -2);
  const auto at = [&](const QPointF& v) {
    return QPointF(area.left() + v.x() * area.width(), area.bottom() - v.y() / chart_.top * area.height());
  };
  const QColor secondary = tintColor(Tint::secondary, palette());
  QColor faint = secondary;
  faint.setAlphaF(0.5f);
  p.setClipRect(rect());

  // The plan's limit and the cycle's baseline.
  p.setPen(QPen(faint, 1));
  p.drawLine(at({0, 0}), at({1, 0}));
  p.setPen(QPen(faint, 1, Qt::DashLine));
  p.drawLine(at({0, 100}), at({1, 100}));
  p.setFont(small);
  p.setPen(secondary);
  const QRectF mark(area.left(), at({0, 100}).y() - labelHeight - 1, area.width(), labelHeight);
  p.drawText(mark, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("100%"));

  // The even pace, the usage so far with a light fill under it, and where the pace leads.
  p.setPen(QPen(secondary, 1, Qt::DotLine));
  p.drawLine(at(chart_.evenPace.p1()), at(chart_.evenPace.p2()));
  const QColor used = tintColor(chart_.usageColor, palette());
  QPolygonF line;
  for (const QPointF& v : chart_.usage) line << at(v);
  QPainterPath fill;
  fill.addPolygon(line);
  fill.lineTo(at({chart_.usage.last().x(), 0}));
  fill.lineTo(at({chart_.usage.first().x(), 0}));
  fill.closeSubpath();
  QColor under = used;
  under.setAlphaF(0.18f);
  p.fillPath(fill, under);
  if (chart_.projection) {
    p.setPen(QPen(tintColor(chart_.projectionColor, palette()), 1.5, Qt::DashLine, Qt::RoundCap));
    p.drawLine(at(chart_.projection->p1()), at(chart_.projection->p2()));
  }
  p.setPen(QPen(used, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(line);
  p.setPen(Qt::NoPen);
  p.setBrush(used);
  p.drawEllipse(line.last(), 3, 3);
}

}  // namespace qb::ui

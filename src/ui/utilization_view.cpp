#include "ui/utilization_view.h"

#include <QFontMetrics>
#include <QPainter>

#include "ui/decorated_frame.h"
#include "ui/symbol_icon.h"

namespace qb::ui {

namespace {
QFont labelFont() { return textFont(TextStyle::caption2, QFont::DemiBold); }
QFont percentFont() { return textFont(TextStyle::callout, QFont::DemiBold); }
QFont detailFont() { return textFont(TextStyle::caption2); }
constexpr int kSpacing = 4;
}  // namespace

UtilizationView::UtilizationView(const ProviderSectionView::Utilization& view, QWidget* parent)
    : QWidget(parent), view_(view) {
  setAccessibleName(view.accessibleName);
  setAccessibleDescription(view.accessibleValue);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize UtilizationView::sizeHint() const {
  int h = std::max(QFontMetrics(labelFont()).height(), QFontMetrics(percentFont()).height());
  h += kSpacing + kBarHeight;
  if (view_.planText || view_.remainingText) h += kSpacing + QFontMetrics(detailFont()).height();
  return {200, h};
}

void UtilizationView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor secondary = tintColor(Tint::secondary, palette());
  const QColor level = tintColor(view_.color, palette());
  const int rowH = std::max(QFontMetrics(labelFont()).height(), QFontMetrics(percentFont()).height());
  QRect row(0, 0, width(), rowH);
  p.setFont(labelFont());
  p.setPen(secondary);
  p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, view_.label);
  p.setFont(percentFont());
  p.setPen(level);
  p.drawText(row, Qt::AlignRight | Qt::AlignVCenter, view_.percentText);
  QColor track = palette().color(QPalette::WindowText);
  track.setAlphaF(0.12f);
  const int barY = rowH + kSpacing;
  paintBar(p, QRect(0, barY, width(), kBarHeight), view_.barValue / 100, level, track);
  if (view_.planText || view_.remainingText) {
    QRect details(0, barY + kBarHeight + kSpacing, width(), QFontMetrics(detailFont()).height());
    p.setFont(detailFont());
    p.setPen(secondary);
    if (view_.planText) p.drawText(details, Qt::AlignLeft | Qt::AlignVCenter, *view_.planText);
    if (view_.remainingText) p.drawText(details, Qt::AlignRight | Qt::AlignVCenter, *view_.remainingText);
  }
}

}  // namespace qb::ui

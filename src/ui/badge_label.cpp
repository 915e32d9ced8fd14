#include "ui/badge_label.h"

#include <QPainter>

#include "ui/symbol_icon.h"

namespace qb::ui {

BadgeLabel::BadgeLabel(const QString& text, Tint tint, Style style, QWidget* parent)
    : QLabel(text, parent), tint_(tint), style_(style) {
  setFont(style == Style::solid ? textFont(TextStyle::caption2, QFont::Black)
                                : textFont(TextStyle::caption2, QFont::DemiBold));
  setContentsMargins(6, 1, 6, 1);
  setAlignment(Qt::AlignCenter);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText,
               style == Style::solid ? QColor(Qt::white) : tintColor(tint, pal));
  setPalette(pal);
}

BadgeLabel* BadgeLabel::beta(QWidget* parent) {
  auto* badge = new BadgeLabel(QStringLiteral("BETA"), Tint::purple, Style::solid, parent);
  badge->setAccessibleName(QStringLiteral("Beta provider"));
  return badge;
}

void BadgeLabel::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // Always the light-theme purple under white text, so the contrast holds in both themes.
  QColor c = style_ == Style::solid ? QColor(QStringLiteral("#8e3cc8")) : tintColor(tint_, palette());
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = r.height() / 2;
  if (style_ == Style::solid) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
  } else {
    p.setPen(QPen(c, 1));
    QColor fill = c;
    fill.setAlphaF(0.18f);
    p.setBrush(fill);
  }
  p.drawRoundedRect(r, radius, radius);
  p.end();
  QLabel::paintEvent(event);
}

}  // namespace qb::ui

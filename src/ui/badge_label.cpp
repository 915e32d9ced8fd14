#include "ui/badge_label.h"

#include <QPainter>

#include "ui/symbol_icon.h"

namespace qb::ui {

BadgeLabel::BadgeLabel(const QString& text, Tint tint, Style style, QWidget* parent)
    : QLabel(text, parent), style_(style) {
  setFont(style == Style::solid ? textFont(TextStyle::caption2, QFont::Black)
                                : textFont(TextStyle::caption2, QFont::DemiBold));
  setContentsMargins(6, 1, 6, 1);
  setAlignment(Qt::AlignCenter);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  // The capsule is the text's window colour, so the text is fitted to it: always the
  // light-theme purple under white for the solid badge, so the contrast holds in both themes.
  QPalette pal = palette();
  const QColor fill = style == Style::solid ? QColor(QStringLiteral("#8e3cc8")) : tintWash(tint, pal, 0.18);
  pal.setColor(QPalette::WindowText, style == Style::solid ? QColor(Qt::white) : tintColor(tint, pal, fill));
  pal.setColor(QPalette::Window, fill);
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
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = r.height() / 2;
  p.setBrush(palette().color(QPalette::Window));
  if (style_ == Style::solid) {
    p.setPen(Qt::NoPen);
  } else {
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
  }
  p.drawRoundedRect(r, radius, radius);
  p.end();
  QLabel::paintEvent(event);
}

}  // namespace qb::ui

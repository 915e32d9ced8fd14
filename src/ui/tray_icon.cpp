#include "ui/tray_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace qb::ui {

namespace {

const QColor kHalo(0, 0, 0, 170);
const QColor kInk(0xf5, 0xf5, 0xf5);

QColor levelColor(const std::optional<QString>& name) {
  // Bright variants: the figure sits on a dark halo, whatever the panel's colour.
  if (name == QStringLiteral("systemYellowColor")) return QColor(0xff, 0xd6, 0x0a);
  if (name == QStringLiteral("systemRedColor")) return QColor(0xff, 0x5a, 0x4f);
  return kInk;
}

void strokeWithHalo(QPainter& p, const QPainterPath& path, const QColor& color, qreal width) {
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kHalo, width + 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
}

void fillWithHalo(QPainter& p, const QPainterPath& path, const QColor& color, qreal halo) {
  p.setPen(QPen(kHalo, halo * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(path);
}

// A 270-degree gauge open at the bottom.
QPainterPath arc(const QRectF& box, double fraction) {
  QPainterPath path;
  const double start = 225.0;  // degrees, counter-clockwise from three o'clock
  path.arcMoveTo(box, start);
  path.arcTo(box, start, -270.0 * fraction);
  return path;
}

QString figureText(double percent) { return QString::number(std::llround(std::clamp(percent, -999.0, 999.0))); }

// Three digits inside the ring are a smear below 28 px: there the figure takes the whole
// square, narrowed to fit, and the ring is left out (a full ring says no more than "100").
bool figureAlone(int size, const QString& text) { return size < 28 && text.size() >= 3; }

void drawFigure(QPainter& p, int size, const QString& text, const QColor& color) {
  const bool alone = figureAlone(size, text);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  const double scale = alone ? 0.66 : text.size() <= 1 ? 0.62 : text.size() == 2 ? 0.56 : 0.42;
  font.setPixelSize(std::max(6, static_cast<int>(size * scale)));
  QPainterPath path;
  path.addText(0, 0, font, text);
  const qreal halo = std::max(1.0, size / 16.0);
  if (alone) {
    const qreal room = size - 2 * halo;
    if (const qreal w = path.boundingRect().width(); w > room) path = QTransform::fromScale(room / w, 1.0).map(path);
  }
  const QRectF b = path.boundingRect();
  path.translate(size / 2.0 - b.center().x(), size / 2.0 - b.center().y() + (alone ? 0 : size * 0.04));
  fillWithHalo(p, path, color, halo);
}

void drawPerson(QPainter& p, int size, bool connected) {
  const qreal s = size;
  const qreal w = std::max(1.5, s / 11.0);
  QPainterPath ring;
  ring.addEllipse(QRectF(w, w, s - 2 * w, s - 2 * w));
  strokeWithHalo(p, ring, kInk, w);
  QPainterPath head;
  head.addEllipse(QPointF(s * 0.5, s * 0.4), s * 0.14, s * 0.14);
  fillWithHalo(p, head, kInk, w / 2);
  QPainterPath body;
  body.moveTo(s * 0.27, s * 0.78);
  body.quadTo(s * 0.5, s * 0.5, s * 0.73, s * 0.78);
  strokeWithHalo(p, body, kInk, w);
  // The badge in the lower right corner; larger on small icons, so its mark stays readable.
  const qreal side = s < 28 ? 0.56 : 0.44;
  const QRectF badge(s * (1 - side), s * (1 - side), s * side, s * side);
  QPainterPath dot;
  dot.addEllipse(badge);
  p.setPen(QPen(kHalo, 1.0));
  p.setBrush(connected ? QColor(0x30, 0xd1, 0x58) : QColor(0xff, 0x9f, 0x0a));
  p.drawPath(dot);
  p.setPen(QPen(Qt::black, std::max(1.2, s / 14.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  if (connected) {
    QPainterPath tick;
    tick.moveTo(badge.left() + badge.width() * 0.25, badge.center().y());
    tick.lineTo(badge.left() + badge.width() * 0.45, badge.bottom() - badge.height() * 0.28);
    tick.lineTo(badge.right() - badge.width() * 0.22, badge.top() + badge.height() * 0.28);
    p.drawPath(tick);
  } else {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(std::max(5, static_cast<int>(badge.height() * 0.85)));
    p.setFont(f);
    p.drawText(badge, Qt::AlignCenter, QStringLiteral("?"));
  }
}

}  // namespace

double gaugeFraction(const QString& image) {
  static const std::pair<const char*, double> bands[] = {
      {"gauge.with.dots.needle.0percent", 0.0},   {"gauge.with.dots.needle.33percent", 1.0 / 3},
      {"gauge.with.dots.needle.50percent", 0.5},  {"gauge.with.dots.needle.67percent", 2.0 / 3},
      {"gauge.with.dots.needle.100percent", 1.0},
  };
  for (const auto& [name, fraction] : bands)
    if (image == QLatin1String(name)) return fraction;
  return 0.0;
}

QPixmap trayPixmap(const StatusItemDisplay& d, int size, qreal dpr) {
  QPixmap pixmap(QSize(size, size) * dpr);
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (d.image.startsWith(QLatin1String("person."))) {
    drawPerson(p, size, d.image.endsWith(QLatin1String("checkmark")));
    return pixmap;
  }
  const QColor color = levelColor(d.titleColor);
  const QString figure = d.percent && !d.title.isEmpty() ? figureText(*d.percent) : QString();
  if (!figure.isEmpty() && figureAlone(size, figure)) {
    drawFigure(p, size, figure, color);
    return pixmap;
  }
  const qreal w = std::max(1.6, size / 10.0);
  const QRectF box(w / 2 + 1, w / 2 + 1, size - w - 2, size - w - 2);
  QPainterPath track = arc(box, 1.0);
  p.setOpacity(0.45);
  strokeWithHalo(p, track, kInk, w);
  p.setOpacity(1.0);
  const double fraction = gaugeFraction(d.image);
  if (fraction > 0) strokeWithHalo(p, arc(box, fraction), d.percent ? color : kInk, w);
  if (!figure.isEmpty()) drawFigure(p, size, figure, color);
  return pixmap;
}

QIcon trayIcon(const StatusItemDisplay& d) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 44, 48}) icon.addPixmap(trayPixmap(d, size));
  return icon;
}

}  // namespace qb::ui

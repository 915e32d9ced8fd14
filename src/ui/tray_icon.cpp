#include "ui/tray_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace qb::ui {

namespace {

QColor color(Rgb rgb) { return QColor::fromRgb(rgb); }

// The fraction of the ring a gauge image name stands for (0 for any other name).
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

// The ring of a `size` icon: its stroke, the radius of its middle line, and the radius of
// the circle inside it that the figure keeps to (room for antialiasing on a diagonal).
struct Ring {
  explicit Ring(int size)
      : centre(size / 2.0), stroke(std::max(1.5, size / 11.0)), radius(size / 2.0 - stroke / 2),
        inner(radius - stroke / 2 - std::max(1.25, size / 16.0)) {}
  QRectF box() const { return {centre - radius, centre - radius, 2 * radius, 2 * radius}; }
  qreal centre, stroke, radius, inner;
};

// A 270-degree arc open at the bottom, from its left end clockwise.
QPainterPath arc(const Ring& ring, double fraction) {
  QPainterPath path;
  path.arcMoveTo(ring.box(), 225.0);
  path.arcTo(ring.box(), 225.0, -270.0 * fraction);
  return path;
}

// The figure in the largest box that fits inside the ring's inner circle: digits narrowed
// the more there are, the height a whole number of device pixels so their edges stay sharp.
QPainterPath figurePath(const QString& text, const Ring& ring, qreal dpr) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(100);
  QPainterPath path;
  path.addText(0, 0, font, text);
  const QRectF b = path.boundingRect();
  const qreal narrow = text.size() == 1 ? 1.0 : text.size() == 2 ? 0.62 : 0.5;
  const qreal aspect = narrow * b.width() / b.height();
  // Half a pixel kept for the shift onto the pixel grid.
  const qreal height = std::floor(2 * (ring.inner - 0.5 / dpr) / std::hypot(aspect, 1.0) * dpr) / dpr;
  const qreal scale = height / b.height();
  QTransform t;
  t.translate(ring.centre, std::round((ring.centre - height / 2) * dpr) / dpr + height / 2);
  t.scale(scale * narrow, scale);
  t.translate(-b.center().x(), -b.center().y());
  return t.map(path);
}

QString figureText(double percent) { return QString::number(std::llround(std::clamp(percent, -99.0, 999.0))); }

void drawPerson(QPainter& p, int size, bool connected, const TrayIconLook& look) {
  const qreal s = size, w = std::max(1.5, s / 11.0);
  p.setPen(QPen(color(look.figure), w));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(w / 2, w / 2, s - w, s - w));
  p.setPen(Qt::NoPen);
  p.setBrush(color(look.figure));
  p.drawEllipse(QPointF(s * 0.5, s * 0.4), s * 0.15, s * 0.15);
  QPainterPath body;
  body.moveTo(s * 0.2, s * 0.82);
  body.cubicTo(s * 0.3, s * 0.55, s * 0.7, s * 0.55, s * 0.8, s * 0.82);
  p.setPen(QPen(color(look.figure), w, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(body);
  // The badge in the lower right corner, cut free of the person by a ring of nothing.
  const qreal r = s * 0.22;
  const QPointF at(s - r, s - r);
  p.setCompositionMode(QPainter::CompositionMode_Clear);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawEllipse(at, r + w * 0.8, r + w * 0.8);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setBrush(look.monochrome ? color(look.figure) : connected ? QColor(0x30, 0xd1, 0x58) : QColor(0xff, 0x9f, 0x0a));
  p.drawEllipse(at, r, r);
  // Its mark cut out of it: a tick, or a question mark.
  p.setCompositionMode(QPainter::CompositionMode_Clear);
  QPainterPath mark;
  if (connected) {
    mark.moveTo(at + QPointF(-r * 0.5, 0));
    mark.lineTo(at + QPointF(-r * 0.1, r * 0.4));
    mark.lineTo(at + QPointF(r * 0.5, -r * 0.4));
    p.setPen(QPen(Qt::black, std::max(1.0, r * 0.35), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
  } else {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(std::max(5, static_cast<int>(r * 1.8)));
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QStringLiteral("?"));
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace

QPixmap trayPixmap(const StatusItemDisplay& d, const TrayIconLook& look, int size, qreal dpr, int parts) {
  QPixmap pixmap(QSize(size, size) * dpr);
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (d.image.startsWith(QLatin1String("person."))) {
    if (parts & kTrayRing) drawPerson(p, size, d.image.endsWith(QLatin1String("checkmark")), look);
    return pixmap;
  }
  const Ring ring(size);
  if (parts & kTrayRing) {
    p.setBrush(Qt::NoBrush);
    p.setOpacity(look.trackOpacity);
    p.setPen(QPen(color(look.track), ring.stroke, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc(ring, 1.0));
    p.setOpacity(1.0);
    if (const double fraction = gaugeFraction(d.image); fraction > 0) {
      p.setPen(QPen(color(look.ring), ring.stroke, Qt::SolidLine, Qt::RoundCap));
      p.drawPath(arc(ring, fraction));
    }
  }
  if (!d.percent || d.title.isEmpty()) return pixmap;
  const QPainterPath figure = figurePath(figureText(*d.percent), ring, dpr);
  p.setPen(Qt::NoPen);
  if (look.mark && (parts & kTrayRing)) {
    // Critical in one colour: the figure cut out of a disc that fills the ring.
    p.setBrush(color(look.figure));
    const qreal r = ring.inner + std::max(1.25, size / 16.0) * 0.25;
    p.drawEllipse(QPointF(ring.centre, ring.centre), r, r);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawPath(figure);
  } else if (parts & kTrayFigure) {
    p.setBrush(color(look.figure));
    p.drawPath(figure);
  }
  return pixmap;
}

QIcon trayIcon(const StatusItemDisplay& d, const TrayIconLook& look) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 44, 48}) icon.addPixmap(trayPixmap(d, look, size));
  return icon;
}

}  // namespace qb::ui

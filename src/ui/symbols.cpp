#include "ui/symbols.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

// Resources of a static library are registered by hand.
static void initSymbols() { Q_INIT_RESOURCE(symbols); }

namespace qb::ui {

namespace {
bool darkPalette() {
  const QPalette p = QApplication::palette();
  return p.color(QPalette::Window).lightness() < p.color(QPalette::WindowText).lightness();
}
}  // namespace

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal dpr) {
  static const bool registered = (initSymbols(), true);
  Q_UNUSED(registered);
  QFile file(QStringLiteral(":/symbols/") + name + QStringLiteral(".svg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray svg = file.readAll();
  svg.replace("#000", color.name(QColor::HexRgb).toLatin1());
  QSvgRenderer renderer(svg);
  QPixmap pixmap(QSize(size, size) * dpr);
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setOpacity(color.alphaF());
  renderer.render(&painter, QRectF(0, 0, size, size));
  return pixmap;
}

QColor namedColor(const QString& name) {
  const bool dark = darkPalette();
  const QColor text = QApplication::palette().color(QPalette::WindowText);
  auto faded = [&](qreal alpha) {
    QColor c = text;
    c.setAlphaF(alpha);
    return c;
  };
  if (name == QLatin1String("secondary")) return faded(0.62);
  if (name == QLatin1String("tertiary")) return faded(0.45);
  if (name == QLatin1String("green")) return dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x24, 0x8a, 0x3d);
  if (name == QLatin1String("orange")) return dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xc9, 0x34, 0x00);
  if (name == QLatin1String("systemYellowColor"))
    return dark ? QColor(0xff, 0xd6, 0x0a) : QColor(0xa0, 0x60, 0x00);
  if (name == QLatin1String("systemRedColor"))
    return dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x00, 0x15);
  if (name == QLatin1String("accent")) return QApplication::palette().color(QPalette::Highlight);
  return text;  // "labelColor" and anything unknown
}

}  // namespace qb::ui

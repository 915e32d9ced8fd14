#include "ui/symbol_icon.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

static void initSymbols() { Q_INIT_RESOURCE(symbols); }
static void initAppIcon() { Q_INIT_RESOURCE(app_icon); }

namespace qb::ui {

namespace {

QByteArray symbolSource(const QString& name) {
  static const bool loaded = (initSymbols(), true);
  Q_UNUSED(loaded);
  QFile file(QStringLiteral(":/symbols/") + name + QStringLiteral(".svg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Renders at the size and pixel ratio asked for, so icons stay sharp on HiDPI.
class SymbolEngine : public QIconEngine {
 public:
  SymbolEngine(QString name, QColor color) : name_(std::move(name)), color_(color) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QColor c = color_;
    if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.4);
    QSvgRenderer renderer(coloured(c));
    renderer.render(painter, rect);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paint(&p, QRect(QPoint(), size), mode, state);
    return pm;
  }
  QIconEngine* clone() const override { return new SymbolEngine(name_, color_); }

 private:
  QByteArray coloured(const QColor& c) const {
    QByteArray svg = symbolSource(name_);
    svg.replace("currentColor", c.name(QColor::HexRgb).toLatin1());
    if (c.alphaF() < 1) svg.replace("<svg ", "<svg opacity=\"" + QByteArray::number(c.alphaF()) + "\" ");
    return svg;
  }
  QString name_;
  QColor color_;
};

}  // namespace

bool hasSymbol(const QString& name) { return !symbolSource(name).isEmpty(); }

QIcon symbolIcon(const QString& name, const QColor& color) {
  if (!hasSymbol(name)) return {};
  return QIcon(new SymbolEngine(name, color));
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal dpr) {
  // Drawn here at the device size: QIcon::pixmap() would apply the screen's ratio on top.
  QPixmap pm(QSize(size, size) * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  if (!hasSymbol(name)) return pm;
  QPainter p(&pm);
  SymbolEngine(name, color).paint(&p, QRect(0, 0, size, size), QIcon::Normal, QIcon::Off);
  return pm;
}

QIcon appIcon() {
  static const bool loaded = (initAppIcon(), true);
  Q_UNUSED(loaded);
  return QIcon(QStringLiteral(":/app/quotabar.svg"));
}

}  // namespace qb::ui

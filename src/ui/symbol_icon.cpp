#include "ui/symbol_icon.h"

#include <QApplication>
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

QColor pick(bool dark, const char* light, const char* darkColor) {
  return QColor(QLatin1String(dark ? darkColor : light));
}

}  // namespace

bool hasSymbol(const QString& name) { return !symbolSource(name).isEmpty(); }

QIcon symbolIcon(const QString& name, const QColor& color) {
  if (!hasSymbol(name)) return {};
  return QIcon(new SymbolEngine(name, color));
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal dpr) {
  QPixmap pm = symbolIcon(name, color).pixmap(QSize(size, size) * dpr);
  pm.setDevicePixelRatio(dpr);
  return pm;
}

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QColor tintColor(Tint tint, const QPalette& palette) {
  const bool dark = isDark(palette);
  switch (tint) {
    case Tint::label: return palette.color(QPalette::WindowText);
    case Tint::secondary: {
      QColor c = palette.color(QPalette::WindowText);
      const QColor w = palette.color(QPalette::Window);
      // Two thirds of the way from the window colour to the text: readable, yet quieter.
      return QColor::fromRgbF(w.redF() + (c.redF() - w.redF()) * 0.66f,
                              w.greenF() + (c.greenF() - w.greenF()) * 0.66f,
                              w.blueF() + (c.blueF() - w.blueF()) * 0.66f);
    }
    case Tint::accent: return palette.color(QPalette::Highlight);
    case Tint::blue: return pick(dark, "#0064d1", "#409cff");
    case Tint::teal: return pick(dark, "#00788a", "#5ddcf0");
    case Tint::green: return pick(dark, "#1e8035", "#30d158");
    case Tint::orange: return pick(dark, "#c45500", "#ffa826");
    case Tint::yellow: return pick(dark, "#9a7300", "#ffd60a");
    case Tint::red: return pick(dark, "#d70015", "#ff6961");
    case Tint::purple: return pick(dark, "#8e3cc8", "#bf5af2");
  }
  return palette.color(QPalette::WindowText);
}

QIcon appIcon() {
  static const bool loaded = (initAppIcon(), true);
  Q_UNUSED(loaded);
  return QIcon(QStringLiteral(":/app/quotabar.svg"));
}

QFont textFont(TextStyle style, QFont::Weight weight) {
  QFont f = QApplication::font();
  const qreal base = f.pointSizeF() > 0 ? f.pointSizeF() : 10;
  qreal scale = 1;
  switch (style) {
    case TextStyle::title: scale = 1.6; break;
    case TextStyle::headline: scale = 1.05; if (weight == QFont::Normal) weight = QFont::DemiBold; break;
    case TextStyle::subheadline: scale = 0.95; break;
    case TextStyle::body: scale = 1.0; break;
    case TextStyle::callout: scale = 0.95; break;
    case TextStyle::caption: scale = 0.88; break;
    case TextStyle::caption2: scale = 0.8; break;
  }
  f.setPointSizeF(base * scale);
  f.setWeight(weight);
  return f;
}

QString prominentButtonStyle(const QPalette& pal) {
  const QColor accent = pal.color(QPalette::Highlight);
  return QStringLiteral(
             "QPushButton[prominent=\"true\"] { background: %1; color: %2; border: 1px solid %1;"
             " border-radius: 4px; padding: 2px 10px; }"
             "QPushButton[prominent=\"true\"]:focus { border: 2px solid %3; }"
             "QPushButton[prominent=\"true\"]:pressed { background: %4; }")
      .arg(accent.name(), pal.color(QPalette::HighlightedText).name(), pal.color(QPalette::WindowText).name(),
           accent.darker(120).name());
}

QString literalText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace qb::ui

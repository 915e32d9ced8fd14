#include "widgets/style.h"

#include <QApplication>
#include <QLabel>

namespace qb::ui {

namespace {

// The property that remembers a label's colour for retint().
constexpr const char* kTintProperty = "qbTint";

QColor pick(bool dark, const char* light, const char* darkColor) {
  return QColor(QLatin1String(dark ? darkColor : light));
}

// Legible on the label's own window colour: a wash under it (a banner's) sets that colour.
void paintText(QLabel* label, Tint tint, const QPalette& from) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, tintColor(tint, from, pal.color(QPalette::Window)));
  label->setPalette(pal);
}

}  // namespace

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

namespace {

// The named colour before it is fitted to a background.
QColor baseColor(Tint tint, const QPalette& palette) {
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

QColor legible(const QColor& text, const QColor& background, double minimum = kMinimumContrast) {
  return QColor::fromRgb(legibleOn(text.rgb() & 0xffffff, background.rgb() & 0xffffff, minimum));
}

// Opaque, so the rounded corners of a border do not draw darker where its sides meet.
QColor mix(const QColor& over, double opacity, const QColor& under) {
  return QColor::fromRgb(blend(over.rgb() & 0xffffff, opacity, under.rgb() & 0xffffff));
}

QString rgba(QColor c, double alpha) {
  return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(qRound(alpha * 255));
}

}  // namespace

QColor tintColor(Tint tint, const QPalette& palette) {
  return tintColor(tint, palette, palette.color(QPalette::Window));
}

QColor tintColor(Tint tint, const QPalette& palette, const QColor& background) {
  const QColor base = baseColor(tint, palette);
  // The theme's own text colour is the theme's choice.
  if (tint == Tint::label) return base;
  return legible(base, background);
}

QColor tintWash(Tint tint, const QPalette& palette, double opacity) {
  return mix(baseColor(tint, palette), opacity, palette.color(QPalette::Window));
}

QColor accentFill(const QPalette& palette) {
  return legible(palette.color(QPalette::Highlight), palette.color(QPalette::HighlightedText));
}

QFont textFont(TextStyle style, QFont::Weight weight) {
  QFont f = QApplication::font();
  const qreal base = f.pointSizeF() > 0 ? f.pointSizeF() : 10;
  qreal scale = 1;
  switch (style) {
    case TextStyle::largeTitle: scale = 1.8; break;
    case TextStyle::title: scale = 1.6; break;
    case TextStyle::title2: scale = 1.4; break;
    case TextStyle::title3: scale = 1.2; break;
    case TextStyle::headline: scale = 1.05; if (weight == QFont::Normal) weight = QFont::DemiBold; break;
    case TextStyle::body: scale = 1.0; break;
    case TextStyle::callout: scale = 0.95; break;
    case TextStyle::subheadline: scale = 0.95; break;
    case TextStyle::footnote: scale = 0.9; break;
    case TextStyle::caption: scale = 0.88; break;
    case TextStyle::caption2: scale = 0.8; break;
  }
  f.setPointSizeF(base * scale);
  f.setWeight(weight);
  return f;
}

QLabel* makeLabel(const QString& text, const LabelLook& look, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setTextFormat(Qt::PlainText);
  l->setText(text);
  l->setFont(textFont(look.style, look.weight));
  l->setWordWrap(look.wrap);
  // Text in the label colour follows the palette by itself.
  if (look.tint != Tint::label) {
    l->setProperty(kTintProperty, static_cast<int>(look.tint));
    paintText(l, look.tint, l->palette());
  }
  return l;
}

void retint(QWidget* root) {
  for (QLabel* l : root->findChildren<QLabel*>()) {
    const QVariant tint = l->property(kTintProperty);
    if (tint.isValid()) paintText(l, static_cast<Tint>(tint.toInt()), root->palette());
  }
}

QString windowStyleSheet(const QPalette& pal) {
  const QColor window = pal.color(QPalette::Window), text = pal.color(QPalette::WindowText);
  const QColor button = pal.color(QPalette::Button), fill = accentFill(pal);
  // Rings are graphics: 3:1 against what surrounds them.
  const QColor ring = legible(pal.color(QPalette::Highlight), window, 3.0);
  const QColor ringOnFill = legible(text, fill, 3.0);
  // Push and tool buttons come out equally high for one font: border and padding add 9
  // pixels to the text in both (a styled tool button adds 3 of its own), also while the
  // focus ring is drawn.
  return QStringLiteral(
             "QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 5px; outline: none;"
             " padding: 4px 10px 3px 10px; }"
             "QPushButton:hover { background: %4; }"
             "QPushButton:pressed { background: %5; }"
             "QPushButton:disabled { color: %6; }"
             "QPushButton:focus { border: 2px solid %7; padding: 3px 9px 2px 9px; }"
             "QPushButton[prominent=\"true\"] { background: %8; color: %9; border-color: %8; }"
             "QPushButton[prominent=\"true\"]:pressed { background: %10; }"
             "QPushButton[prominent=\"true\"]:focus { border-color: %11; }"
             "QToolButton[autoRaise=\"true\"] { background: transparent; border: 2px solid transparent; outline: none;"
             " border-radius: 5px; padding: 1px 3px; }"
             "QToolButton[autoRaise=\"true\"]:hover { background: %12; }"
             "QToolButton[autoRaise=\"true\"]:pressed, QToolButton[autoRaise=\"true\"]:checked { background: %13; }"
             "QToolButton[autoRaise=\"true\"]:focus { border-color: %7; }"
             "QToolButton[secondary=\"true\"] { color: %14; }"
             "QToolButton::menu-indicator { image: none; width: 0; }"
             "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
             "QScrollBar::handle:vertical { background: %15; border-radius: 3px; margin: 1px; min-height: 24px; }"
             "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; border: none; }"
             "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
      .arg(button.name(), pal.color(QPalette::ButtonText).name(), mix(text, 0.3, button).name(), rgba(text, 0.06),
           rgba(text, 0.14), pal.color(QPalette::Disabled, QPalette::ButtonText).name(), ring.name(), fill.name(),
           pal.color(QPalette::HighlightedText).name())
      .arg(fill.darker(115).name(), ringOnFill.name(), rgba(text, 0.08), rgba(text, 0.16),
           tintColor(Tint::secondary, pal).name(), rgba(text, 0.35));
}

void sameHeight(const QList<QWidget*>& row) {
  int height = 0;
  for (QWidget* w : row) {
    w->ensurePolished();
    height = std::max(height, w->sizeHint().height());
  }
  for (QWidget* w : row) w->setFixedHeight(height);
}

void applyWindowStyle(QWidget* window) {
  const QString sheet = windowStyleSheet(window->palette());
  if (sheet != window->styleSheet()) window->setStyleSheet(sheet);
}

QString literalText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace qb::ui

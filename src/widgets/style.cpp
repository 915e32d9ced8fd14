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

void paintText(QLabel* label, Tint tint, const QPalette& from) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, tintColor(tint, from));
  label->setPalette(pal);
}

}  // namespace

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

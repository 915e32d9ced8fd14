#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include "present/tint.h"

class QLabel;
class QWidget;

namespace qb::ui {

bool isDark(const QPalette& palette);
// A named colour made legible on the palette's window colour (light or dark).
QColor tintColor(Tint tint, const QPalette& palette);

// Text styles by name, relative to the application font.
enum class TextStyle {
  largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2
};
QFont textFont(TextStyle style, QFont::Weight weight = QFont::Normal);

// How a label looks; designated initialisers name what differs from body text.
struct LabelLook {
  TextStyle style = TextStyle::body;
  Tint tint = Tint::label;
  QFont::Weight weight = QFont::Normal;
  bool wrap = false;
};
// Every label of every window: plain text (never rich), in its text style and colour.
QLabel* makeLabel(const QString& text, const LabelLook& look, QWidget* parent = nullptr);
// A theme switch: the labels below `root` take their colours again from its palette.
void retint(QWidget* root);

// Style sheet for buttons marked with the "prominent" property: accent fill, visible focus.
QString prominentButtonStyle(const QPalette& palette);

// Button and menu texts: a literal "&" must not become a mnemonic.
QString literalText(QString text);

}  // namespace qb::ui

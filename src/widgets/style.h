#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>
#include <QString>

#include "present/tint.h"

class QLabel;
class QWidget;

namespace qb::ui {

bool isDark(const QPalette& palette);
// A named colour for text, icons and bars, legible on the palette's window colour (light or
// dark), or on `background` where it sits on a wash of its own.
QColor tintColor(Tint tint, const QPalette& palette);
QColor tintColor(Tint tint, const QPalette& palette, const QColor& background);
// The surface of a badge or a banner: the named colour at `opacity` over the window.
QColor tintWash(Tint tint, const QPalette& palette, double opacity);
// The fill of a prominent button: the accent, darkened where its text would not stand out.
QColor accentFill(const QPalette& palette);

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

// The style sheet of every window: one look and one height for push buttons (those with the
// "prominent" property on the accent), borderless tool buttons (autoRaise; "secondary" ones
// in the secondary colour in every state), a visible focus ring on each, thin scroll bars.
QString windowStyleSheet(const QPalette& palette);
// Sets it on a window, again after a theme switch (an equal sheet is not set again: that
// would re-polish and raise another palette change).
void applyWindowStyle(QWidget* window);
// Buttons side by side in one row (a text beside an icon, two fonts): the tallest's height.
void sameHeight(const QList<QWidget*>& row);

// Button and menu texts: a literal "&" must not become a mnemonic.
QString literalText(QString text);

}  // namespace qb::ui

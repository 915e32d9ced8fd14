#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

#include "present/tint.h"

namespace qb::ui {

// Our own SVG for an SF Symbol name, drawn in `color`; a null icon for an unknown name.
QIcon symbolIcon(const QString& name, const QColor& color);
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio);
bool hasSymbol(const QString& name);

bool isDark(const QPalette& palette);
// A named colour made legible on the palette's window colour (light or dark).
QColor tintColor(Tint tint, const QPalette& palette);

// The application's own icon (packaging/quotabar.svg), for every window.
QIcon appIcon();

// Text styles by name, relative to the application font.
enum class TextStyle { title, headline, subheadline, body, callout, caption, caption2 };
QFont textFont(TextStyle style, QFont::Weight weight = QFont::Normal);

// Style sheet for buttons marked with the "prominent" property: accent fill, visible focus.
QString prominentButtonStyle(const QPalette& palette);

// Button and menu texts: a literal "&" must not become a mnemonic.
QString literalText(QString text);

}  // namespace qb::ui

#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// Symbols are drawn in the style's colours.
#include "widgets/style.h"

namespace qb::ui {

// Our own SVG for an SF Symbol name, drawn in `color`; a null icon for an unknown name.
QIcon symbolIcon(const QString& name, const QColor& color);
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio);
bool hasSymbol(const QString& name);

// The application's own icon (packaging/quotabar.svg), for every window.
QIcon appIcon();

}  // namespace qb::ui

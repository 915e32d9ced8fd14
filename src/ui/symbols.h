#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace qb::ui {

// Our own drawings of the symbol names the views use, in one colour (white details stay
// white). A name we have no drawing for gives an empty pixmap.
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

// Colour names of the views ("secondary", "tertiary", "green", "orange", "accent",
// "labelColor", "systemYellowColor", "systemRedColor") in the current palette, legible on
// light and dark themes.
QColor namedColor(const QString& name);

}  // namespace qb::ui

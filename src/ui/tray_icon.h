#pragma once

#include <QIcon>

#include "present/status_item_display.h"
#include "present/tray_icon_look.h"

namespace qb::ui {

// The tray's one square icon, drawn from the display record in the colours of the look: a
// 270-degree ring filled to the gauge band and, when there is a figure, the rounded number
// inside it, clear of the ring at every size. In monochrome a figure from 90 % is cut out
// of a filled disc. Holds the sizes panels ask for, 16 to 48 px (44 px for HiDPI
// StatusNotifierItem hosts).
QIcon trayIcon(const StatusItemDisplay& display, const TrayIconLook& look);

// What a pixmap holds; tests draw the figure and the rest apart to see that they never meet.
enum TrayIconParts { kTrayRing = 1, kTrayFigure = 2, kTrayAll = 3 };
QPixmap trayPixmap(const StatusItemDisplay& display, const TrayIconLook& look, int size,
                   qreal devicePixelRatio = 1.0, int parts = kTrayAll);

}  // namespace qb::ui

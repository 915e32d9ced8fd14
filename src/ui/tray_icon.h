#pragma once

#include <QIcon>

#include "present/status_item_display.h"

namespace qb::ui {

// The tray's one square icon, drawn from the display record: the gauge band as a ring and,
// when there is a figure, the rounded number in its centre in the level colour. Every
// stroke carries a contrasting halo so it reads on light and dark panels. Holds the sizes
// panels ask for, 16 to 48 px (44 px for HiDPI StatusNotifierItem hosts).
QIcon trayIcon(const StatusItemDisplay& display);
QPixmap trayPixmap(const StatusItemDisplay& display, int size, qreal devicePixelRatio = 1.0);

// The fraction of the ring a gauge image name stands for (0 for any other name).
double gaugeFraction(const QString& image);

}  // namespace qb::ui

#pragma once

#include <QJsonObject>
#include <QStringList>

#include "present/status_item_display.h"

namespace qb {

class ProvidersStore;

// {"image","title","titleColor"?,"tooltip"}
QJsonObject displayToJson(const StatusItemDisplay& d);
// {"display": ..., "providers": [{"provider","state","snapshot"|"error","lastUpdated"?}, ...]}
QJsonObject statusToJson(const ProvidersStore& store);
// One line of waybar/polybar custom-module JSON: "text", "tooltip", "class", "percentage"?.
// Class "error" (each failure in the tooltip) when every connected service failed.
QJsonObject waybarJson(const ProvidersStore& store);
// One line per service, then the tray line.
QStringList statusLines(const ProvidersStore& store);

}  // namespace qb

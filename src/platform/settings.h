#pragma once

#include <QSettings>
#include <memory>

namespace qb::platform {

// The user's preferences: one INI file in the XDG config folder
// (~/.config/Quotabar/Quotabar.ini). Keys are the dotted names the app defines.
std::unique_ptr<QSettings> settings();

}  // namespace qb::platform

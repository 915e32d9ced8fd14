#pragma once

#include <optional>

namespace qb::platform {

// Whether the desktop's colour scheme is dark, when the desktop says so where an
// application can read it (KDE's kdeglobals); nothing elsewhere, where the application's
// palette tells.
std::optional<bool> darkColorScheme();

}  // namespace qb::platform

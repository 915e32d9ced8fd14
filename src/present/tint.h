#pragma once

namespace qb {

// Colours by name; the widgets map each to a palette-aware colour for light and dark.
enum class Tint { label, secondary, accent, blue, teal, green, orange, yellow, red, purple };

}  // namespace qb

#pragma once

#include <QtGlobal>

namespace qb {

// Colours by name; the widgets map each to a palette-aware colour for light and dark.
enum class Tint { label, secondary, accent, blue, teal, green, orange, yellow, red, purple };

// The least contrast of text against what it sits on (WCAG AA for body text).
inline constexpr double kMinimumContrast = 4.5;

// An opaque colour as 0xRRGGBB (sRGB), for the legibility rule below.
using Rgb = quint32;

// Contrast ratio of two colours by their relative luminance: 1 (none) to 21.
double contrastRatio(Rgb a, Rgb b);
// `over` laid with `opacity` (0 to 1) on `under`.
Rgb blend(Rgb over, double opacity, Rgb under);
// `text` as it is when it reaches `minimum` on `background`; else moved toward black on a
// light background (white on a dark one) only as far as needed, so it keeps its hue.
Rgb legibleOn(Rgb text, Rgb background, double minimum = kMinimumContrast);

}  // namespace qb

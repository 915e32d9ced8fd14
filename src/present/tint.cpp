#include "present/tint.h"

#include <algorithm>
#include <cmath>

namespace qb {

namespace {

int channel(Rgb c, int shift) { return static_cast<int>((c >> shift) & 0xff); }

double linear(int c) {
  const double s = c / 255.0;
  return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

double luminance(Rgb c) {
  return 0.2126 * linear(channel(c, 16)) + 0.7152 * linear(channel(c, 8)) + 0.0722 * linear(channel(c, 0));
}

}  // namespace

double contrastRatio(Rgb a, Rgb b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb blend(Rgb over, double opacity, Rgb under) {
  opacity = std::clamp(opacity, 0.0, 1.0);
  Rgb out = 0;
  for (int shift : {16, 8, 0}) {
    const double c = channel(over, shift) * opacity + channel(under, shift) * (1 - opacity);
    out |= static_cast<Rgb>(std::lround(c)) << shift;
  }
  return out;
}

Rgb legibleOn(Rgb text, Rgb background, double minimum) {
  text &= 0xffffff;
  if (contrastRatio(text, background) >= minimum) return text;
  // Toward whichever of black and white stands out more on this background.
  const Rgb target = contrastRatio(0x000000, background) >= contrastRatio(0xffffff, background) ? 0x000000 : 0xffffff;
  if (contrastRatio(target, background) < minimum) return target;
  // The least step that reaches the minimum, searched on the rounded colours themselves.
  double lo = 0, hi = 1;
  for (int i = 0; i < 24; ++i) {
    const double mid = (lo + hi) / 2;
    (contrastRatio(blend(target, mid, text), background) >= minimum ? hi : lo) = mid;
  }
  return blend(target, hi, text);
}

}  // namespace qb

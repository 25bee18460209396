#pragma once
// Positions and widths are laid out in twips, 15 to a pixel in both
// directions.

#include <cmath>
#include <cstdint>

namespace melodeck::twips {

constexpr int kPerPixel = 15;

// The nearest whole pixel.
inline int ToPixels(std::int32_t twips) {
    return int(std::lround(double(twips) / kPerPixel));
}

inline std::int32_t FromPixels(int pixels) {
    return std::int32_t(pixels) * kPerPixel;
}

} // namespace melodeck::twips

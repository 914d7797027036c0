#pragma once

#include <QRect>

// Both windows are laid out in twips, as they were designed: 1/1440 inch, so
// 15 twips make one device-independent pixel at 96 dpi (Qt scales those on
// high-dpi screens). Rounded to the nearest pixel.
namespace Twips {

inline constexpr int PerPixel = 15;

constexpr int pixels(int twips)
{
    return (twips + PerPixel / 2) / PerPixel;
}

inline QRect twips(int left, int top, int width, int height)
{
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

} // namespace Twips

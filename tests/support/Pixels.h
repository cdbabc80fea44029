#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <cstdlib>

// Pixel checks for whatever a widget, a chart or a picture file drew.
namespace pixels {

// Pixels of exactly `colour` in `area`.
inline int Count(const QImage& image, QRgb colour, QRect area) {
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
    }
    return n;
}

// The topmost pixel of `colour` in column x of `r`, or -1.
inline int Top(const QImage& image, const QRect& r, int x, const QColor& colour) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (image.pixelColor(x, y) == colour) return y;
    }
    return -1;
}

// A waterfall's strong and weak colours.
inline bool Warm(QColor c) { return c.red() > 200 && c.blue() < 100; }
inline bool Cold(QColor c) { return c.red() < 60; }

// Pixels of `colour`'s hue in `area`, smoothed edges included; `top` gets the first row or -1.
inline int HueInk(const QImage& image, const QColor& colour, QRect area, int* top = nullptr) {
    area = area.intersected(image.rect());
    int n = 0;
    if (top != nullptr) *top = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int apart = std::abs(c.hue() - colour.hue());
            // Hue goes round: red is both 0 and 359.
            if (c.saturation() > 60 && std::min(apart, 360 - apart) < 12) {
                if (top != nullptr && n == 0) *top = y;
                ++n;
            }
        }
    }
    return n;
}

}  // namespace pixels

#pragma once

#include <QColor>

// Maps levels in dB to the waterfalls' colours: dark below `low`, through
// blue, cyan and yellow, to red at and above `high`.
struct ColourScale {
    double low = -100.0;
    double high = -50.0;

    QRgb Colour(double db) const;
    // The scale that follows a noise floor: the floor sits just above the
    // dark end, strong carriers reach the red.
    static ColourScale Following(double noiseDb);
    static constexpr double kBelowNoiseDb = 5.0;
    static constexpr double kSpanDb = 50.0;
};

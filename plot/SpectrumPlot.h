#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

#include "plot/ColourScale.h"
#include "spectrum/SpectrumAnalyser.h"

class QPainter;

// Drawing the analyser's results, for the スペクトル window and the console's
// PNG alike. Levels are in dB per hertz relative to a full-scale sine.
namespace spectrumplot {

// A linear axis from `lo` to `hi` across `from`..`to` pixels.
struct Axis {
    double lo, hi;
    int from, to;
    double ToPixel(double v) const { return from + (v - lo) / (hi - lo) * (to - from); }
    double FromPixel(double p) const { return lo + (p - from) / double(to - from) * (hi - lo); }
};

// The band plot's frequency axis (0 Hz to half the rate) and level axis
// (from below the noise floor to above the highest peak, in 10 dB steps).
Axis BandFrequencies(const velto::CSpectrumAnalyser& a, const QRect& r);
Axis BandLevels(const velto::CSpectrumAnalyser& a, const QRect& r);
// A waterfall's offsets across its rectangle.
Axis WaterfallOffsets(const velto::CWaterfall& w, const QRect& r);

// The averaged spectrum and its peak hold, the noise floor, the stations'
// markers and the hum's, with a grid and labels around `r`.
void DrawBand(QPainter& p, const QRect& r, const velto::CSpectrumAnalyser& a);
// The newest line at the top, one line a pixel row; a title above and the
// offsets below. Steady carriers within the span get a mark above.
void DrawWaterfall(QPainter& p, const QRect& r, const velto::CWaterfall& w,
                   const ColourScale& scale, const QString& title,
                   const std::vector<velto::SteadyCarrier>& carriers);
// The bins a pixel column of a waterfall in `r` shows (it shows their
// highest level).
std::pair<int, int> ColumnBins(const velto::CWaterfall& w, const QRect& r, int x);
// What a pixel of a waterfall in `r` shows: the offset of the bin and its
// level; nullopt outside the lines received.
struct WaterfallPoint {
    double offsetHz;
    double db;
    int age;  // lines (seconds) back from the newest
};
std::optional<WaterfallPoint> WaterfallAt(const velto::CWaterfall& w, const QRect& r, QPoint at);
// The colours of `scale` as a bar with its range written beside.
void DrawColourBar(QPainter& p, const QRect& r, const ColourScale& scale, const QString& note);

// The figures, as the window shows them: noise floor, carrier level, the
// station's offset, and the steady carriers beside it.
QString LevelsText(const velto::CSpectrumAnalyser& a);
QString CarriersText(const velto::CSpectrumAnalyser& a);

// The colours the band plot draws with, for those who look at its pixels.
QColor Background();
QColor AverageTrace();
QColor PeakTrace();
QColor StationMarker();
QColor HumMarker();
QColor NoiseLine();

}  // namespace spectrumplot

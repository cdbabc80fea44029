#pragma once

#include <QRect>
#include <array>

// Layout and scales of the oscilloscope window, apart from the window itself
// so that the arithmetic can be checked on its own.
namespace velto {

// Right and bottom are exclusive, as the drawing code measures.
struct ScopeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Height() const { return bottom - top; }
};

inline constexpr int kScopeHeaderHeight = 48;  // time labels and tick marks
inline constexpr int kScopePanelGap = 6;       // covered by the separator band
inline constexpr int kScopeDivisions = 10;     // vertical divisions of a panel

// The client area split into header, the upper (GPS) and the lower (VLF) panel.
struct ScopeLayout {
    ScopeRect client;
    ScopeRect upper;
    ScopeRect lower;
};
ScopeLayout MakeScopeLayout(int width, int height);

// Where the window opens on a screen of this geometry: the middle half of the
// width and a third of the height, centred.
QRect ScopeWindowRect(const QRect& screen);

// Volts per vertical division by scale index; a higher index is finer.
inline constexpr std::array<double, 13> VoltsPerDivision{
    1.0, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001, 0.0005, 0.0002, 0.0001};
inline constexpr int kMaxScaleIndex = static_cast<int>(VoltsPerDivision.size()) - 1;

// Both sample widths put full scale at this many volts.
inline constexpr double kFullScaleVolts = 3.2767;
// The sample value that stands for full scale; 24-bit data is 16-bit data
// shifted by 8, hence 32767 x 256 rather than 8388607.
double FullScaleValue(int bitsPerSample);

// Truncates toward zero into the int range (NaN gives 0), for values that may
// lie anywhere.
int ClampToInt(double v);
// Truncates a coordinate toward zero, limited far outside any window so that
// the painter never sees an extreme value; NaN gives the negative limit.
int ClampToPixel(double v);

// y of sample value v in a panel at a scale: positive above the centre.
int SampleToY(double v, const ScopeRect& panel, double fullScale, double voltsPerDivision);

}  // namespace velto

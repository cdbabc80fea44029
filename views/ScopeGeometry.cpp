#include "views/ScopeGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velto {
namespace {

constexpr double kPixelLimit = 1 << 20;

}  // namespace

ScopeLayout MakeScopeLayout(int width, int height) {
    const int h = (height - kScopeHeaderHeight - kScopePanelGap) / 2;
    ScopeLayout layout;
    layout.client = {0, 0, width, height};
    layout.upper = {0, kScopeHeaderHeight, width, h + kScopeHeaderHeight};
    layout.lower = {0, h + kScopeHeaderHeight + kScopePanelGap, width, height};
    return layout;
}

QRect ScopeWindowRect(const QRect& screen) {
    const int w = screen.x() + screen.width();
    const int h = screen.y() + screen.height();
    const int left = (w / 2) / 2;
    const int right = w / 2 + (w / 2) / 2;
    const int top = (h / 3) / 2;
    const int bottom = h / 3 + (h / 3) / 2;
    return {left, top, right - left, bottom - top};
}

double FullScaleValue(int bitsPerSample) { return bitsPerSample == 24 ? 8388352.0 : 32767.0; }

int ClampToInt(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(v, lo, hi));
}

int ClampToPixel(double v) {
    if (std::isnan(v)) {
        return static_cast<int>(-kPixelLimit);
    }
    return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit));
}

int SampleToY(double v, const ScopeRect& panel, double fullScale, double voltsPerDivision) {
    const double height = panel.Height();
    const double centre = panel.top + 0.5 * height;
    const double volts = v * kFullScaleVolts / fullScale;
    return ClampToPixel(centre - volts * (height / kScopeDivisions) / voltsPerDivision);
}

}  // namespace velto

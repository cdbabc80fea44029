// The drawing of CScope: time axis, panel grids, marker, traces, sine overlay,
// frequency readout and separator, in that order, into an image of the client
// area.

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "base/Geometry.h"
#include "dsp/SineFit.h"
#include "views/Scope.h"

using velto::ScopeRect;

namespace {

const QColor kCompressedHeader(196, 235, 78);
const QColor kMajorGrid(64, 64, 64);
const QColor kMinorGrid(40, 40, 40);
const QColor kCentreLine(96, 96, 96);
const QColor kDivisionLine(64, 64, 64);
const QColor kTrace(0, 255, 0);
const QColor kMarker(255, 0, 0);
const QColor kSeparatorFill(111, 202, 225);
const QColor kSeparatorTop(211, 239, 245);
const QColor kSeparatorBottom(36, 147, 174);

constexpr int kSamplesPerColumn = 100;  // the compressed view
constexpr int kOverlayMinMagnification = 4;
constexpr int kDotSize = 8;
constexpr int kDotHalf = kDotSize / 2;
constexpr int kReadoutLeft = 64;
constexpr int kReadoutRight = 140;
constexpr int kReadoutAbove = 32;

QPen LinePen(const QColor& colour, bool dotted = false) {
    QPen pen(colour, 1);
    pen.setCosmetic(true);
    if (dotted) {
        pen.setDashPattern({3, 3});
    }
    return pen;
}

// From one point toward another, the end point itself left out, for
// horizontal and vertical lines.
void StraightLine(QPainter& p, int x0, int y0, int x1, int y1) {
    const int dx = (x1 > x0) - (x1 < x0);
    const int dy = (y1 > y0) - (y1 < y0);
    if (dx == 0 && dy == 0) {
        return;
    }
    p.drawLine(x0, y0, x1 - dx, y1 - dy);
}

// Text placed by the top left of its line, as the labels are measured.
void TextAt(QPainter& p, int x, int top, const QString& text) {
    p.drawText(x, top + p.fontMetrics().ascent(), text);
}

struct Tick {
    long long x = 0;
    int y0 = 0;  // where the tick starts in the header
    QPen grid;
    bool labelled = false;
    double value = 0.0;
    int textTop = 0;
};

// A tick every 10 ms in the compressed view, every 0.1 ms up to magnification
// 8, every 10 microseconds above; labels count from the left edge.
Tick TimeAxisTick(int m, int i, long long rate) {
    // At 96000 samples/s 10 ms is 960 samples, 9.6 columns of 100; 0.1 ms is
    // 9.6 samples, m pixels each; 10 microseconds is 0.96 samples.
    constexpr long long kPerTenMs = 10000;
    constexpr long long kPerTenthMs = 10000;
    constexpr long long kPerTenMicros = 100000;
    Tick t;
    if (m == 0) {
        t.x = i * rate / kPerTenMs;
        if (i % 10 == 0) {
            t = {t.x, 29, LinePen(kMajorGrid), true, i / 100.0, 4};
        } else if (i % 5 == 0) {
            t = {t.x, 36, LinePen(kMinorGrid), false, 0.0, 0};
        } else {
            t = {t.x, 42, LinePen(kMinorGrid, true), false, 0.0, 0};
        }
    } else if (m <= 8) {
        t.x = m * (i * rate) / kPerTenthMs;
        if (i % 10 == 0) {
            t = {t.x, 29, LinePen(kMajorGrid), true, i / 10.0, 4};
        } else if (i % 5 == 0) {
            t = {t.x, 36, LinePen(kMinorGrid), m == 8, i / 10.0, 12};
        } else {
            t = {t.x, 42, LinePen(kMinorGrid, true), m == 8, i / 10.0, 16};
        }
    } else {
        t.x = m * (i * rate) / kPerTenMicros;
        if (i % 100 == 0) {
            t = {t.x, 29, LinePen(kMajorGrid), true, i / 100.0, 4};
        } else if (i % 50 == 0) {
            t = {t.x, 36, LinePen(kMajorGrid), true, i / 100.0, 12};
        } else if (i % 10 == 0) {
            t = {t.x, 42, LinePen(kMajorGrid), true, i / 100.0, 16};
        } else {
            t = {t.x, 42, LinePen(kMinorGrid, true), false, 0.0, 0};
        }
    }
    return t;
}

// The sprite's left half is a mask, its right half the disc: AND the mask in,
// then OR the disc over it, so that the disc stands opaque on the trace.
void DrawDot(QPainter& p, const QImage& sprite, QPoint at) {
    const QPoint corner(at.x() - kDotHalf, at.y() - kDotHalf);
    p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    p.drawImage(corner, sprite, QRect(0, 0, kDotSize, kDotSize));
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    p.drawImage(corner, sprite, QRect(kDotSize, 0, kDotSize, kDotSize));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

bool ClipTo(QPainter& p, const ScopeRect& panel) {
    if (panel.right <= panel.left || panel.bottom <= panel.top) {
        return false;
    }
    p.setClipRect(QRect(panel.left, panel.top, panel.right - panel.left, panel.Height()));
    return true;
}

}  // namespace

void CScope::paintEvent(QPaintEvent*) {
    const QImage image = Render();
    QPainter p(this);
    p.drawImage(0, 0, image);
}

QImage CScope::Render() {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull()) {
        UpdateCaption();
        return image;
    }
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QFont plain = font();
    plain.setStyleStrategy(QFont::NoAntialias);
    p.setFont(plain);

    const velto::ScopeLayout layout = velto::MakeScopeLayout(width(), height());
    DrawTimeAxis(p, layout.client);
    UpdateCaption();
    DrawPanelGrid(p, layout.upper);
    DrawMarker(p, layout.client);
    if (m_magnification > 0) {
        DrawSampleTrace(p, layout.upper, m_gpsSamples, m_gpsScale);
    } else {
        DrawEnvelopeTrace(p, layout.upper, m_gpsSamples, m_gpsScale);
    }
    p.setClipping(false);
    DrawPanelGrid(p, layout.lower);
    if (m_magnification > 0) {
        DrawSampleTrace(p, layout.lower, m_vlfSamples, m_vlfScale);
        if (m_overlayFlagB == 1 || m_overlayFlagA == 1) {
            DrawSineOverlay(p, layout.lower);
        }
    } else {
        DrawEnvelopeTrace(p, layout.lower, m_vlfSamples, m_vlfScale);
    }
    p.setClipping(false);
    DrawFrequency(p, layout.lower);
    DrawSeparator(p, layout.client);
    return image;
}

void CScope::DrawTimeAxis(QPainter& p, const ScopeRect& r) {
    const int header = velto::kScopeHeaderHeight;
    p.fillRect(QRect(r.left, r.top, r.right - r.left, header - r.top),
               m_magnification == 0 ? kCompressedHeader : QColor(Qt::white));
    const QPen black = LinePen(Qt::black);
    for (int i = 0;; ++i) {
        const Tick tick = TimeAxisTick(m_magnification, i, m_rate);
        if (tick.x >= r.right) {
            break;
        }
        const int x = static_cast<int>(tick.x);
        p.setPen(black);
        StraightLine(p, x, tick.y0, x, header);
        p.setPen(tick.grid);
        StraightLine(p, x, header, x, r.bottom);
        if (tick.labelled) {
            const QString label = QString::asprintf("%.1f", tick.value);
            const int w = p.fontMetrics().horizontalAdvance(label);
            p.setPen(black);
            TextAt(p, x - w / 2, tick.textTop, label);
        }
    }
}

void CScope::DrawPanelGrid(QPainter& p, const ScopeRect& panel) {
    const int height = panel.Height();
    const int centre = panel.top + height / 2;
    const int d = height / velto::kScopeDivisions;
    p.setPen(LinePen(kCentreLine));
    StraightLine(p, panel.left, centre, panel.right, centre);
    p.setPen(LinePen(kDivisionLine, true));
    for (int k = 1; k < velto::kScopeDivisions / 2; ++k) {
        StraightLine(p, panel.left, centre + k * d, panel.right, centre + k * d);
        StraightLine(p, panel.left, centre - k * d, panel.right, centre - k * d);
    }
}

void CScope::DrawMarker(QPainter& p, const ScopeRect& r) {
    if (m_marker == kNoMarker) {
        return;
    }
    const double m = m_magnification;
    const double x = m * (m_marker - m_startIndex) + (m_overlayFlagB == 0 ? m : 0.0);
    if (std::isnan(x)) {
        return;
    }
    const int xi = velto::ClampToPixel(x);
    p.setPen(LinePen(kMarker));
    StraightLine(p, xi, r.top + velto::kScopeHeaderHeight, xi, r.bottom);
}

void CScope::DrawSampleTrace(QPainter& p, const ScopeRect& panel,
                             const std::vector<std::int32_t>& buffer, int scale) {
    if (!ClipTo(p, panel) || m_vlfSamples.empty()) {
        return;
    }
    const int j = m_startIndex;
    const int n = m_sampleCount;
    if (j >= n) {
        return;
    }
    QImage sprite(QStringLiteral(":/scope/dot.png"));
    sprite = sprite.convertToFormat(QImage::Format_RGB32);
    const double fullScale = velto::FullScaleValue(m_bitsPerSample);
    const double volts = velto::VoltsPerDivision[scale];
    const auto y = [&](int index) {
        return velto::SampleToY(buffer[static_cast<std::size_t>(index)], panel, fullScale, volts);
    };
    const int m = m_magnification;
    p.setPen(LinePen(kTrace));
    QPoint last(0, y(j));
    for (int q = 1;; ++q) {
        const int x = q * m;
        if (x >= panel.right + m || j + q >= n) {
            break;
        }
        const QPoint next(x, y(j + q));
        p.drawLine(last, next);
        DrawDot(p, sprite, last);
        last = next;
    }
    DrawDot(p, sprite, last);
}

// Each column spans 100 samples from its highest to its lowest value, the
// zero line always included, so silence shows as a pixel at the centre.
void CScope::DrawEnvelopeTrace(QPainter& p, const ScopeRect& panel,
                               const std::vector<std::int32_t>& buffer, int scale) {
    if (!ClipTo(p, panel) || m_vlfSamples.empty()) {
        return;
    }
    const double fullScale = velto::FullScaleValue(m_bitsPerSample);
    const double volts = velto::VoltsPerDivision[scale];
    p.setPen(LinePen(kTrace));
    int j = m_startIndex;
    for (int x = 0; x < panel.right && j < m_sampleCount; ++x) {
        std::int32_t hi = 0;
        std::int32_t lo = 0;
        for (int k = 0; k < kSamplesPerColumn && j < m_sampleCount; ++k, ++j) {
            hi = std::max(hi, buffer[static_cast<std::size_t>(j)]);
            lo = std::min(lo, buffer[static_cast<std::size_t>(j)]);
        }
        const int yHi = velto::SampleToY(hi, panel, fullScale, volts);
        int yLo = velto::SampleToY(lo, panel, fullScale, volts);
        if (yLo == yHi) {
            yLo = yHi + 1;
        }
        StraightLine(p, x, yHi, x, yLo);
    }
}

// A sine of the set frequency through the first two VLF samples shown,
// continued across the panel with a vertex per pixel.
void CScope::DrawSineOverlay(QPainter& p, const ScopeRect& lower) {
    const int m = m_magnification;
    const int s = m_startIndex;
    if (m_vlfSamples.empty() || m_frequency == 0.0 || m < kOverlayMinMagnification ||
        s + 1 >= m_sampleCount) {
        return;
    }
    velto::SineFitResult fit;
    velto::SineFit(s, s + 1.0, m_vlfSamples[static_cast<std::size_t>(s)],
                   m_vlfSamples[static_cast<std::size_t>(s) + 1], m_frequency, fit, m_rate);
    if (fit.valid == 0) {
        return;
    }
    QPen pen(Qt::white, 2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    const double rate = m_rate;
    QPolygon curve;
    for (int i = 0; i < lower.right + m; ++i) {
        const double t = s / rate + i / rate / m;
        const double value = fit.amplitude * std::sin(velto::kTwoPi * m_frequency * t + fit.phase);
        curve << QPoint(i, SineValueToY(value, lower));
    }
    p.drawPolyline(curve);
}

// Unlike a sample, the value is cut to tenths of a step first and the result
// rounded.
int CScope::SineValueToY(double value, const ScopeRect& lower) const {
    const int q = velto::ClampToInt(10.0 * value);
    const double height = lower.Height();
    const double centre = lower.top + 0.5 * height;
    const double volts = q * velto::kFullScaleVolts / velto::FullScaleValue(m_bitsPerSample);
    return velto::ClampToPixel(centre -
                               volts * (height / velto::kScopeDivisions) /
                                   velto::VoltsPerDivision[m_vlfScale] / 10.0 +
                               0.5);
}

void CScope::DrawFrequency(QPainter& p, const ScopeRect& lower) {
    if (m_frequency == 0.0) {
        return;
    }
    const QString text = QString::asprintf("Freq = %.0f Hz", m_frequency);
    p.setPen(Qt::white);
    TextAt(p, lower.left + kReadoutLeft, lower.top - kReadoutAbove, text);
    TextAt(p, lower.right - kReadoutRight, lower.top - kReadoutAbove, text);
}

void CScope::DrawSeparator(QPainter& p, const ScopeRect& r) {
    const int header = velto::kScopeHeaderHeight;
    const int ys = (r.bottom - header) / 2 + header;
    const int half = velto::kScopePanelGap / 2;
    p.fillRect(QRect(r.left, ys - half, r.right - r.left, 2 * half), kSeparatorFill);
    p.setPen(LinePen(kSeparatorTop));
    StraightLine(p, r.left, ys - half, r.right, ys - half);
    p.setPen(LinePen(kSeparatorBottom));
    StraightLine(p, r.left, ys + half, r.right, ys + half);
}

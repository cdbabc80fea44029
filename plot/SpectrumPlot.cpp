#include "plot/SpectrumPlot.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

#include "spectrum/Level.h"

using velto::CSpectrumAnalyser;
using velto::CWaterfall;
using velto::SpectrumMarker;

namespace spectrumplot {
namespace {

const QColor kGrid{70, 70, 85};
const QColor kLabel{200, 200, 210};
constexpr double kLevelStep = 10.0;
// Shown when nothing has come yet.
constexpr double kEmptyLow = -120.0;
constexpr double kEmptyHigh = -20.0;
// A carrier's label: this far right of its line, in rows this high.
constexpr int kLabelGap = 3;
constexpr int kLabelRow = 14;

// The largest of the levels between two bins, as dB.
double MaxDb(const CSpectrumAnalyser& a, bool peak, int first, int last) {
    const auto& band = a.Band();
    double best = 0.0;
    for (int k = std::max(first, 0); k <= std::min(last, band.Bins() - 1); ++k) {
        best = std::max(best, peak ? band.Peak(k) : band.Average(k));
    }
    return velto::level::ToDb(best);
}

QString Signed(double v, int decimals) {
    return (v >= 0.0 ? QStringLiteral("+") : QStringLiteral("−")) +
           QString::number(std::abs(v), 'f', decimals);
}

QString Db(double v, int decimals = 1) {
    return v < 0.0 ? QStringLiteral("−") + QString::number(-v, 'f', decimals)
                   : QString::number(v, 'f', decimals);
}

void Frame(QPainter& p, const QRect& r) {
    p.setPen(kGrid);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace

QColor Background() { return {16, 16, 24}; }
QColor AverageTrace() { return {255, 220, 0}; }
QColor PeakTrace() { return {110, 140, 255}; }
QColor StationMarker() { return {255, 60, 60}; }
QColor HumMarker() { return {255, 140, 0}; }
QColor NoiseLine() { return {0, 200, 90}; }

Axis BandFrequencies(const CSpectrumAnalyser& a, const QRect& r) {
    return {0.0, a.Options().sampleRate / 2.0, r.left(), r.right()};
}

Axis BandLevels(const CSpectrumAnalyser& a, const QRect& r) {
    const auto& band = a.Band();
    if (band.Frames() == 0) {
        return {kEmptyLow, kEmptyHigh, r.bottom(), r.top()};
    }
    double top = MaxDb(a, true, 1, band.Bins() - 1);
    double bottom = a.NoiseDb().value_or(top - 60.0) - 2.0 * kLevelStep;
    top = std::ceil((top + 5.0) / kLevelStep) * kLevelStep;
    bottom = std::floor(bottom / kLevelStep) * kLevelStep;
    return {bottom, std::max(top, bottom + 4 * kLevelStep), r.bottom(), r.top()};
}

Axis WaterfallOffsets(const CWaterfall& w, const QRect& r) {
    // Each bin owns the pixels around its centre.
    const double half = w.BinHz() / 2.0;
    return {w.FirstHz() - half, w.LastHz() + half, r.left(), r.right() + 1};
}

void DrawBand(QPainter& p, const QRect& r, const CSpectrumAnalyser& a) {
    const Axis x = BandFrequencies(a, r);
    const Axis y = BandLevels(a, r);
    p.fillRect(r, Background());
    QFont small = p.font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    const QFont normal = p.font();
    p.setFont(small);
    for (double v = y.lo; v <= y.hi + 0.5; v += kLevelStep) {
        const int py = static_cast<int>(std::lround(y.ToPixel(v)));
        p.setPen(kGrid);
        p.drawLine(r.left(), py, r.right(), py);
        p.setPen(kLabel);
        p.drawText(QRect(r.left() - 48, py - 8, 44, 16), Qt::AlignRight | Qt::AlignVCenter,
                   Db(v, 0));
    }
    const double step = x.hi > 60000.0 ? 10000.0 : 5000.0;
    for (double hz = 0.0; hz <= x.hi; hz += step) {
        const int px = static_cast<int>(std::lround(x.ToPixel(hz)));
        p.setPen(kGrid);
        p.drawLine(px, r.top(), px, r.bottom());
        p.setPen(kLabel);
        p.drawText(QRect(px - 30, r.bottom() + 2, 60, 14), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(hz / 1000.0, 'f', 0));
    }
    p.drawText(QRect(r.right() - 60, r.bottom() + 16, 60, 14), Qt::AlignRight | Qt::AlignTop,
               QStringLiteral("kHz"));
    p.drawText(QRect(r.left() - 48, r.top() - 18, 100, 14), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("dB/Hz"));

    const auto& band = a.Band();
    const auto noise = a.NoiseDb();
    p.setClipRect(r);
    if (noise) {
        const int py = static_cast<int>(std::lround(y.ToPixel(*noise)));
        p.setPen(QPen(NoiseLine(), 1, Qt::DashLine));
        p.drawLine(r.left(), py, r.right(), py);
    }
    // A label that would run into the one before goes a row lower
    // (JJY/MSF/WWVB at 60 kHz beside BPC at 68.5 kHz), and its carrier's line
    // starts there, below the labels it passes; the markers come in order of
    // frequency.
    std::vector<int> rowEnds;
    for (const SpectrumMarker& m : a.Markers()) {
        const int px = static_cast<int>(std::lround(x.ToPixel(m.hz)));
        if (m.kind == SpectrumMarker::Kind::Station) {
            const QString label = QString::fromStdString(m.label);
            const int width = p.fontMetrics().horizontalAdvance(label);
            std::size_t row = 0;
            while (row < rowEnds.size() && rowEnds[row] >= px - 1) {
                ++row;
            }
            if (row == rowEnds.size()) {
                rowEnds.push_back(0);
            }
            rowEnds[row] = px + kLabelGap + width;
            const int top = r.top() + 2 + kLabelRow * static_cast<int>(row);
            p.setPen(QPen(StationMarker(), 1, Qt::DotLine));
            p.drawLine(px, top, px, r.bottom());
            p.setPen(StationMarker());
            p.drawText(QRect(px + kLabelGap, top, width + 1, kLabelRow),
                       Qt::AlignLeft | Qt::AlignTop, label);
        } else {
            p.setPen(HumMarker());
            p.drawLine(px, r.bottom() - 8, px, r.bottom());
        }
    }
    if (band.Frames() > 0) {
        for (bool peak : {true, false}) {
            QPolygonF trace;
            for (int px = r.left(); px <= r.right(); ++px) {
                const int first = band.BinOf(x.FromPixel(px - 0.5));
                const int last = band.BinOf(x.FromPixel(px + 0.5));
                trace << QPointF(px, y.ToPixel(std::max(MaxDb(a, peak, first, last), y.lo)));
            }
            p.setPen(peak ? PeakTrace() : AverageTrace());
            p.drawPolyline(trace);
        }
    }
    p.setClipping(false);
    Frame(p, r);
    p.setFont(normal);
}

void DrawWaterfall(QPainter& p, const QRect& r, const CWaterfall& w, const ColourScale& scale,
                   const QString& title, const std::vector<velto::SteadyCarrier>& carriers) {
    const Axis x = WaterfallOffsets(w, r);
    QImage image(r.size(), QImage::Format_RGB32);
    image.fill(Background());
    const int rows = std::min(w.Lines(), r.height());
    std::vector<std::pair<int, int>> columns(static_cast<std::size_t>(r.width()));
    for (int c = 0; c < r.width(); ++c) {
        columns[static_cast<std::size_t>(c)] = ColumnBins(w, r, r.left() + c);
    }
    for (int row = 0; row < rows; ++row) {
        const float* line = w.Line(row);
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int c = 0; c < r.width(); ++c) {
            const auto [first, last] = columns[static_cast<std::size_t>(c)];
            pixels[c] = scale.Colour(*std::max_element(line + first, line + last + 1));
        }
    }
    p.drawImage(r.topLeft(), image);
    Frame(p, r);

    const QFont normal = p.font();
    p.setPen(kLabel);
    p.drawText(QRect(r.left(), r.top() - 34, r.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
               title);
    for (const auto& c : carriers) {
        if (c.offsetHz >= x.lo && c.offsetHz <= x.hi) {
            const double px = x.ToPixel(c.offsetHz);
            const QPointF tip(px, r.top() - 2);
            p.setBrush(StationMarker());
            p.setPen(Qt::NoPen);
            p.drawPolygon(QPolygonF{tip, tip + QPointF(-4, -8), tip + QPointF(4, -8)});
            p.setBrush(Qt::NoBrush);
        }
    }
    QFont small = normal;
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    p.setPen(kLabel);
    const double span = w.LastHz();
    const double step = span >= 100.0 ? 100.0 : 5.0;
    for (double hz = -std::floor(span / step) * step; hz <= span + 1e-9; hz += step) {
        const int px = static_cast<int>(std::lround(x.ToPixel(hz)));
        p.drawLine(px, r.bottom() + 1, px, r.bottom() + 4);
        p.drawText(QRect(px - 30, r.bottom() + 5, 60, 14), Qt::AlignHCenter | Qt::AlignTop,
                   std::abs(hz) < 1e-9 ? QStringLiteral("0") : Signed(hz, 0));
    }
    p.drawText(QRect(r.right() - 60, r.bottom() + 19, 60, 14), Qt::AlignRight | Qt::AlignTop,
               QStringLiteral("Hz"));
    p.setFont(normal);
}

std::pair<int, int> ColumnBins(const CWaterfall& w, const QRect& r, int px) {
    const Axis x = WaterfallOffsets(w, r);
    const double lo = (x.FromPixel(px) - w.FirstHz()) / w.BinHz();
    const double hi = (x.FromPixel(px + 1) - w.FirstHz()) / w.BinHz();
    const int first = std::clamp(static_cast<int>(std::ceil(lo - 0.5)), 0, w.Bins() - 1);
    const int last = std::clamp(static_cast<int>(std::ceil(hi - 0.5)) - 1, first, w.Bins() - 1);
    return {first, last};
}

std::optional<WaterfallPoint> WaterfallAt(const CWaterfall& w, const QRect& r, QPoint at) {
    const int age = at.y() - r.top();
    if (!r.contains(at) || age >= w.Lines()) {
        return std::nullopt;
    }
    const auto [first, last] = ColumnBins(w, r, at.x());
    const float* line = w.Line(age);
    const int bin = static_cast<int>(std::max_element(line + first, line + last + 1) - line);
    return WaterfallPoint{w.FirstHz() + bin * w.BinHz(), line[bin], age};
}

void DrawColourBar(QPainter& p, const QRect& r, const ColourScale& scale, const QString& note) {
    for (int px = r.left(); px <= r.right(); ++px) {
        const double db =
            scale.low + (scale.high - scale.low) * (px - r.left()) / std::max(1, r.width() - 1);
        p.setPen(QColor(scale.Colour(db)));
        p.drawLine(px, r.top(), px, r.bottom());
    }
    Frame(p, r);
    p.setPen(kLabel);
    p.drawText(QRect(r.right() + 8, r.top() - 2, 400, r.height() + 4),
               Qt::AlignLeft | Qt::AlignVCenter,
               QCoreApplication::translate("SpectrumPlot", "%1 〜 %2 dB/Hz %3")
                   .arg(Db(scale.low), Db(scale.high), note));
}

QString LevelsText(const CSpectrumAnalyser& a) {
    const QString none = QStringLiteral("—");
    const auto noise = a.NoiseDb();
    const auto carrier = a.CarrierDb();
    const auto above = a.CarrierAboveNoiseDb();
    const auto offset = a.StationOffsetHz();
    return QCoreApplication::translate(
               "SpectrumPlot",
               "雑音レベル %1 dB/Hz　搬送波 %2 dB　雑音との差 %3 dB-Hz　搬送波のずれ %4 Hz")
        .arg(noise ? Db(*noise) : none, carrier ? Db(*carrier) : none, above ? Db(*above) : none,
             offset ? Signed(*offset, 2) : none);
}

QString CarriersText(const CSpectrumAnalyser& a) {
    const auto carriers = a.Carriers();
    if (carriers.empty()) {
        return QCoreApplication::translate("SpectrumPlot", "近くの定常搬送波: なし");
    }
    QStringList parts;
    for (const auto& c : carriers) {
        parts << QStringLiteral("%1 Hz (%2 dB)").arg(Signed(c.offsetHz, 1), Db(c.levelDb));
    }
    return QCoreApplication::translate("SpectrumPlot", "近くの定常搬送波: ") +
           parts.join(QCoreApplication::translate("SpectrumPlot", "、"));
}

}  // namespace spectrumplot

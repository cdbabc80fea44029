#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <vector>

#include "plot/ReceptionChart.h"
#include "plot/SpectrumPlot.h"
#include "spectrum/SpectrumAnalyser.h"
#include "tests/support/Pixels.h"

using receptionchart::Span;
using velto::ReceptionRecord;

namespace {

constexpr std::int64_t kNow = 1796642160;
const QRect kChart{48, 40, 720, 120};

int Trace(const QImage& image, double x0, double x1) {
    const int left = static_cast<int>(x0);
    const QRect columns(left, kChart.top(), static_cast<int>(x1) - left + 1, kChart.height());
    return pixels::HueInk(image, receptionchart::Trace(), columns);
}

// The last hour: 30 good minutes decoded, 10 not logged, 20 weak ones not decoded.
TEST(ReceptionChartTest, TheTraceFollowsTheLoggedMinutesAndTheStripTheirDecodes) {
    std::vector<ReceptionRecord> records;
    for (int m = 0; m < 60; ++m) {
        if (m >= 30 && m < 40) continue;
        const bool good = m < 30;
        const double cn0 = good ? 40.0 : 20.0;
        records.push_back(
            {kNow - 3600 + 60 * m, velto::ReceptionState::TimeValid, cn0, {}, {}, good, {}});
    }
    QImage image(820, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    receptionchart::Draw(p, kChart, records, kNow, Span::Hour);
    p.end();
    auto x = [](int minute) {
        return receptionchart::XOf(kChart, kNow - 3600 + 60 * minute, kNow, Span::Hour);
    };
    EXPECT_GT(Trace(image, x(2), x(28)), 0);
    EXPECT_GT(Trace(image, x(42), x(58)), 0);
    EXPECT_EQ(Trace(image, x(32), x(38)), 0) << "not joined across the minutes with no line";

    const int y = receptionchart::StripRect(kChart).center().y();
    const auto strip = [&](int minute) { return image.pixelColor(static_cast<int>(x(minute)), y); };
    EXPECT_NE(strip(35), receptionchart::Decoded());
    EXPECT_NE(strip(35), receptionchart::Undecoded());
}

// The 60 kHz label once ran over BPC's line at 68.5 kHz.
TEST(SpectrumPlot, NoCarriersLabelCrossesAnotherCarriersLine) {
    const velto::CSpectrumAnalyser analyser(velto::SpectrumOptions{.sampleRate = 192000});
    const QRect band(60, 90, 1080, 260);  // as the console's picture draws it
    QImage image(1200, 400, QImage::Format_RGB32);
    image.fill(spectrumplot::Background());
    {
        QPainter p(&image);
        spectrumplot::DrawBand(p, band, analyser);
    }
    const spectrumplot::Axis x = spectrumplot::BandFrequencies(analyser, band);
    const QColor marker = spectrumplot::StationMarker();
    int carriers = 0;
    for (const velto::SpectrumMarker& m : analyser.Markers()) {
        if (m.kind != velto::SpectrumMarker::Kind::Station) continue;
        ++carriers;
        const int px = static_cast<int>(std::lround(x.ToPixel(m.hz)));
        int lineDrawn = 0;
        for (int y = band.top(); y < band.top() + 50; ++y) {
            if (image.pixelColor(px, y) != marker) continue;
            ++lineDrawn;
            EXPECT_EQ(pixels::HueInk(image, marker, QRect(px - 1, y, 1, 1)) +
                          pixels::HueInk(image, marker, QRect(px + 1, y, 1, 1)),
                      0)
                << "a label crosses the line of " << m.label << " at y " << y;
        }
        EXPECT_GT(lineDrawn, 5) << m.label;
    }
    EXPECT_EQ(carriers, 4);  // 40, 60, 68.5 and 77.5 kHz
}

}  // namespace

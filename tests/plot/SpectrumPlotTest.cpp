#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "plot/SpectrumPlot.h"
#include "spectrum/SpectrumAnalyser.h"
#include "tests/support/Pixels.h"

namespace {

// At 192 kHz the band shows every station's carrier and BPC's. The label of
// JJY/MSF/WWVB at 60 kHz once ran over BPC's line at 68.5 kHz, and BPC's own
// label was written into it; no label may cross another carrier's line.
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
        if (m.kind != velto::SpectrumMarker::Kind::Station) {
            continue;
        }
        ++carriers;
        const int px = static_cast<int>(std::lround(x.ToPixel(m.hz)));
        int lineDrawn = 0;
        for (int y = band.top(); y < band.top() + 50; ++y) {
            if (image.pixelColor(px, y) != marker) {
                continue;
            }
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

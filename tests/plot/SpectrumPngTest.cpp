#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <vector>

#include "plot/SpectrumPlot.h"
#include "plot/SpectrumPng.h"
#include "simulator/StationSignal.h"

namespace {

// The topmost pixel of a colour in a column of `r`, or -1.
int Top(const QImage& image, const QRect& r, int x, const QColor& colour) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (image.pixelColor(x, y) == colour) {
            return y;
        }
    }
    return -1;
}

bool Warm(QColor c) { return c.red() > 200 && c.blue() < 100; }
bool Cold(QColor c) { return c.red() < 60; }

TEST(SpectrumPngTest, ARecordingsBandAndWaterfallsAreWrittenAsAPicture) {
    velto::SpectrumOptions options;
    options.bandAverageSeconds = 0.0;  // the whole recording
    options.waterfallLines = 100;
    velto::CSpectrumAnalyser a(options);
    velto::StationSignalOptions o;
    o.carrierAmplitude = 1000.0;
    o.cn0DbHz = 40.0;
    velto::CStationSignal signal(1796642160, o);
    std::vector<std::int16_t> buffer(9600);
    for (int i = 0; i < 400; ++i) {
        signal.Generate(buffer.data(), buffer.size());
        a.Feed(buffer.data(), buffer.size());
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("band.png"));
    QString error;
    ASSERT_TRUE(spectrumpng::Write(a, path, &error)) << error.toStdString();
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), spectrumpng::kWidth);

    // The band: the average stands highest at 40 kHz, where the station's
    // marker is; at 30 kHz it lies at the noise.
    const QRect band = spectrumpng::BandRect();
    const auto x = spectrumplot::BandFrequencies(a, band);
    const int carrier = static_cast<int>(std::lround(x.ToPixel(40000.0)));
    const int empty = static_cast<int>(std::lround(x.ToPixel(30000.0)));
    const int top = Top(image, band, carrier, spectrumplot::AverageTrace());
    const int noise = Top(image, band, empty, spectrumplot::AverageTrace());
    ASSERT_GE(top, 0);
    ASSERT_GE(noise, 0);
    EXPECT_LT(top, noise - band.height() / 3);
    EXPECT_GE(Top(image, band, carrier - 1, spectrumplot::StationMarker()) +
                  Top(image, band, carrier, spectrumplot::StationMarker()) +
                  Top(image, band, carrier + 1, spectrumplot::StationMarker()),
              0);

    // The waterfalls: 40 lines inside a frame, the carrier's column warm in
    // each (but the first, when the filters had not yet filled), 300 Hz and
    // 20 Hz away cold.
    const QRect wide = spectrumpng::WideRect(a);
    const QRect narrow = spectrumpng::NarrowRect(a);
    const auto wx = spectrumplot::WaterfallOffsets(a.Wide(), wide);
    const auto nx = spectrumplot::WaterfallOffsets(a.Narrow(), narrow);
    for (int row : {1, 20, 38}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(Warm(image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + row)));
        EXPECT_TRUE(Cold(image.pixelColor(static_cast<int>(wx.ToPixel(300.0)), wide.top() + row)));
        EXPECT_TRUE(Cold(image.pixelColor(static_cast<int>(nx.ToPixel(20.0)), narrow.top() + row)));
    }
    EXPECT_TRUE(Warm(image.pixelColor(static_cast<int>(nx.ToPixel(0.0)), narrow.top() + 5)));
    // Below the 40 lines fed, nothing.
    EXPECT_EQ(image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + 45),
              spectrumplot::Background());

    EXPECT_FALSE(
        spectrumpng::Write(a, dir.filePath(QStringLiteral("no/such/dir/band.png")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no/such/dir"))) << error.toStdString();
}

}  // namespace

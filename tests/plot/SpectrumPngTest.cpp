#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <vector>

#include "plot/SpectrumPlot.h"
#include "plot/SpectrumPng.h"
#include "tests/support/Pixels.h"
#include "tests/support/Simulated.h"

using namespace pixels;

namespace {

TEST(SpectrumPngTest, ARecordingsBandAndWaterfallsAreWrittenAsAPicture) {
    velto::SpectrumOptions options;
    options.bandAverageSeconds = 0.0;  // the whole recording
    options.waterfallLines = 100;
    velto::CSpectrumAnalyser a(options);
    const auto x =
        support::Simulated(1796642160, 400 * 9600, {.carrierAmplitude = 1000.0, .cn0DbHz = 40.0});
    for (std::size_t at = 0; at < x.size(); at += 9600) a.Feed(x.data() + at, 9600);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("band.png"));
    QString error;
    ASSERT_TRUE(spectrumpng::Write(a, path, &error)) << error.toStdString();
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), spectrumpng::kWidth);

    // The waterfalls: 40 lines inside a frame, the carrier's column warm in
    // each (but the first, when the filters had not yet filled), 300 Hz and
    // 20 Hz away cold, and below the lines fed nothing.
    const QRect wide = spectrumpng::WideRect(a);
    const QRect narrow = spectrumpng::NarrowRect(a);
    const auto wx = spectrumplot::WaterfallOffsets(a.Wide(), wide);
    const auto nx = spectrumplot::WaterfallOffsets(a.Narrow(), narrow);
    const auto wideAt = [&](double hz, int row) {
        return image.pixelColor(static_cast<int>(wx.ToPixel(hz)), wide.top() + row);
    };
    const auto narrowAt = [&](double hz, int row) {
        return image.pixelColor(static_cast<int>(nx.ToPixel(hz)), narrow.top() + row);
    };
    for (int row : {1, 20, 38}) {
        EXPECT_TRUE(Warm(wideAt(0.0, row)) && Cold(wideAt(300.0, row))) << row;
        EXPECT_TRUE(Cold(narrowAt(20.0, row))) << row;
    }
    EXPECT_TRUE(Warm(narrowAt(0.0, 5)));
    EXPECT_EQ(wideAt(0.0, 45), spectrumplot::Background());

    EXPECT_FALSE(
        spectrumpng::Write(a, dir.filePath(QStringLiteral("no/such/dir/band.png")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no/such/dir"))) << error.toStdString();
}

}  // namespace

#include <gtest/gtest.h>

#include "plot/SpectrumPlot.h"
#include "tests/support/Pixels.h"
#include "tests/support/Simulated.h"
#include "tests/views/ViewTestSupport.h"
#include "views/SpectrumWnd.h"

using namespace viewtest;
using namespace pixels;

namespace {

const QRect kBand = CSpectrumWnd::BandRect();
const QRect kWide = CSpectrumWnd::WideRect();

// 30 s with a steady carrier 123.4 Hz above the station's.
TEST(SpectrumWnd, DrawsTheBandAndCarriersTheWheelMovesTheColoursADoubleClickResets) {
    velto::CSpectrumAnalyser analyser(velto::SpectrumOptions{});
    const auto x = support::Simulated(kMinute2016, 300 * 9600,
                                      {.carrierAmplitude = 1000.0,
                                       .interferenceHz = 40123.4,
                                       .interferenceAmplitude = 30.0,
                                       .cn0DbHz = 40.0});
    for (std::size_t at = 0; at < x.size(); at += 9600) analyser.Feed(x.data() + at, 9600);
    CSpectrumWnd wnd;
    wnd.SetAnalyser(&analyser);
    const auto bandX = [&](double hz) {
        return static_cast<int>(
            std::lround(spectrumplot::BandFrequencies(analyser, kBand).ToPixel(hz)));
    };
    const auto wideX = [&](double offsetHz) {
        return static_cast<int>(
            spectrumplot::WaterfallOffsets(analyser.Wide(), kWide).ToPixel(offsetHz));
    };
    const QImage image = wnd.Render();
    const int carrier = bandX(40000.0);
    EXPECT_GE(Top(image, kBand, bandX(20000.0), spectrumplot::PeakTrace()), 0);
    const QRgb marker = spectrumplot::StationMarker().rgb();
    EXPECT_GT(Count(image, marker, QRect(carrier - 1, kBand.top(), 3, kBand.height())),
              kBand.height() / 8);  // dotted

    EXPECT_EQ(image.pixelColor(wideX(0.0), kWide.top() + 40), spectrumplot::Background());
    EXPECT_GT(Count(image, marker, QRect(wideX(123.4) - 2, kWide.top() - 10, 5, 9)), 4);
    EXPECT_EQ(Count(image, marker, QRect(wideX(-123.4) - 2, kWide.top() - 10, 5, 9)), 0);

    EXPECT_EQ(wnd.HoverText(), QString());
    Mouse(wnd, QEvent::MouseMove, carrier, kBand.center().y());
    EXPECT_TRUE(wnd.HoverText().startsWith(QStringLiteral("4000")) &&
                wnd.HoverText().endsWith(QStringLiteral("dB/Hz")))
        << wnd.HoverText().toStdString();
    Mouse(wnd, QEvent::MouseMove, wideX(0.0), kWide.top() + 5);
    EXPECT_TRUE(wnd.HoverText().startsWith(QStringLiteral("+0 Hz (40000 Hz)")) &&
                wnd.HoverText().endsWith(QStringLiteral("5 秒前")))
        << wnd.HoverText().toStdString();
    Mouse(wnd, QEvent::MouseMove, kWide.center().x(), kWide.bottom() - 5);
    EXPECT_EQ(wnd.HoverText(), QString());

    const double noise = *analyser.NoiseDb();
    EXPECT_TRUE(wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(wnd.Colours().low, ColourScale::Following(noise).low);
    const QPoint inside = kWide.center();
    const QPoint strong(wideX(0.0), kWide.top() + 10);
    Wheel(wnd, inside, 3 * 120);
    EXPECT_FALSE(wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(wnd.Colours().low, ColourScale::Following(noise).low + 6.0);
    Wheel(wnd, inside, -120, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(wnd.Colours().high - wnd.Colours().low, ColourScale::kSpanDb - 5.0);
    Wheel(wnd, inside, 30 * 120);
    EXPECT_TRUE(Cold(wnd.Render().pixelColor(strong)));
    const ColourScale before = wnd.Colours();
    Wheel(wnd, kBand.center(), 5 * 120);
    EXPECT_DOUBLE_EQ(wnd.Colours().low, before.low);

    Mouse(wnd, QEvent::MouseButtonDblClick, inside.x(), inside.y());
    EXPECT_TRUE(wnd.FollowsNoise());
    EXPECT_TRUE(Warm(wnd.Render().pixelColor(strong)));

    const auto& band = analyser.Band();
    const int bin = band.BinOf(40000.0);
    ASSERT_GT(band.Peak(bin), 0.0);
    Mouse(wnd, QEvent::MouseButtonDblClick, kBand.center().x(), kBand.center().y());
    EXPECT_EQ(band.Peak(bin), 0.0);
    EXPECT_EQ(Top(wnd.Render(), kBand, carrier, spectrumplot::PeakTrace()), -1);
}

}  // namespace

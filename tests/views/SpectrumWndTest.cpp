#include <gtest/gtest.h>

#include <QWheelEvent>
#include <memory>
#include <vector>

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

class SpectrumWndTest : public ::testing::Test {
protected:
    // 30 s with a steady carrier 123.4 Hz above the station's, fed once.
    static void SetUpTestSuite() {
        s_analyser = std::make_unique<velto::CSpectrumAnalyser>(velto::SpectrumOptions{});
        const auto x = support::Simulated(kMinute2016, 300 * 9600,
                                          {.carrierAmplitude = 1000.0,
                                           .interferenceHz = 40123.4,
                                           .interferenceAmplitude = 30.0,
                                           .cn0DbHz = 40.0});
        for (std::size_t at = 0; at < x.size(); at += 9600) s_analyser->Feed(x.data() + at, 9600);
    }
    static void TearDownTestSuite() { s_analyser.reset(); }

    void SetUp() override { m_wnd.SetAnalyser(s_analyser.get()); }

    void Wheel(QPoint at, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent e(at, m_wnd.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&m_wnd, &e);
    }
    static int BandX(double hz) {
        return static_cast<int>(
            std::lround(spectrumplot::BandFrequencies(*s_analyser, kBand).ToPixel(hz)));
    }
    static int WideX(double offsetHz) {
        return static_cast<int>(
            spectrumplot::WaterfallOffsets(s_analyser->Wide(), kWide).ToPixel(offsetHz));
    }

    static std::unique_ptr<velto::CSpectrumAnalyser> s_analyser;
    CSpectrumWnd m_wnd;
};

std::unique_ptr<velto::CSpectrumAnalyser> SpectrumWndTest::s_analyser;

TEST_F(SpectrumWndTest, TheBandTheWaterfallsAndTheCarriersAreDrawnAndThePointerReadsThem) {
    const QImage image = m_wnd.Render();
    const int carrier = BandX(40000.0);
    const int top = Top(image, kBand, carrier, spectrumplot::AverageTrace());
    ASSERT_GE(top, 0);
    EXPECT_LT(top,
              Top(image, kBand, BandX(20000.0), spectrumplot::AverageTrace()) - kBand.height() / 3);
    EXPECT_GE(Top(image, kBand, BandX(20000.0), spectrumplot::PeakTrace()), 0);
    const QRgb marker = spectrumplot::StationMarker().rgb();
    EXPECT_GT(Count(image, marker, QRect(carrier - 1, kBand.top(), 3, kBand.height())),
              kBand.height() / 8);  // dotted

    for (int row : {1, 15, 28}) {
        EXPECT_TRUE(Warm(image.pixelColor(WideX(0.0), kWide.top() + row))) << row;
        EXPECT_TRUE(Cold(image.pixelColor(WideX(-250.0), kWide.top() + row))) << row;
    }
    EXPECT_EQ(image.pixelColor(WideX(0.0), kWide.top() + 40), spectrumplot::Background());
    EXPECT_GT(Count(image, marker, QRect(WideX(123.4) - 2, kWide.top() - 10, 5, 9)), 4);
    EXPECT_EQ(Count(image, marker, QRect(WideX(-123.4) - 2, kWide.top() - 10, 5, 9)), 0);

    EXPECT_EQ(m_wnd.HoverText(), QString());
    Mouse(m_wnd, QEvent::MouseMove, BandX(40000.0), kBand.center().y());
    EXPECT_TRUE(m_wnd.HoverText().startsWith(QStringLiteral("4000")) &&
                m_wnd.HoverText().endsWith(QStringLiteral("dB/Hz")))
        << m_wnd.HoverText().toStdString();
    Mouse(m_wnd, QEvent::MouseMove, WideX(0.0), kWide.top() + 5);
    EXPECT_TRUE(m_wnd.HoverText().startsWith(QStringLiteral("+0 Hz (40000 Hz)")) &&
                m_wnd.HoverText().endsWith(QStringLiteral("5 秒前")))
        << m_wnd.HoverText().toStdString();
    Mouse(m_wnd, QEvent::MouseMove, kWide.center().x(), kWide.bottom() - 5);
    EXPECT_EQ(m_wnd.HoverText(), QString());
}

TEST_F(SpectrumWndTest, TheWheelMovesTheColourScaleAndADoubleClickResetsItOrThePeakHold) {
    const double noise = *s_analyser->NoiseDb();
    EXPECT_TRUE(m_wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, ColourScale::Following(noise).low);

    const QPoint inside = kWide.center();
    const QPoint carrier(WideX(0.0), kWide.top() + 10);
    Wheel(inside, 3);
    EXPECT_FALSE(m_wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, ColourScale::Following(noise).low + 6.0);
    Wheel(inside, -1, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(m_wnd.Colours().high - m_wnd.Colours().low, ColourScale::kSpanDb - 5.0);
    Wheel(inside, 30);
    EXPECT_TRUE(Cold(m_wnd.Render().pixelColor(carrier)));
    const ColourScale before = m_wnd.Colours();
    Wheel(kBand.center(), 5);
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, before.low);

    Mouse(m_wnd, QEvent::MouseButtonDblClick, inside.x(), inside.y());
    EXPECT_TRUE(m_wnd.FollowsNoise());
    EXPECT_TRUE(Warm(m_wnd.Render().pixelColor(carrier)));

    std::vector<bool> visible;
    QObject::connect(&m_wnd, &CSpectrumWnd::VisibilityChanged,
                     [&](bool shown) { visible.push_back(shown); });
    m_wnd.show();
    m_wnd.close();
    EXPECT_FALSE(m_wnd.isVisible());
    EXPECT_EQ(visible, (std::vector<bool>{true, false}));

    const auto& band = s_analyser->Band();
    const int bin = band.BinOf(40000.0);
    ASSERT_GT(band.Peak(bin), 0.0);
    Mouse(m_wnd, QEvent::MouseButtonDblClick, kBand.center().x(), kBand.center().y());
    EXPECT_EQ(band.Peak(bin), 0.0);
    EXPECT_EQ(Top(m_wnd.Render(), kBand, BandX(40000.0), spectrumplot::PeakTrace()), -1);
}

}  // namespace

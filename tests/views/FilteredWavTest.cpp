#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/views/ViewTestSupport.h"
#include "views/ChildView.h"
#include "views/FilteredWav.h"

using namespace viewtest;

namespace {

constexpr int kW = 800;
constexpr int kH = 128;
constexpr int kCentre = 64;

// The smallest row value with bars of half height k at the default scale.
double ValueFor(int k) { return std::ceil(k * 200.0 / 51.2); }

// Half height of column x's green bar: -1 for none, -2 unless centred or full.
int BarHalf(const QImage& image, int x) {
    const int n = Count(image, kGreen, QRect(x, 0, 1, kH));
    const int half = (n - 1) / 2;
    const bool centred = n % 2 == 1 && Count(image, kGreen, QRect(x, kCentre - half, 1, n)) == n;
    return n == 0 ? -1 : n == kH ? kCentre : centred ? half : -2;
}

class FilteredWavTest : public ::testing::Test, protected StripData {
protected:
    static const QImage& FullRepaint(CFilteredWav& strip) {
        strip.InvalidateFull();
        strip.grab();
        return strip.Surface();
    }

    CFilteredWav m_raw{1, nullptr};
    CFilteredWav m_corrected{0, nullptr};
};

TEST_F(FilteredWavTest, EmptyRingShowsOnlyTheGridInsideABorder) {
    raw.fill(250.0);  // would be full-height bars if drawn
    for (int filled : {0, 1}) {
        if (filled == 1) {  // a strip that was full, restarted
            for (int b = 0; b < 80; ++b) m_raw.AppendBuffer(Buffer(b, b));
            m_raw.Restart();
        }
        const QImage& image = FullRepaint(m_raw);
        int wrong = 0;  // a solid centre line, four dashed ones 12 apart either side
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const int d = std::abs(y - kCentre);
                const bool grid = d == 0 || (d % 12 == 0 && d <= 48 && x % 10 < 6);
                wrong += image.pixel(x, y) != (grid ? kGray : kBlack) ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0) << filled;
    }
    const QImage window = m_raw.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(window.copy(1, 1, kW, kH), m_raw.Surface());
    EXPECT_EQ(window.pixel(0, 0), kBlack);
    // No buffer of the run yet, a negative or an impossible index: nothing to draw.
    const QImage before = m_raw.Surface();
    m_raw.AppendBuffer(79);
    m_raw.AppendBuffer(Buffer(5, -1));
    m_raw.AppendBuffer(80);
    EXPECT_EQ(m_raw.Surface(), before);
    EXPECT_FALSE(m_raw.Filled());
}

TEST_F(FilteredWavTest, BarHeightsFollowTheSliceLevelOrADefaultScale) {
    const auto hand = [&] {  // the newest buffer is 0, nothing appended
        m_raw.AppendBuffer(Buffer(0, -1));
        m_corrected.AppendBuffer(Buffer(0, -1));
    };
    hand();
    // Without a level the scale is 200; values are truncated before scaling.
    raw = {0.0, 0.9, -0.9, 250.0, -250.0, 100.0, -100.0, 40.0, 39.9, 1e6};
    const int halves[] = {0, 0, 0, 64, 64, 25, 25, 10, 9, 64};
    const QImage& image = FullRepaint(m_raw);
    for (int x = 0; x < kW; ++x) {
        ASSERT_EQ(BarHalf(image, x), x < 10 ? halves[x] : -1) << x;
    }
    level = 1000.0;
    corrected[0] = 1000.0;
    raw[0] = 1000.0;
    hand();
    EXPECT_EQ(BarHalf(FullRepaint(m_corrected), 0), 51);
    EXPECT_EQ(BarHalf(FullRepaint(m_raw), 0), 51);

    // NaN gives no bar, huge values a full one while the level is usable.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    raw = {nan, inf, -inf, 1e300, std::numeric_limits<double>::max(), -3e9};
    for (double l : {-1.0, 1e-300, 0.0, nan, inf, -5.0}) {
        level = l;
        hand();
        FullRepaint(m_raw);
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(BarHalf(m_raw.Surface(), x), x > 0 && (l == -1.0 || l == 1e-300) ? 64 : 0)
                << l << " " << x;
        }
    }
}

TEST_F(FilteredWavTest, BuffersAreDrawnCellByCellAndScrollAsAFullRepaintDrawsThem) {
    const auto half = [](int slot) { return slot % 50 + 2; };
    for (int s = 0; s < kW; ++s) {
        raw[static_cast<std::size_t>(s)] = ValueFor(half(s));
    }
    FullRepaint(m_raw);  // as when the strip is first shown
    // Appends the next buffer; true when the surface is what a full repaint draws.
    int completed = 0;
    const auto append = [&] {
        ++completed;
        m_raw.AppendBuffer(Buffer((completed - 1) % 80, (completed - 1) % 80));
        const QImage drawn = m_raw.Surface();
        return FullRepaint(m_raw) == drawn;
    };
    EXPECT_TRUE(append());  // x = 9 down to 0, the eleventh column is outside
    for (int x = 0; x <= 10; ++x) {
        EXPECT_EQ(BarHalf(m_raw.Surface(), x), x < 10 ? half(x) : -1) << x;
    }
    while (completed < 79) {
        ASSERT_TRUE(append()) << completed;
    }
    EXPECT_EQ(BarHalf(m_raw.Surface(), 790), -1);
    EXPECT_TRUE(append());  // buffer 79: x = 799 down to 789, no scroll
    EXPECT_TRUE(m_raw.Filled());
    for (int x = 0; x < kW; ++x) {
        ASSERT_EQ(BarHalf(m_raw.Surface(), x), half(x)) << x;
    }
    // Buffer 0 again, with short bars: the picture moves ten columns left.
    std::fill_n(raw.begin(), 10, ValueFor(1));
    EXPECT_TRUE(append());
    EXPECT_EQ(BarHalf(m_raw.Surface(), 0), half(10));
    EXPECT_EQ(BarHalf(m_raw.Surface(), 789), half(799));
    EXPECT_EQ(BarHalf(m_raw.Surface(), 790), 1);
    // The newest slot (49) at the right edge, older ones wrapping through 0.
    m_raw.AppendBuffer(Buffer(4, -1));
    const QImage& image = FullRepaint(m_raw);
    EXPECT_EQ(std::vector({BarHalf(image, 799), BarHalf(image, 750), BarHalf(image, 749)}),
              std::vector({half(49), 1, half(799)}));
}

constexpr int kViewW = 816;
constexpr int kViewH = 369;

class ChildViewTest : public ::testing::Test, protected StripData {
protected:
    ChildViewTest() { m_view.resize(m_view.sizeHint()); }

    CChildView m_view;
};

TEST_F(ChildViewTest, IntroNamesTheStationAndLastsUntilALeftClickShowsCaptionsAndStrips) {
    const QImage intro = m_view.Render();
    ASSERT_EQ(intro.size(), QSize(kViewW, kViewH));
    EXPECT_GT(kViewW * kViewH - Count(intro, kLightGray, intro.rect()), kViewW * kViewH / 2)
        << "the pictures";
    m_view.SetStation(velto::GetStation(velto::StationId::Dcf77));
    const QImage dcf = m_view.Render();
    // Only the logo strip's caption line changes.
    const QRect line(QPoint(kViewW - 2 - 432 + 168, 324 + 6), QSize(432 - 168, 22));
    int inLine = 0, elsewhere = 0;
    for (int y = 0; y < intro.height(); ++y) {
        for (int x = 0; x < intro.width(); ++x) {
            if (intro.pixel(x, y) != dcf.pixel(x, y)) ++(line.contains(x, y) ? inLine : elsewhere);
        }
    }
    EXPECT_GT(inLine, 100);
    EXPECT_EQ(elsewhere, 0);
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100, Qt::RightButton);
    EXPECT_TRUE(m_view.Intro() && m_view.RawStrip()->isHidden());
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100);
    EXPECT_FALSE(m_view.Intro());
    const QImage shown = m_view.grab().toImage();
    for (int y : {1 + 32 + 65, 1 + 200 + 65}) {
        EXPECT_EQ(Count(shown, kGray, QRect(12, y, 800, 1)), 800) << "centre line";
        EXPECT_EQ(std::vector({shown.pixel(0, y), shown.pixel(11, y), shown.pixel(812, y),
                               shown.pixel(813, y)}),
                  std::vector({kBlack, kBlack, kBlack, kLightGray}));
    }
    m_view.RawStrip()->hide();
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100);
    m_view.LeaveIntro();
    EXPECT_TRUE(m_view.RawStrip()->isHidden()) << "leaving again does nothing";
    m_view.RawStrip()->show();

    // Two captions, and the strips redrawn with the view.
    const QImage image = m_view.Render();
    int light = Count(image, kLightGray, image.rect());
    for (const QRect& box : {QRect(12, 4, 300, 28), QRect(12, 170, 300, 28)}) {
        const int inBox = Count(image, kLightGray, box);
        EXPECT_GT(300 * 28 - inBox, 400) << "caption text";
        EXPECT_GT(Count(image, kBlack, box), 20);
        light -= inBox;
    }
    EXPECT_EQ(light, kViewW * kViewH - 2 * 300 * 28) << "all else light gray";

    raw.fill(250.0);
    m_view.AppendBuffer(Buffer(0, 0));
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kGreen);
    m_view.RestartStrips();  // nothing to draw until the new run's first buffer
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kGreen);
    m_view.InvalidateWithErase();
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kBlack);
}

}  // namespace

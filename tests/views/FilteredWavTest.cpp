#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>

#include "dsp/Pipeline.h"
#include "views/FilteredWav.h"

namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kGray = 0x808080;
constexpr QRgb kGreen = 0x00ff00;
constexpr int kW = 800;
constexpr int kH = 128;
constexpr int kCentre = 64;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

// The smallest row value whose bar has half height k at the default scale of
// 200 (d = (int)(a * 51.2 / 200), a = (int)v).
double ValueFor(int k) { return std::ceil(k * 200.0 / 51.2); }

// Half height of the green bar in column x, -1 when there is none; the bar
// must be one run of green, symmetric about the centre line unless clipped.
int BarHalf(const QImage& image, int x) {
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < kH; ++y) {
        if (At(image, x, y) == kGreen) {
            EXPECT_TRUE(top < 0 || bottom == y - 1) << "broken bar, x = " << x;
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    if (top < 0) {
        return -1;
    }
    if (top > 0 && bottom < kH - 1) {
        EXPECT_EQ(kCentre - top, bottom - kCentre) << "x = " << x;
    }
    return std::max(kCentre - top, bottom - kCentre);
}

bool IsGridPixel(int x, int y) {
    const int k = std::abs(y - kCentre) / 12;
    return y == kCentre || (std::abs(y - kCentre) % 12 == 0 && k <= 4 && x % 10 < 6);
}

class FilteredWavTest : public ::testing::Test {
protected:
    FilteredWavTest() {
        m_source = {m_pipeline.get(), &m_inIndex, &m_inWrapped, &m_inCount};
        m_raw = std::make_unique<CFilteredWav>(m_source, 1, nullptr);
        m_corrected = std::make_unique<CFilteredWav>(m_source, 0, nullptr);
    }

    // The client area as the next full repaint shows it.
    static QImage FullRepaint(CFilteredWav& strip) {
        strip.InvalidateFull();
        return Shown(strip);
    }

    // The client area as the window shows it now, without asking for a redraw.
    static QImage Shown(CFilteredWav& strip) {
        const QImage window = strip.grab().toImage();
        EXPECT_EQ(window.size(), QSize(kW + 2, kH + 2));
        EXPECT_EQ(At(window, 0, 0), kBlack) << "border";
        return window.copy(1, 1, kW, kH);
    }

    // Ring counters as the device leaves them once `completed` buffers are in.
    void Completed(int completed) {
        m_inIndex = completed % 80;
        m_inWrapped = completed >= 80 ? 1 : 0;
        m_inCount = std::min(completed, 79);
    }

    void FillRawRow(int (*half)(int)) {
        for (int s = 0; s < kW; ++s) {
            m_pipeline->m_rawRow[static_cast<std::size_t>(s)] = ValueFor(half(s));
        }
    }

    std::unique_ptr<velto::CPipeline> m_pipeline = std::make_unique<velto::CPipeline>();
    std::atomic<int> m_inIndex{0};
    std::atomic<int> m_inWrapped{0};
    std::atomic<int> m_inCount{0};
    CStripSource m_source;
    std::unique_ptr<CFilteredWav> m_raw;
    std::unique_ptr<CFilteredWav> m_corrected;
};

TEST_F(FilteredWavTest, EmptyRingShowsOnlyTheGrid) {
    EXPECT_TRUE(m_raw->isHidden());
    EXPECT_EQ(m_raw->geometry(), QRect(10, 32, kW + 2, kH + 2));
    EXPECT_EQ(m_corrected->geometry(), QRect(10, 200, kW + 2, kH + 2));
    m_pipeline->m_rawRow.fill(250.0);  // would be full-height bars if drawn
    for (int filled = 0; filled <= 1; ++filled) {
        m_raw->m_bFilled = filled;
        const QImage image = FullRepaint(*m_raw);
        int wrong = 0;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                wrong += At(image, x, y) != (IsGridPixel(x, y) ? kGray : kBlack) ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0) << "filled " << filled;
    }
    // Nothing to draw: an empty ring, a negative or an impossible index.
    const QImage before = m_raw->Surface();
    m_raw->m_bFilled = 0;
    m_raw->AppendBuffer(79);
    Completed(5);
    m_raw->AppendBuffer(-1);
    m_raw->AppendBuffer(80);
    EXPECT_EQ(m_raw->Surface(), before);
    EXPECT_EQ(m_raw->m_bFilled, 0);
}

TEST_F(FilteredWavTest, BarHeights) {
    Completed(1);
    auto& row = m_pipeline->m_rawRow;
    row = {0.0, 0.9, -0.9, 250.0, -250.0, 100.0, -100.0, ValueFor(10), ValueFor(10) - 0.1, 1e6};
    const QImage image = FullRepaint(*m_raw);
    EXPECT_EQ(At(image, 0, kCentre), kGreen) << "a zero slot paints the centre pixel";
    EXPECT_EQ(BarHalf(image, 0), 0);
    EXPECT_EQ(BarHalf(image, 1), 0) << "truncated before scaling";
    EXPECT_EQ(BarHalf(image, 2), 0);
    for (int x : {3, 4, 9}) {  // 250 at the default scale of 200 reaches both edges
        EXPECT_EQ(At(image, x, 0), kGreen) << x;
        EXPECT_EQ(At(image, x, kH - 1), kGreen) << x;
    }
    EXPECT_EQ(BarHalf(image, 5), 25);
    EXPECT_EQ(BarHalf(image, 6), 25);
    EXPECT_EQ(BarHalf(image, 7), 10);
    EXPECT_EQ(BarHalf(image, 8), 9) << "39.9 counts as 39";
    for (int x = 10; x < kW; ++x) {
        ASSERT_EQ(BarHalf(image, x), -1) << "right of the newest slot, x = " << x;
    }

    m_pipeline->m_sliceLevel = 1000.0;
    m_pipeline->m_correctedRow[0] = 1000.0;
    row[0] = 1300.0;  // above 1.25 L: clipped at both edges
    row[1] = 1000.0;
    EXPECT_EQ(BarHalf(FullRepaint(*m_corrected), 0), 51);
    const QImage raw = FullRepaint(*m_raw);
    EXPECT_EQ(At(raw, 0, 0), kGreen);
    EXPECT_EQ(At(raw, 0, kH - 1), kGreen);
    EXPECT_EQ(BarHalf(raw, 1), 51);

    m_pipeline->m_sliceLevel = 0.0;
    EXPECT_EQ(BarHalf(FullRepaint(*m_corrected), 0), 0);
    EXPECT_EQ(BarHalf(FullRepaint(*m_raw), 0), 0);
}

TEST_F(FilteredWavTest, ValuesOutsideAnyRangeStayDefined) {
    Completed(1);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    m_pipeline->m_rawRow = {nan,
                            inf,
                            -inf,
                            1e300,
                            -1e300,
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::denorm_min(),
                            3e9,
                            -3e9,
                            0.0};
    for (double level : {-1.0, 1e-300, 0.0, nan, inf, -5.0, 1000.0}) {
        m_pipeline->m_sliceLevel = level;
        const QImage image = FullRepaint(*m_raw);
        m_raw->AppendBuffer(0);
        EXPECT_EQ(BarHalf(image, 0), 0) << "NaN, level " << level;
        EXPECT_EQ(At(image, 1, 0) == kGreen, level == -1.0 || level == 1e-300 || level == 1000.0);
    }
}

TEST_F(FilteredWavTest, BuffersFillCellByCellThenScroll) {
    auto half = [](int slot) { return slot % 50 + 2; };
    FillRawRow(half);
    Completed(1);
    m_raw->AppendBuffer(0);  // x = 9 down to 0, the eleventh column falls outside
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(BarHalf(m_raw->Surface(), x), half(x)) << x;
    }
    EXPECT_EQ(BarHalf(m_raw->Surface(), 10), -1);

    Completed(79);
    for (int b = 1; b < 79; ++b) {
        m_raw->AppendBuffer(b);
    }
    EXPECT_EQ(m_raw->m_bFilled, 0);
    EXPECT_EQ(BarHalf(m_raw->Surface(), 790), -1);
    m_raw->AppendBuffer(79);  // x = 799 down to 789, no scroll
    EXPECT_EQ(m_raw->m_bFilled, 1);
    for (int x = 0; x < kW; ++x) {
        ASSERT_EQ(BarHalf(m_raw->Surface(), x), half(x)) << x;
    }

    // Short bars for buffer 0 of the next round: the picture moves ten
    // columns left and the right cell is cleared before they are drawn.
    for (std::size_t s = 0; s < 10; ++s) {
        m_pipeline->m_rawRow[s] = ValueFor(1);
    }
    m_raw->AppendBuffer(0);
    const QImage& image = m_raw->Surface();
    for (int x = 0; x < 789; ++x) {
        ASSERT_EQ(BarHalf(image, x), half(x + 10)) << x;
    }
    EXPECT_EQ(BarHalf(image, 789), half(799)) << "the previous buffer's newest slot, again";
    for (int x = 790; x < kW; ++x) {
        EXPECT_EQ(BarHalf(image, x), 1) << x;
        for (int y = 0; y < kCentre - 1; ++y) {
            ASSERT_EQ(At(image, x, y), IsGridPixel(x, y) ? kGray : kBlack) << x << "," << y;
        }
    }
}

TEST_F(FilteredWavTest, FullRepaintTakesItsPositionFromTheRing) {
    auto half = [](int slot) { return slot % 60 + 1; };
    FillRawRow(half);
    Completed(3);  // filling: column x shows slot x up to the newest, 29
    QImage image = FullRepaint(*m_raw);
    EXPECT_EQ(BarHalf(image, 29), half(29));
    EXPECT_EQ(BarHalf(image, 30), -1);

    m_raw->m_bFilled = 1;
    Completed(80);  // next-buffer index 0 after the wrap: buffer 79 is the newest
    image = FullRepaint(*m_raw);
    for (int x = 0; x < kW; ++x) {
        ASSERT_EQ(BarHalf(image, x), half(x)) << x;
    }
    m_inWrapped = 0;  // index 0 without a wrap reads as slot 799 too
    EXPECT_EQ(FullRepaint(*m_raw), image);

    Completed(80 + 5);  // newest slot 49 at the right edge, older ones wrap through 0
    image = FullRepaint(*m_raw);
    for (int k = 0; k < kW; ++k) {
        ASSERT_EQ(BarHalf(image, kW - 1 - k), half((49 - k + kW) % kW)) << k;
    }
}

TEST_F(FilteredWavTest, IncrementalBarsKeepTheirScaleUntilAFullRepaint) {
    m_pipeline->m_correctedRow.fill(1000.0);
    m_pipeline->m_sliceLevel = 1000.0;
    EXPECT_EQ(BarHalf(FullRepaint(*m_corrected), 0), -1);
    Completed(1);
    m_corrected->AppendBuffer(0);
    EXPECT_EQ(BarHalf(Shown(*m_corrected), 0), 51);

    m_pipeline->m_sliceLevel = 2000.0;
    m_pipeline->m_correctedRow.fill(0.0);  // lowered after it was drawn
    m_corrected->AppendBuffer(0);          // bars are drawn over, never erased
    EXPECT_EQ(BarHalf(Shown(*m_corrected), 0), 51);

    m_pipeline->m_correctedRow.fill(1000.0);
    EXPECT_EQ(BarHalf(FullRepaint(*m_corrected), 0), 25);

    m_pipeline->m_correctedRow.fill(0.0);  // showing the window redraws it too
    m_corrected->show();
    EXPECT_EQ(BarHalf(Shown(*m_corrected), 0), 0);
    m_corrected->hide();
}

}  // namespace

#include <atomic>
#include <cmath>

#include "tests/app/FrameTestSupport.h"
#include "views/ChildView.h"
#include "views/FilteredWav.h"
#include "views/Scope.h"

using velto::FakeCall;
using velto::kBufferSamples;

namespace {

// Counts the green bar pixels of a strip's surface.
int GreenPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == qRgb(0, 255, 0) ? 1 : 0;
    }
    return n;
}

}  // namespace

TEST_F(FrameTest, FirstNotificationDrawsNothingAndTheStripsTrailByOne) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    CFilteredWav* raw = f.View()->m_wndRawStrip;
    raw->grab();  // the full repaint of the empty strip
    const int before = GreenPixels(raw->Surface());
    Cycle(1, 1000);
    EXPECT_EQ(f.m_displayIndex, 0);
    EXPECT_EQ(GreenPixels(raw->Surface()), before);
    Cycle(1, 1000);
    EXPECT_EQ(f.m_displayIndex, 1);
    EXPECT_GT(GreenPixels(raw->Surface()), before);
}

TEST_F(FrameTest, DisplayIndexWrapsAfterSeventyNineAndTheRingWrapsToBufferSeventyNine) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    Cycle(80);
    EXPECT_EQ(f.m_wave.m_inIndex.load(), 0);
    EXPECT_EQ(f.m_wave.m_inWrapped.load(), 1);
    EXPECT_EQ(f.m_displayIndex, 79);
    EXPECT_TRUE(f.View()->m_wndRawStrip->m_bFilled == 0);
    Cycle(1);
    EXPECT_EQ(f.m_displayIndex, 0);
    EXPECT_EQ(f.View()->m_wndRawStrip->m_bFilled, 1);
}

TEST_F(FrameTest, SecondBufferWritesTheFirstTwoSlotsAndStartsThePlaybackOnce) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    Cycle(1);
    EXPECT_EQ(Count(FakeCall::OutOpen), 0);
    ASSERT_NE(f.m_wave.m_outData, nullptr);  // written whether or not a device plays
    Cycle(1);
    EXPECT_EQ(Count(FakeCall::OutOpen), 1);
    EXPECT_EQ(Count(FakeCall::OutWrite), 1);
    EXPECT_EQ(f.m_bMonitor, 1);
    Cycle(80);  // the ring wraps: buffers 0 and 1 come again
    EXPECT_EQ(Count(FakeCall::OutOpen), 1);
}

TEST_F(FrameTest, SlicedCarrierKeysTheToneIntoItsPlaybackSlot) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    // A steady carrier from buffer 0: the level is set at buffer 30 and
    // buffer 31 is all on, so its playback slot is the tone table's start.
    std::vector<std::int16_t> carrier(kBufferSamples);
    for (int t = 0; t < kBufferSamples; ++t) {
        carrier[t] =
            static_cast<std::int16_t>(std::lround(5000.0 * std::sin(velto::kTwoPi * 5 * t / 12)));
    }
    for (int b = 0; b < 32; ++b) {
        std::thread driver([&] { ASSERT_TRUE(m_service.CompleteBuffer(0)); });
        driver.join();
        // Overwrite the completed buffer with the carrier before the frame reads it.
        std::copy(carrier.begin(), carrier.end(), f.m_wave.m_inData + b * kBufferSamples);
        Deliver();
    }
    EXPECT_GT(f.m_pipeline.m_sliceLevel, 5000.0);
    const std::int16_t* slot = f.m_wave.m_outData + 31 * kBufferSamples;
    for (int i = 0; i < kBufferSamples; ++i) {
        ASSERT_EQ(slot[i], f.m_pipeline.m_toneTable[i]) << i;
    }
    const std::int16_t* early = f.m_wave.m_outData + 20 * kBufferSamples;
    for (int i = 0; i < kBufferSamples; ++i) ASSERT_EQ(early[i], 0) << i;
}

TEST_F(FrameTest, NotificationAfterTheStopProcessesTheLastBufferAgain) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    Cycle(5, 0);
    Complete(1, 0);  // posted before the stop, handled after it
    f.SendCommand(ID_RECEIVE_START);
    f.m_pipeline.m_rawRow[50] = 77.0;
    const int index = f.m_displayIndex;
    Deliver();
    EXPECT_EQ(f.m_pipeline.m_rawRow[50], 0.0);  // buffer 5 measured again
    EXPECT_EQ(f.m_displayIndex, index + 1);
}

TEST_F(FrameTest, NotificationWithNoCompletedBufferIsIgnored) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    f.m_pipeline.m_rawRow[790] = 5.0;
    QCoreApplication::postEvent(&f, new QEvent(WM_CAPTUREDATA));
    Deliver();
    EXPECT_EQ(f.m_displayIndex, -1);
    EXPECT_EQ(f.m_pipeline.m_rawRow[790], 5.0);
}

TEST_F(FrameTest, VisibleScopeReceivesEachBufferAndAHiddenOneNothing) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    Cycle(1, 321);
    EXPECT_EQ(f.Scope()->SampleCount(), 0);

    f.SendCommand(ID_SCOPE);
    ASSERT_TRUE(f.Scope()->isVisible());
    Cycle(1, 654);
    ASSERT_EQ(f.Scope()->SampleCount(), kBufferSamples);
    EXPECT_EQ(f.Scope()->VlfSamples()[100], 654);
    EXPECT_EQ(f.Scope()->GpsSamples()[4800], std::lround(f.m_pipeline.m_filtered[4800]));
    EXPECT_EQ(f.Scope()->BaseTitle(), QStringLiteral("実波形"));

    f.Scope()->close();  // hides it, keeping the last buffer
    Cycle(1, 987);
    EXPECT_EQ(f.Scope()->VlfSamples()[100], 654);
}

#include <gtest/gtest.h>

#include <algorithm>

#include "audio/WaveDevice.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/FakeWaveService.h"

namespace velto {
namespace {

class PlaybackRing : public ::testing::Test {
protected:
    PlaybackRing() { SetWaveService(&m_service); }
    ~PlaybackRing() override { SetWaveService(nullptr); }

    CFakeWaveService m_service;
    CWarningRecorder m_warnings;
    CWaveDevice m_device;
    CNotifyRecorder m_frame;
};

TEST_F(PlaybackRing, StartHandsOverTheWholeBlockClearedToLoop) {
    ASSERT_EQ(m_device.EnsurePlaybackBlock(), 1);
    std::fill(m_device.m_outData, m_device.m_outData + kRingSamples, std::int16_t{1234});

    ASSERT_EQ(m_device.StartPlayback(DeviceSpec{"Speakers", WAVE_MAPPER}, &m_frame), 1);
    EXPECT_TRUE(m_device.IsPlaybackOpen());
    EXPECT_EQ(m_device.Spec().name, "Speakers");
    EXPECT_EQ(m_service.Calls(), (std::vector{FakeCall::OutOpen, FakeCall::OutWrite}));
    const WaveHeader* header = m_service.Playing();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->data, m_device.m_outData);
    EXPECT_EQ(header->bufferLength, 1536000u);
    EXPECT_EQ(header->flags, 0x0Cu);
    EXPECT_EQ(header->loops, 0xFFFFFFFFu);
    EXPECT_TRUE(std::all_of(m_device.m_outData, m_device.m_outData + kRingSamples,
                            [](std::int16_t s) { return s == 0; }));
    EXPECT_TRUE(m_warnings.m_shown.empty());
}

TEST_F(PlaybackRing, StopTwiceStopsOnce) {
    ASSERT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame), 1);
    m_device.StopPlayback();
    EXPECT_FALSE(m_device.IsPlaybackOpen());
    EXPECT_EQ(m_service.Playing(), nullptr);
    m_device.StopPlayback();
    EXPECT_EQ(m_service.Calls(), (std::vector{FakeCall::OutOpen, FakeCall::OutWrite,
                                              FakeCall::OutReset, FakeCall::OutClose}));
    // The block outlives the device.
    EXPECT_NE(m_device.m_outData, nullptr);
}

TEST_F(PlaybackRing, OpenFailureTellsTheUserAndLeavesNothingOpen) {
    m_service.SetResult(FakeCall::OutOpen, kWaveBadDeviceId);
    EXPECT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame), 0);
    EXPECT_EQ(m_warnings.m_shown, (Warnings{{"再生デバイスがオープンできません。", "Velto"}}));
    m_device.StopPlayback();
    EXPECT_EQ(m_service.Calls(), std::vector{FakeCall::OutOpen});
}

TEST_F(PlaybackRing, WriteFailureIsReportedAndClosesTheDevice) {
    m_service.SetResult(FakeCall::OutWrite, kWaveNoMemory);
    EXPECT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame), 0);
    EXPECT_EQ(m_warnings.m_shown, (Warnings{{"MMSYSERR_NOMEM", "Quelmo"}}));
    EXPECT_FALSE(m_device.IsPlaybackOpen());
    EXPECT_EQ(m_service.Calls().back(), FakeCall::OutClose);

    m_warnings.m_shown.clear();
    m_service.SetResult(FakeCall::OutWrite, kWaveOk);
    m_service.SetResult(FakeCall::OutReset, kWaveNoDriver);
    m_service.SetResult(FakeCall::OutClose, 3);
    ASSERT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame), 1);
    m_device.StopPlayback();
    EXPECT_EQ(m_warnings.m_shown, (Warnings{{"MMSYSERR_NODRIVER", "Quelmo"}}));
    EXPECT_FALSE(m_device.IsPlaybackOpen());
}

TEST_F(PlaybackRing, TheBlockExistsAndKeepsWhatIsWrittenWithoutADevice) {
    EXPECT_EQ(m_device.m_outData, nullptr);
    ASSERT_EQ(m_device.EnsurePlaybackBlock(), 1);
    std::int16_t* const block = m_device.m_outData;
    ASSERT_NE(block, nullptr);
    block[kRingSamples - 1] = 3000;
    ASSERT_EQ(m_device.EnsurePlaybackBlock(), 1);
    EXPECT_EQ(m_device.m_outData, block);
    EXPECT_EQ(block[kRingSamples - 1], 3000);
    EXPECT_TRUE(m_service.Calls().empty());
}

}  // namespace
}  // namespace velto

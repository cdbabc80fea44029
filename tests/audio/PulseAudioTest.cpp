#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "audio/PortAudioService.h"
#include "audio/WaveDevice.h"
#include "dsp/JjySignal.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/PulseServer.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

constexpr char kFormat[] = "--raw --format=s16le --rate=96000 --channels=1";

// The shift within half a second either way that best lines the captured
// samples up with the sent ones (got[i] = sent[i + shift]), judged on a
// second's worth of spread-out samples.
long BestShift(const std::int16_t* got, std::size_t gotSize, const std::int16_t* sent,
               std::size_t sentSize) {
    constexpr long kReach = kSampleRate / 2;
    constexpr long kStep = 97;
    long best = 0;
    double bestError = -1.0;
    for (long shift = -kReach; shift <= kReach; ++shift) {
        double error = 0.0;
        for (long i = kReach; i < kReach + kSampleRate; i += kStep) {
            const long j = i + shift;
            if (i >= static_cast<long>(gotSize) || j >= static_cast<long>(sentSize)) {
                break;
            }
            const double d = static_cast<double>(got[i]) - sent[j];
            error += d * d;
        }
        if (bestError < 0.0 || error < bestError) {
            best = shift;
            bestError = error;
        }
    }
    return best;
}

// Capture and playback through PortAudio, ALSA's default device and a private
// PulseAudio server whose null sinks stand in for the antenna and the speaker.
class PulseAudio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.Missing().empty()) {
            GTEST_SKIP() << "not installed: " << m_server.Missing();
        }
        ASSERT_TRUE(m_server.Running()) << m_server.Error();
        m_service.emplace();  // PortAudio looks for devices now that the server is up
        SetWaveService(&*m_service);
    }
    void TearDown() override { SetWaveService(nullptr); }

    CPulseServer m_server;
    std::optional<CPortAudioService> m_service;
    CWarningRecorder m_warnings;
};

TEST_F(PulseAudio, CapturesTheAntennaSignalIntactInBuffersOf100ms) {
    JjySignalOptions options;
    options.carrierAmplitude = 8000.0;
    options.noiseSigma = 300.0;  // seeded, so that no stretch of the signal repeats
    std::vector<std::int16_t> sent(3 * kSampleRate);
    CJjySignal(1796610180, options).Generate(sent.data(), sent.size());

    CWaveDevice device;
    CNotifyRecorder frame(&device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &frame), 1);
    FILE* pacat = popen((std::string("pacat --playback --device=antenna ") + kFormat).c_str(), "w");
    ASSERT_NE(pacat, nullptr);
    EXPECT_EQ(std::fwrite(sent.data(), sizeof(std::int16_t), sent.size(), pacat), sent.size());
    EXPECT_EQ(pclose(pacat), 0);  // returns once the sink has played it all
    frame.WaitFor(frame.Count() + 5, 2s);
    device.StopCapture();
    EXPECT_TRUE(m_warnings.m_shown.empty());

    const auto posts = frame.Posts();
    ASSERT_GE(posts.size(), 30u);
    ASSERT_LT(posts.size(), static_cast<std::size_t>(kRingBuffers));
    for (std::size_t k = 0; k < posts.size(); ++k) {
        ASSERT_EQ(posts[k].lastSlot, static_cast<int>(k));
    }
    const double period =
        std::chrono::duration<double>(posts.back().time - posts.front().time).count() /
        static_cast<double>(posts.size() - 1);
    EXPECT_NEAR(period, 0.100, 0.010);

    const std::int16_t* got = device.m_inData;
    const std::size_t captured = posts.size() * kBufferSamples;
    // The server may drop the start of the stream or pad it with silence: find
    // where the signal starts, got[i] = sent[i + shift].
    const long shift = BestShift(got, captured, sent.data(), sent.size());
    const std::size_t from = shift < 0 ? static_cast<std::size_t>(-shift) : 0;
    const std::size_t to =
        std::min(captured, static_cast<std::size_t>(static_cast<long>(sent.size()) - shift));
    ASSERT_GT(to, from + 2 * kSampleRate) << "shift " << shift;
    double error = 0.0;
    double energy = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double want = sent[static_cast<std::size_t>(static_cast<long>(i) + shift)];
        error += (got[i] - want) * (got[i] - want);
        energy += want * want;
    }
    std::printf("shift %ld, %zu samples compared, error/energy %g\n", shift, to - from,
                error / energy);
    EXPECT_LT(error / energy, 1e-4);
}

// The value the pattern holds at sample i of the playback block: a slow ramp
// over the whole block, so that every stretch of 16 samples tells where in the
// block it comes from and the one place where the ramp falls is the loop.
std::int16_t Pattern(std::size_t i) {
    return static_cast<std::int16_t>(static_cast<long>(i / 16) - kRingSamples / 32);
}

TEST_F(PulseAudio, PlaysThePlaybackRingLoopingIntoTheSpeaker) {
    CWaveDevice device;
    CNotifyRecorder frame;
    ASSERT_EQ(device.StartPlayback(DeviceSpec{}, &frame), 1);
    for (int i = 0; i < kRingSamples; ++i) {
        std::atomic_ref<std::int16_t>(device.m_outData[i])
            .store(Pattern(i), std::memory_order_relaxed);
    }
    // Listen until the end of the first pass has gone by; the server may hold
    // the stream back for a while at its start, so allow for a late loop.
    FILE* parecord = popen(
        (std::string("parecord --device=speaker.monitor 2>/dev/null ") + kFormat).c_str(), "r");
    ASSERT_NE(parecord, nullptr);
    const std::size_t limit = 14 * kSampleRate;
    std::vector<std::int16_t> heard(limit);
    std::size_t got = 0;
    std::size_t loop = 0;
    int loops = 0;
    while (got < limit && (loops == 0 || got < loop + kSampleRate)) {
        const std::size_t n =
            std::fread(heard.data() + got, sizeof(std::int16_t),
                       std::min<std::size_t>(kBufferSamples, limit - got), parecord);
        if (n == 0) {
            break;
        }
        for (std::size_t j = got == 0 ? 1 : got; j < got + n; ++j) {
            if (heard[j - 1] == Pattern(kRingSamples - 1) && heard[j] == Pattern(0)) {
                loop = j;
                ++loops;
            }
        }
        got += n;
    }
    pclose(parecord);
    device.StopPlayback();
    EXPECT_TRUE(m_warnings.m_shown.empty());
    ASSERT_EQ(loops, 1) << got << " samples heard";

    // Half a second before the loop is the end of the block, sample by sample,
    // and a second after it the block's start.
    const std::size_t before = std::min<std::size_t>(loop, kSampleRate / 2);
    const std::size_t after = std::min<std::size_t>(got - loop, kSampleRate);
    ASSERT_GT(before, static_cast<std::size_t>(kSampleRate / 4));
    ASSERT_EQ(after, static_cast<std::size_t>(kSampleRate));
    int wrong = 0;
    for (std::size_t k = 1; k <= before; ++k) {
        wrong += heard[loop - k] != Pattern(kRingSamples - k);
    }
    for (std::size_t k = 0; k < after; ++k) {
        wrong += heard[loop + k] != Pattern(k);
    }
    std::printf("loop %.2f s into the recording, %d wrong\n",
                static_cast<double>(loop) / kSampleRate, wrong);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace velto

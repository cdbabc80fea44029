#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "audio/PortAudioService.h"
#include "audio/WaveDevice.h"
#include "dsp/JjySignal.h"
#include "tests/audio/AudioTestSupport.h"

namespace velto {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kFormat[] = " --raw --format=s16le --rate=96000 --channels=1";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }
std::string ReadFile(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Capture and playback through PortAudio, ALSA's default device and a private
// PulseAudio server (tests/audio/pulse-server) whose null sinks stand in for the
// antenna and the speaker. PULSE_SERVER points ALSA's pulse plugin at it.
class PulseAudio : public ::testing::Test {
protected:
    void SetUp() override {
        std::string missing;
        for (const char* program : {"pulseaudio", "pactl", "pacat", "parecord"}) {
            if (!Shell(std::string("command -v ") + program + " >/dev/null 2>&1")) {
                missing += std::string(" ") + program;
            }
        }
        if (!Shell("for d in /usr/lib* /usr/lib*/* /lib* /lib*/*; do test -e "
                   "$d/alsa-lib/libasound_module_pcm_pulse.so && exit 0; done; exit 1")) {
            missing += " ALSA's pulse plugin (libasound2-plugins)";
        }
        if (!missing.empty()) {
            GTEST_SKIP() << "not installed:" << missing;
        }
        std::string dir = (fs::temp_directory_path() / "velto-pulse-XXXXXX").string();
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir;
        ASSERT_TRUE(Shell(Quoted(VELTO_PULSE_SERVER_SCRIPT) + " start " + Quoted(dir) + " >" +
                          Quoted(dir + "/env") + " 2>" + Quoted(dir + "/start.err")))
            << "pulse-server failed: " << ReadFile(dir + "/start.err");
        const std::string env = ReadFile(dir + "/env");
        const std::string key = "PULSE_SERVER=";
        const auto at = env.find(key);
        ASSERT_NE(at, std::string::npos) << "pulse-server printed no address";
        const std::string address =
            env.substr(at + key.size(), env.find('\n', at) - at - key.size());
        setenv("PULSE_SERVER", address.c_str(), 1);
        m_service.emplace();  // PortAudio looks for devices now that the server is up
        SetWaveService(&*m_service);
    }
    void TearDown() override {
        SetWaveService(nullptr);
        m_service.reset();
        // A server that would not stop leaves its directory for a look at its log.
        if (!m_dir.empty() && Shell(Quoted(VELTO_PULSE_SERVER_SCRIPT) + " stop " + Quoted(m_dir))) {
            unsetenv("PULSE_SERVER");
            std::error_code error;
            fs::remove_all(m_dir, error);
        }
    }

    std::string m_dir;
    std::optional<CPortAudioService> m_service;
    CWarningRecorder m_warnings;
};

struct Fit {
    double error = 0.0;
    double energy = 0.0;
    long compared = 0;
};

// How got[i] differs from sent[i + shift] over every step-th i in [from, to)
// where both exist.
Fit Mismatch(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& sent,
             long shift, long from, long to, long step) {
    Fit fit;
    from = std::max(from, -shift);
    to = std::min({to, static_cast<long>(got.size()), static_cast<long>(sent.size()) - shift});
    for (long i = from; i < to; i += step) {
        const double want = sent[static_cast<std::size_t>(i + shift)];
        fit.error += (got[i] - want) * (got[i] - want);
        fit.energy += want * want;
        ++fit.compared;
    }
    return fit;
}

TEST_F(PulseAudio, CapturesTheAntennaSignalIntactInBuffersOf100ms) {
    JjySignalOptions options;
    options.carrierAmplitude = 8000.0;
    options.noiseSigma = 300.0;  // seeded, so that no stretch of the signal repeats
    std::vector<std::int16_t> sent(3 * kSampleRate);
    CJjySignal(1796610180, options).Generate(sent.data(), sent.size());

    CWaveDevice device;
    CNotifyRecorder frame(&device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &frame), 1);
    FILE* pacat = popen((std::string("pacat --playback --device=antenna") + kFormat).c_str(), "w");
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
    const std::chrono::duration<double> span = posts.back().time - posts.front().time;
    EXPECT_NEAR(span.count() / static_cast<double>(posts.size() - 1), 0.100, 0.010);

    // The server may drop the start of the stream or pad it with silence: find
    // the shift within half a second either way that best lines the capture up
    // with what was sent (got[i] = sent[i + shift]), judged on every 97th
    // sample of a second, then compare every sample where both exist.
    const std::vector<std::int16_t> got(device.m_inData,
                                        device.m_inData + posts.size() * kBufferSamples);
    constexpr long kReach = kSampleRate / 2;
    long shift = -kReach;
    double least = -1.0;
    for (long s = -kReach; s <= kReach; ++s) {
        const double error = Mismatch(got, sent, s, kReach, kReach + kSampleRate, 97).error;
        if (least < 0.0 || error < least) {
            shift = s;
            least = error;
        }
    }
    const Fit fit = Mismatch(got, sent, shift, 0, static_cast<long>(got.size()), 1);
    std::printf("shift %ld, %ld samples compared, error/energy %g\n", shift, fit.compared,
                fit.error / fit.energy);
    ASSERT_GT(fit.compared, 2 * kSampleRate);
    EXPECT_LT(fit.error / fit.energy, 1e-4);
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
    // Listen until a second after the end of the first pass; the server may
    // hold the stream back for a while at its start, so allow for a late loop.
    FILE* parecord = popen(
        (std::string("parecord --device=speaker.monitor 2>/dev/null") + kFormat).c_str(), "r");
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
        for (std::size_t j = std::max<std::size_t>(got, 1); j < got + n; ++j) {
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
    ASSERT_GT(before, static_cast<std::size_t>(kSampleRate / 4));
    ASSERT_GE(got - loop, static_cast<std::size_t>(kSampleRate));
    int wrong = 0;
    for (std::size_t k = 1; k <= before; ++k) {
        wrong += heard[loop - k] != Pattern(kRingSamples - k);
    }
    for (std::size_t k = 0; k < kSampleRate; ++k) {
        wrong += heard[loop + k] != Pattern(k);
    }
    std::printf("loop %.2f s into the recording, %d wrong\n",
                static_cast<double>(loop) / kSampleRate, wrong);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace velto

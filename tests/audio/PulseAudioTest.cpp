#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include "audio/PortAudioService.h"
#include "audio/WaveDevice.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/Simulated.h"

namespace velto {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Samples = std::vector<std::int16_t>;

std::string Quoted(const std::string& s) { return "'" + s + "'"; }
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// Through PortAudio and ALSA to a private PulseAudio server (pulse-server): antenna, speaker.
class PulseAudio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Shell("for d in /usr/lib* /usr/lib*/* /lib* /lib*/*; do test -e "
                   "$d/alsa-lib/libasound_module_pcm_pulse.so && exit 0; done; exit 1")) {
            GTEST_SKIP() << "ALSA's pulse plugin (libasound2-plugins) is not installed";
        }
        std::signal(SIGPIPE, SIG_IGN);  // a recorder whose server dies must not end the test
        std::string dir = (fs::temp_directory_path() / "velto-pulse-XXXXXX").string();
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir;
        ASSERT_NO_FATAL_FAILURE(StartServer());
        if (!IsSkipped()) {
            m_service.emplace();  // PortAudio looks for devices now that the server is up
            SetWaveService(&*m_service);
        }
    }
    int Script(const std::string& args) {
        const int status = std::system((Quoted(VELTO_PULSE_SERVER_SCRIPT) + " " + args +
                                        " >/dev/null 2>" + Quoted(m_dir + "/script.err"))
                                           .c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void StartServer() {
        const int status = Script("start " + Quoted(m_dir));
        if (status == 3) GTEST_SKIP() << support::Slurp(m_dir + "/script.err");
        ASSERT_EQ(status, 0) << support::Slurp(m_dir + "/script.err");
        setenv("PULSE_SERVER", ("unix:" + m_dir + "/native").c_str(), 1);
    }
    void TearDown() override {
        SetWaveService(nullptr);
        m_service.reset();
        // A server that would not stop leaves its directory for its log.
        if (!m_dir.empty() && Script("stop " + Quoted(m_dir)) == 0) {
            unsetenv("PULSE_SERVER");
            std::error_code error;
            fs::remove_all(m_dir, error);
        }
    }

    std::string m_dir;
    std::optional<CPortAudioService> m_service;
    Warnings m_told;
};

// For each captured buffer, the samples of `sent` skipped by its end; empty
// unless the capture is the signal in order (seeded noise: 64 samples are unique).
std::vector<long> SkippedByBuffer(const Samples& got, const Samples& sent) {
    constexpr std::size_t kProbe = 64;
    auto find = [&](std::size_t i, long from) {
        const auto probe = got.begin() + static_cast<long>(i);
        const auto end = probe + static_cast<long>(std::min(kProbe, got.size() - i));
        const auto at = std::search(sent.begin() + from, sent.end(), probe, end);
        return at == sent.end() ? -1L : static_cast<long>(at - sent.begin());
    };
    const long first = find(0, 0);
    std::vector<long> skipped;
    for (long i = 0, at = first; first >= 0 && i < static_cast<long>(got.size()); ++i, ++at) {
        if (at >= static_cast<long>(sent.size()) || got[i] != sent[at]) {
            at = find(i, std::min(at, static_cast<long>(sent.size())));
            if (at < 0) return {};
        }
        if ((i + 1) % kBufferSamples == 0) skipped.push_back(at - i - first);
    }
    return skipped;
}

// When a buffer is told, what a stalled consumer lost by its end is counted, none 15 later.
TEST_F(PulseAudio, CapturesTheAntennaSignalInOrderAndCountsEverySampleAStalledConsumerLoses) {
    const Samples sent = support::Simulated(1796610180, std::size_t{30} * kSampleRate,
                                            {.carrierAmplitude = 8000.0, .noiseSigma = 300.0});
    // Played from the server's own memory, so no gaps however late this process runs.
    const std::string raw = m_dir + "/antenna.raw";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(sent.data()),
               static_cast<std::streamsize>(sent.size() * sizeof(std::int16_t)));
    ASSERT_EQ(Script("play " + Quoted(m_dir) + " " + Quoted(raw)), 0)
        << support::Slurp(m_dir + "/script.err");
    CWaveDevice device;
    constexpr int kBuffers = 45, kAhead = 15;
    CNotifyRecorder watch(device, 10, 2500ms);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch, m_told), 1);
    ASSERT_TRUE(watch.WaitFor(kBuffers, 30s)) << watch.Count() << " buffers came";
    device.StopCapture(m_told);
    EXPECT_TRUE(m_told.empty());
    EXPECT_EQ(watch.Losses(), 0);

    const std::vector<long> skipped = SkippedByBuffer(watch.Samples(), sent);
    const auto posts = watch.Posts();
    ASSERT_GE(skipped.size(), static_cast<std::size_t>(kBuffers)) << "not the signal sent";
    for (int b = 0; b + kAhead < kBuffers; ++b) {
        EXPECT_LE(skipped[b], static_cast<long>(posts[b].dropped)) << "buffer " << b;
        EXPECT_LE(static_cast<long>(posts[b].dropped), skipped[b + kAhead]) << "buffer " << b;
    }
    const std::uint64_t dropped = posts[kBuffers - kAhead - 1].dropped;
    std::printf("%ld samples skipped, %llu counted lost\n", skipped[kBuffers - 1],
                static_cast<unsigned long long>(dropped));
    EXPECT_GT(dropped, 0u);
}

// A slow ramp over the playback block: it falls only where the loop restarts.
std::int16_t Pattern(std::size_t i) {
    return static_cast<std::int16_t>(static_cast<long>(i / 16) - kRingSamples / 32);
}

// The first pass (written while playing) and silence (a starved player) are left out.
TEST_F(PulseAudio, PlaysThePlaybackRingLoopingIntoTheSpeaker) {
    CWaveDevice device;
    CNotifyRecorder frame(device);
    ASSERT_EQ(device.StartPlayback(DeviceSpec{}, &frame, m_told), 1);
    for (int i = 0; i < kRingSamples; ++i) {
        std::atomic_ref<std::int16_t>(device.PlaybackBlock()[i])
            .store(Pattern(i), std::memory_order_relaxed);
    }
    FILE* parecord = popen(
        "parecord --device=speaker.monitor --raw --format=s16le --rate=96000 --channels=1 "
        "2>/dev/null",
        "r");
    ASSERT_NE(parecord, nullptr);
    Samples heard;  // the second and third passes, without silence
    int falls = 0;
    std::int16_t last = 0, h = 0;
    std::set<std::int64_t> positions;  // where the player is, once a second
    for (long listened = 0; falls < 3 && listened < 100L * kSampleRate; ++listened) {
        if (std::fread(&h, sizeof h, 1, parecord) != 1) break;
        if (listened % kSampleRate == 0) positions.insert(device.PlaybackPosition());
        falls += last != 0 && h != 0 && h < last ? 1 : 0;
        last = h != 0 ? h : last;
        if (h != 0 && (falls == 1 || falls == 2)) heard.push_back(h);
    }
    pclose(parecord);
    device.StopPlayback(m_told);
    EXPECT_TRUE(m_told.empty());
    ASSERT_EQ(falls, 3);
    EXPECT_GE(positions.size(), 8U);
    EXPECT_GE(*positions.begin(), 0);
    EXPECT_LT(*positions.rbegin(), kRingSamples);
    EXPECT_EQ(device.PlaybackPosition(), -1);

    // A sample heard comes next or after a gap of lost ones.
    Samples twice;
    for (int i = 0; i < 2 * kRingSamples; ++i) {
        if (Pattern(i % kRingSamples) != 0) twice.push_back(Pattern(i % kRingSamples));
    }
    long next = 0, lost = 0, longestGap = 0;
    int gaps = 0;
    for (const std::int16_t h : heard) {
        const auto at = std::find(twice.begin() + next, twice.end(), h);
        ASSERT_NE(at, twice.end()) << h << " heard out of order after sample " << next;
        const long gap = (at - twice.begin()) - next;
        lost += gap;
        gaps += gap > 0 ? 1 : 0;
        longestGap = std::max(longestGap, gap);
        next = (at - twice.begin()) + 1;
    }
    const long tail = static_cast<long>(twice.size()) - next;
    std::printf("%d gaps, %ld samples lost, the longest %ld, %ld at the end\n", gaps, lost,
                longestGap, tail);
    EXPECT_LT(longestGap, kBufferSamples);
    EXPECT_LT(tail, kBufferSamples);
    // A player losing samples as a habit would gap in most of 160 buffer periods.
    EXPECT_LE(gaps, 10);
}

TEST_F(PulseAudio, AHeldUpProcessKeepsItsDeviceADeadServerLosesItQuietlyAndItOpensAgain) {
    CWaveDevice device;
    CNotifyRecorder watch(device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch, m_told), 1);
    ASSERT_TRUE(watch.WaitFor(3, 6s));
    const std::string pid = std::to_string(getpid());
    ASSERT_TRUE(Shell("(sleep 1.5; kill -CONT " + pid + ") & kill -STOP " + pid));
    EXPECT_TRUE(watch.WaitFor(watch.Count() + 20, 10s)) << watch.Count() << " buffers came";
    EXPECT_FALSE(device.IsCaptureLost());

    testing::internal::CaptureStderr();
    ASSERT_TRUE(Shell("kill -9 $(cat " + Quoted(m_dir + "/pid") + ")"));
    const bool lost = watch.WaitFor(0, 3s);
    EXPECT_TRUE(device.IsCaptureLost());
    device.StopCapture(m_told);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(lost);
    EXPECT_EQ(watch.Losses(), 1);
    EXPECT_FALSE(device.IsCaptureOpen());
    EXPECT_TRUE(m_told.empty());

    testing::internal::CaptureStderr();
    EXPECT_EQ(device.StartCapture(DeviceSpec{}, &watch, m_told), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(m_told.size(), 1u);

    ASSERT_NO_FATAL_FAILURE(StartServer());
    CNotifyRecorder again(device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &again, m_told), 1);
    EXPECT_TRUE(again.WaitFor(3, 6s));
    EXPECT_FALSE(device.IsCaptureLost());
    device.StopCapture(m_told);
}

}  // namespace
}  // namespace velto

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "audio/InputHealth.h"
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
        // A player whose server dies must not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        std::string dir = (fs::temp_directory_path() / "velto-pulse-XXXXXX").string();
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir;
        ASSERT_NO_FATAL_FAILURE(StartServer());
        m_service.emplace();  // PortAudio looks for devices now that the server is up
        SetWaveService(&*m_service);
    }
    // The sample rate the server runs at.
    virtual int Rate() const { return kSampleRate; }
    void StartServer() {
        const std::string& dir = m_dir;
        ASSERT_TRUE(Shell(Quoted(VELTO_PULSE_SERVER_SCRIPT) + " start " + Quoted(dir) + " " +
                          std::to_string(Rate()) + " >" + Quoted(dir + "/env") + " 2>" +
                          Quoted(dir + "/start.err")))
            << "pulse-server failed: " << ReadFile(dir + "/start.err");
        const std::string env = ReadFile(dir + "/env");
        const std::string key = "PULSE_SERVER=";
        const auto at = env.find(key);
        ASSERT_NE(at, std::string::npos) << "pulse-server printed no address";
        const std::string address =
            env.substr(at + key.size(), env.find('\n', at) - at - key.size());
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    // As a crash would end it.
    void KillServer() { ASSERT_TRUE(Shell("kill -9 $(cat " + Quoted(m_dir + "/pid") + ")")); }
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
    // The null sink is silent until the player starts, which may take long on
    // a loaded machine, and a starved capture stream may lag behind the sink:
    // wait until the completed buffers hold the whole signal after the first
    // loud sample, which marks where it begins.
    auto onsetIn = [&](int buffers) {
        const auto end = device.m_inData + static_cast<std::ptrdiff_t>(buffers) * kBufferSamples;
        const auto loud =
            std::find_if(device.m_inData, end, [](std::int16_t v) { return std::abs(v) > 2000; });
        return loud == end ? -1L : static_cast<long>(loud - device.m_inData);
    };
    for (auto waited = 0s; waited < 30s; waited += 1s) {
        const int buffers = frame.Count();
        const long onset = onsetIn(buffers);
        if (onset >= 0 && static_cast<long>(buffers) * kBufferSamples >=
                              onset + static_cast<long>(sent.size()) + kBufferSamples) {
            break;
        }
        frame.WaitFor(buffers + 1, 1s);
    }
    device.StopCapture();
    EXPECT_TRUE(m_warnings.m_shown.empty());

    const auto posts = frame.Posts();
    ASSERT_GE(posts.size(), 30u);
    ASSERT_LT(posts.size(), static_cast<std::size_t>(kRingBuffers));
    for (std::size_t k = 0; k < posts.size(); ++k) {
        ASSERT_EQ(posts[k].lastSlot, static_cast<int>(k));
    }

    // The server may drop the stream's first moments: find the shift
    // from there to half a second on that best lines the capture up with
    // what was sent (got[i] = sent[i + shift]), judged on every 97th sample
    // of a second, then compare every sample where both exist.
    const std::vector<std::int16_t> got(device.m_inData,
                                        device.m_inData + posts.size() * kBufferSamples);
    const long onset = onsetIn(static_cast<int>(posts.size()));
    ASSERT_GE(onset, 0) << "nothing was heard";
    constexpr long kReach = kSampleRate / 2;
    long shift = -onset;
    double least = -1.0;
    for (long s = -onset - kReach / 10; s <= -onset + kReach; ++s) {
        const double error =
            Mismatch(got, sent, s, onset + kReach, onset + kReach + kSampleRate, 97).error;
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
    // Listen until just after the end of the second pass. A starved
    // player (a loaded machine) makes the server fill in silence, or lose a
    // moment of sound: the zeros are left out (the ramp's own 16 lie
    // mid-block), and what remains must be the ramp in order, looping twice.
    FILE* parecord = popen(
        (std::string("parecord --device=speaker.monitor 2>/dev/null") + kFormat).c_str(), "r");
    ASSERT_NE(parecord, nullptr);
    struct Run {
        int value;
        long length;
    };
    std::vector<Run> runs;  // the sound as runs of one value
    std::vector<std::int16_t> chunk(kBufferSamples);
    int loops = 0;
    long afterLoop = -1;  // samples since the second loop
    for (long listened = 0; listened < 100L * kSampleRate && afterLoop < kBufferSamples;
         listened += kBufferSamples) {
        const std::size_t n =
            std::fread(chunk.data(), sizeof(std::int16_t), chunk.size(), parecord);
        if (n == 0) {
            break;
        }
        for (std::size_t j = 0; j < n; ++j) {
            if (chunk[j] == 0) {
                continue;
            }
            if (!runs.empty() && runs.back().value == chunk[j]) {
                ++runs.back().length;
            } else {
                if (!runs.empty() && chunk[j] < runs.back().value && ++loops == 2) {
                    afterLoop = 0;
                }
                runs.push_back({chunk[j], 1});
            }
            afterLoop += afterLoop >= 0 ? 1 : 0;
        }
    }
    pclose(parecord);
    device.StopPlayback();
    EXPECT_TRUE(m_warnings.m_shown.empty());
    ASSERT_GE(afterLoop, kBufferSamples) << loops << " loops heard";

    // Each value of the ramp lasts 16 samples and is followed by the next one
    // up; only a lost moment skips values or shortens a run, and only the loop
    // goes down, from the block's last sample to its first. (A moment lost
    // right at a loop hides it; both loops hit is not to be expected.)
    const int first = Pattern(0);
    const int last = Pattern(kRingSamples - 1);
    int falls = 0;
    int exactFalls = 0;
    int skips = 0;
    long lost = 0;
    long beforeLoop = 0;
    int wrong = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const bool joinsPrevious = i > 0 && (runs[i].value == runs[i - 1].value + 1 ||
                                             (runs[i].value == 1 && runs[i - 1].value == -1));
        if (i > 0 && !joinsPrevious) {
            if (runs[i].value < runs[i - 1].value) {
                ++falls;
                const long fallLost = 16L * (last - runs[i - 1].value + runs[i].value - first);
                exactFalls += fallLost == 0 ? 1 : 0;
                lost += fallLost;
            } else {
                ++skips;
                lost += 16L * (runs[i].value - runs[i - 1].value - 1);
            }
        }
        if (falls == 0) {
            beforeLoop += runs[i].length;
        }
        // A run cut short lost the rest; none can be longer than the ramp's.
        if (runs[i].length < 16 && joinsPrevious && i + 1 < runs.size()) {
            ++skips;
            lost += 16 - runs[i].length;
        }
        wrong += runs[i].length > 16;
    }
    std::printf("loop after %.2f s of sound; %d skips losing %ld samples, %d runs wrong\n",
                static_cast<double>(beforeLoop) / kSampleRate, skips, lost, wrong);
    EXPECT_EQ(falls, 2);
    EXPECT_GE(exactFalls, 1);
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(beforeLoop, kSampleRate / 4);
    // A moment lost now and then is the starved machine's; a player that
    // skipped buffers as a habit would lose far more.
    EXPECT_LT(lost, kRingSamples / 10);
}

// Plays samples into the antenna sink from a thread of its own, paced by the
// server, until they end or the feed is destroyed. A second of latency keeps
// the sink from running dry on a busy machine (it would play silence between).
class CAntennaFeed {
public:
    explicit CAntennaFeed(std::vector<std::int16_t> samples) : m_samples(std::move(samples)) {
        m_pacat =
            popen((std::string("pacat --playback --device=antenna --latency-msec=1000") + kFormat)
                      .c_str(),
                  "w");
        if (m_pacat != nullptr) {
            m_thread = std::thread([this] {
                for (std::size_t at = 0; at < m_samples.size() && !m_stop; at += kBufferSamples) {
                    const std::size_t n =
                        std::min<std::size_t>(kBufferSamples, m_samples.size() - at);
                    if (std::fwrite(m_samples.data() + at, sizeof(std::int16_t), n, m_pacat) != n) {
                        break;
                    }
                }
            });
        }
    }
    ~CAntennaFeed() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_pacat != nullptr) {
            pclose(m_pacat);
        }
    }
    CAntennaFeed(const CAntennaFeed&) = delete;
    CAntennaFeed& operator=(const CAntennaFeed&) = delete;
    bool Playing() const { return m_pacat != nullptr; }

private:
    std::vector<std::int16_t> m_samples;
    FILE* m_pacat = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::vector<std::int16_t> Signal(double seconds) {
    JjySignalOptions options;
    options.carrierAmplitude = 8000.0;
    options.noiseSigma = 300.0;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kSampleRate));
    CJjySignal(1796610180, options).Generate(samples.data(), samples.size());
    return samples;
}

// Stands in for the frame: judges each completed buffer as it comes, on the
// service's thread, and notes every change of the input's state and the loss
// of the device. It can also stall the service's thread once, as a slow
// consumer would.
class CHealthWatch : public INotifyTarget {
public:
    struct Change {
        int buffers;  // completed buffers when the state changed
        InputState state;
        InputFigures figures;
        std::chrono::steady_clock::time_point time;
    };

    explicit CHealthWatch(const CWaveDevice& device) : m_device(device) {}

    void StallAt(int buffer, std::chrono::milliseconds time) {
        m_stallAt = buffer;
        m_stall = time;
    }

    void PostCaptureData() override {
        int last = m_device.m_inIndex - 1;
        last = last < 0 ? kRingBuffers - 1 : last;
        std::unique_lock lock(m_mutex);
        ++m_buffers;
        if (m_health.AddBuffer(m_device.m_inData + last * kBufferSamples, kBufferSamples)) {
            m_changes.push_back({m_buffers, m_health.State(), m_health.Figures(),
                                 std::chrono::steady_clock::now()});
        }
        m_changed.notify_all();
        if (m_buffers == m_stallAt) {
            lock.unlock();
            std::this_thread::sleep_for(m_stall);
        }
    }
    void PostCaptureLost() override {
        const std::lock_guard lock(m_mutex);
        ++m_losses;
        m_changed.notify_all();
    }

    int Buffers() const {
        const std::lock_guard lock(m_mutex);
        return m_buffers;
    }
    int Losses() const {
        const std::lock_guard lock(m_mutex);
        return m_losses;
    }
    std::vector<Change> Changes() const {
        const std::lock_guard lock(m_mutex);
        return m_changes;
    }
    bool WaitForBuffers(int n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_buffers >= n; });
    }
    bool WaitForChange(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return !m_changes.empty(); });
    }
    bool WaitForLoss(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_losses > 0; });
    }

private:
    const CWaveDevice& m_device;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    CInputHealth m_health;
    int m_buffers = 0;
    int m_losses = 0;
    std::vector<Change> m_changes;
    int m_stallAt = -1;
    std::chrono::milliseconds m_stall{0};
};

void PrintChange(const char* what, const CHealthWatch::Change& c,
                 std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> after = c.time - start;
    std::printf(
        "%s: state %d after %d buffers, %.2f s after the start; above 30 kHz %.4g LSB^2, "
        "below %.4g LSB^2, on the rails %.3g, peak to peak %d\n",
        what, static_cast<int>(c.state), c.buffers, after.count(), c.figures.highPower,
        c.figures.lowPower, c.figures.railFraction, c.figures.peakToPeak);
}

// A desktop's sound server at 48 kHz resamples the 96 kHz stream: the carrier
// is gone, and the samples say so within three seconds of input.
class PulseAudio48k : public PulseAudio {
protected:
    int Rate() const override { return 48000; }
};

TEST_F(PulseAudio48k, TellsWithinThreeSecondsThatTheServerResampledTheCarrierAway) {
    CAntennaFeed feed(Signal(10.0));
    ASSERT_TRUE(feed.Playing());
    std::this_thread::sleep_for(300ms);
    CWaveDevice device;
    CHealthWatch watch(device);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch), 1);
    watch.WaitForChange(6s);
    device.StopCapture();
    const auto changes = watch.Changes();
    ASSERT_FALSE(changes.empty()) << watch.Buffers() << " buffers came";
    PrintChange("48 kHz server", changes.front(), start);
    EXPECT_EQ(changes.front().state, InputState::NoUltrasound);
    EXPECT_LE(changes.front().buffers, 3 * kSampleRate / kBufferSamples);
}

TEST_F(PulseAudio, FindsA96kHzSignalGoodWithNothingDropped) {
    CAntennaFeed feed(Signal(10.0));
    ASSERT_TRUE(feed.Playing());
    std::this_thread::sleep_for(300ms);
    CWaveDevice device;
    CHealthWatch watch(device);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch), 1);
    EXPECT_TRUE(watch.WaitForBuffers(40, 8s));
    const std::uint64_t dropped = device.DroppedSamples();
    device.StopCapture();
    const auto changes = watch.Changes();
    ASSERT_EQ(changes.size(), 1u);
    PrintChange("96 kHz server", changes.front(), start);
    EXPECT_EQ(changes.front().state, InputState::Good);
    EXPECT_LE(changes.front().buffers, 3 * kSampleRate / kBufferSamples);
    EXPECT_EQ(dropped, 0u);
    EXPECT_EQ(watch.Losses(), 0);
}

TEST_F(PulseAudio, ADeadServerLosesTheDeviceQuietlyAndOnceBackItOpensAgain) {
    CWaveDevice device;
    CHealthWatch watch(device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch), 1);
    ASSERT_TRUE(watch.WaitForBuffers(3, 6s));
    testing::internal::CaptureStderr();
    KillServer();
    const auto killed = std::chrono::steady_clock::now();
    const bool lost = watch.WaitForLoss(3s);
    const std::chrono::duration<double> after = std::chrono::steady_clock::now() - killed;
    EXPECT_TRUE(device.IsCaptureLost());
    device.StopCapture();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(lost);
    std::printf("lost %.2f s after the kill\n", after.count());
    EXPECT_EQ(watch.Losses(), 1);
    EXPECT_FALSE(device.IsCaptureOpen());
    EXPECT_TRUE(m_warnings.m_shown.empty());

    testing::internal::CaptureStderr();
    EXPECT_EQ(device.StartCapture(DeviceSpec{}, &watch), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(m_warnings.m_shown.size(), 1u);

    ASSERT_NO_FATAL_FAILURE(StartServer());
    CHealthWatch again(device);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &again), 1);
    EXPECT_TRUE(again.WaitForBuffers(3, 6s));
    EXPECT_FALSE(device.IsCaptureLost());
    device.StopCapture();
}

// Where in `sent` the 64 samples of `got` from `at` on occur, or -1. The
// server passes a 96 kHz stream bit for bit, and the noise in the signal makes
// every stretch of it unique.
long Locate(const std::vector<std::int16_t>& sent, const std::int16_t* got) {
    constexpr long kProbe = 64;
    const auto it = std::search(sent.begin(), sent.end(), got, got + kProbe);
    return it == sent.end() ? -1 : static_cast<long>(it - sent.begin());
}

// The capture stream's thread holds a second of samples; a consumer that
// keeps it waiting longer loses the rest, and the stream counts exactly what
// is missing from the captured signal.
TEST_F(PulseAudio, AStalledConsumerLosesSamplesAndTheyAreCounted) {
    const std::vector<std::int16_t> sent = Signal(14.0);
    CAntennaFeed feed(sent);
    ASSERT_TRUE(feed.Playing());
    std::this_thread::sleep_for(300ms);
    CWaveDevice device;
    CHealthWatch watch(device);
    watch.StallAt(10, 1600ms);
    ASSERT_EQ(device.StartCapture(DeviceSpec{}, &watch), 1);
    ASSERT_TRUE(watch.WaitForBuffers(40, 12s));
    const std::uint64_t dropped = device.DroppedSamples();
    device.StopCapture();

    // The shift between sent and captured samples before the stall, and after
    // what the ring held during it has come through too.
    const long before = Locate(sent, device.m_inData + 5 * kBufferSamples) - 5 * kBufferSamples;
    const long after = Locate(sent, device.m_inData + 39 * kBufferSamples) - 39 * kBufferSamples;
    std::printf("dropped %llu samples; the signal jumps by %ld\n",
                static_cast<unsigned long long>(dropped), after - before);
    ASSERT_GE(before + 5 * kBufferSamples, 0);
    ASSERT_GE(after + 39 * kBufferSamples, 0);
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(after - before, static_cast<long>(dropped));
    EXPECT_EQ(watch.Losses(), 0);
}

}  // namespace
}  // namespace velto

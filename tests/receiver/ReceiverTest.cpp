#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <random>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "receiver/Receiver.h"
#include "simulator/StationSignal.h"
#include "tests/support/FakeWaveService.h"
#include "tests/support/Simulated.h"

namespace velto {
namespace {

// Kept by value: the record's spans are gone by the next cycle.
struct Processed {
    int buffer;
    int displayIndex;
    double sliceLevel;
    double rawSlot;       // raw row slot kWatchedSlot
    std::size_t samples;  // raw and filtered
    double ownSlot;       // the raw row at the buffer's own slot 5
};
constexpr int kWatchedSlot = 700;

struct Log : IReceiverObserver {
    void OnBufferProcessed(const ProcessedBuffer& p) override {
        processed.push_back({p.buffer, p.displayIndex, p.sliceLevel, p.rawRow[kWatchedSlot],
                             p.samples.size() + p.filtered.size(),
                             p.rawRow[static_cast<std::size_t>(kSlotsPerBuffer * p.buffer + 5)]});
    }
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override {
        const std::lock_guard lock(mutex);
        heard.resize(static_cast<std::size_t>(first), 0);
        heard.insert(heard.end(), samples, samples + n);
        if (first != next) jumps.emplace_back(next, first);
        next = first + static_cast<std::int64_t>(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (i == 0 || samples[i] != samples[i - 1]) values.push_back(samples[i]);
        }
    }
    void OnSecond(const DecoderSecond&, const std::optional<SystemTime>& captured) override {
        seconds.push_back(captured);
    }
    void OnWarning(const Warning& w) override {
        warnings.push_back(WarningCodeName(w.code));
        texts.push_back(w.text);
    }
    void OnRecordingChanged(bool on) override { recording.push_back(on); }
    void OnCaptureLost() override { ++losses; }

    std::mutex mutex;
    std::int64_t next = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> jumps;  // expected, got
    std::vector<std::int16_t> values;  // each buffer is one value: one entry per buffer
    std::vector<std::int16_t> heard;   // silence where samples were lost
    std::vector<Processed> processed;
    std::vector<std::optional<SystemTime>> seconds;
    std::vector<std::string> warnings;
    std::vector<std::string> texts;
    std::vector<bool> recording;
    int losses = 0;
};

// Keeps what it writes in `kept`; full after `room`; its first write waits for `release`.
struct CFakeWriter : ISampleWriter {
    explicit CFakeWriter(std::vector<std::int16_t>* kept, std::size_t room = ~std::size_t{0},
                         std::shared_ptr<std::binary_semaphore> release = {})
        : kept(kept), room(room), release(std::move(release)) {}
    bool Write(const std::int16_t* samples, std::size_t n, std::string* error) override {
        if (release) release->acquire();
        release.reset();
        if (n > room) {
            *error = "writing x.wav failed (No space left on device).";
            return false;
        }
        room -= n;
        if (kept) kept->insert(kept->end(), samples, samples + n);
        return true;
    }
    void Close() override {}

    std::vector<std::int16_t>* kept;
    std::size_t room;
    std::shared_ptr<std::binary_semaphore> release;
};

class ReceiverTest : public ::testing::Test {
protected:
    ReceiverTest() {
        SetWaveService(&m_service);
        m_receiver.AddObserver(&m_log);
    }
    ~ReceiverTest() override {
        m_receiver.Stop(m_told);
        SetWaveService(nullptr);
    }
    void Start() { ASSERT_TRUE(m_receiver.Start({}, {}, m_told)); }
    // Each buffer of one value, Value(k), or of the carrier at `amplitude`.
    void Complete(int from, int to, double amplitude = 0.0) {
        std::vector<std::int16_t> samples(kBufferSamples, 0);
        for (int k = from; k < to; ++k) {
            for (int i = 0; i < kBufferSamples; ++i) {
                samples[i] = amplitude == 0.0 ? Value(k)
                                              : static_cast<std::int16_t>(std::lround(
                                                    amplitude * std::sin(kTwoPi * i * 5 / 12)));
            }
            ASSERT_TRUE(m_service.CompleteOnDriver(samples.data()));
        }
    }
    void Cycles(int from, int n, double amplitude = 0.0) {
        for (int k = from; k < from + n; ++k) {
            Complete(k, k + 1, amplitude);
            m_receiver.OnCaptureData();
        }
    }
    static std::int16_t Value(int k) { return static_cast<std::int16_t>(k + 1); }

    CFakeWaveService m_service;
    CReceiver m_receiver;
    Log m_log;
    Warnings m_told;
};

// The level is set once a pass, from buffer 30; after a stop rows keep the last run's values.
TEST_F(ReceiverTest, TheCycleTrailsTheRingByOneAndSetsTheLevelOncePerPass) {
    Start();
    m_receiver.OnCaptureData();  // no new buffer: ignored
    EXPECT_TRUE(m_log.processed.empty());
    Cycles(0, 29, 1000.0);
    EXPECT_EQ(m_log.processed.back().sliceLevel, kSliceLevelUnset);
    Complete(29, 32, 1000.0);
    m_receiver.OnCaptureData();  // 29 and 30 skipped: 31 sets the level
    const double level = m_log.processed.back().sliceLevel;
    EXPECT_NE(level, kSliceLevelUnset);
    Cycles(32, 80 - 32 + 30, 2000.0);  // louder from here: the next pass's 0..29
    EXPECT_EQ(m_log.processed.back().sliceLevel, level) << "estimated twice in a pass";
    Cycles(110, 1, 2000.0);  // buffer 30 of the second pass
    EXPECT_GT(m_log.processed.back().sliceLevel, 1.5 * level);
    EXPECT_EQ(m_service.PlaybackOpens(), 1) << "one monitor start per run";
    for (std::size_t i = 0; i < m_log.processed.size(); ++i) {
        const Processed& p = m_log.processed[i];
        ASSERT_EQ(p.displayIndex, i == 0 ? -1 : static_cast<int>((i - 1) % kRingBuffers)) << i;
        if (i > 0 && m_log.processed[i - 1].buffer == kRingBuffers - 1) {
            ASSERT_EQ(p.buffer, 0);
        }
    }

    const double kept = m_log.processed.back().rawSlot;
    ASSERT_GT(kept, 0.0);
    Complete(111, 112);
    m_receiver.Stop(m_told);
    m_receiver.OnCaptureData();
    EXPECT_EQ(m_log.processed.back().buffer, 111 % kRingBuffers);
    Start();
    m_log.processed.clear();
    Cycles(0, 2);
    EXPECT_EQ(m_log.processed[0].displayIndex, -1);
    EXPECT_EQ(m_log.processed[0].sliceLevel, kSliceLevelUnset);
    EXPECT_EQ(m_log.processed[0].rawSlot, kept);
    EXPECT_TRUE(m_told.empty());
}

// A failed toggle leaves the monitor on with no device open: a start must not trust the flag.
TEST_F(ReceiverTest, TheMonitorTogglesAndARunWritesItsFirstTwoSlotsOnce) {
    m_service.SetResult(FakeCall::OutOpen, kWaveBadDeviceId);
    m_receiver.ToggleMonitor({}, m_told);
    EXPECT_TRUE(m_receiver.MonitorOn());
    EXPECT_FALSE(m_receiver.PlaybackOpen());
    m_service.SetResult(FakeCall::OutOpen, kWaveOk);
    Start();
    Cycles(0, 2);
    EXPECT_TRUE(m_receiver.PlaybackOpen());
    m_receiver.Stop(m_told);
    for (const bool on : {true, false, true}) {
        m_receiver.ToggleMonitor({}, m_told);
        EXPECT_EQ(m_receiver.MonitorOn(), on);
        EXPECT_EQ(m_receiver.PlaybackOpen(), on);
    }
    // Switched on while stopped, it loops over a stale block until the second buffer.
    auto* block = const_cast<std::int16_t*>(m_service.m_played.load());
    std::fill_n(block, 3 * kBufferSamples, std::int16_t{77});
    Start();
    Cycles(0, 1);
    EXPECT_EQ(block[2 * kBufferSamples], 77);
    EXPECT_EQ(m_service.PlaybackOpens(), 4);  // the failed toggle, the first run, the two toggles
    Cycles(1, 1);                             // no level yet: the tone is silence
    block = const_cast<std::int16_t*>(m_service.m_played.load());
    EXPECT_EQ(std::count(block, block + 3 * kBufferSamples, 0), 3 * kBufferSamples);
    EXPECT_EQ(m_service.PlaybackOpens(), 5);
    EXPECT_TRUE(m_receiver.MonitorOn());
}

// A late or skipped block sounds what it held 8 s before, which the ear cannot
// tell: reported. Piled-up notifications: the chain skips, the decoder reads all.
TEST_F(ReceiverTest, AToneWrittenAfterThePlayerReachedItsBlockIsReportedLate) {
    Start();
    Complete(0, 10);
    m_receiver.OnCaptureData();  // ten notifications piled up at the start: one handled
    EXPECT_EQ(m_log.processed.at(0).buffer, 9);
    ASSERT_TRUE(m_receiver.PlaybackOpen());
    // Where the player is when buffer b is handled, from the block's start.
    const std::int64_t offsets[] = {-4800, -1, 0, 9599, 25000, -kRingSamples / 2 + 1};
    const bool late[] = {false, false, true, true, true, false};
    std::size_t expected = 0;
    for (int k = 10; k < 10 + 84; ++k) {  // through the ring's wrap
        const std::size_t i = static_cast<std::size_t>(k) % std::size(offsets);
        const std::int64_t start = std::int64_t{k % kRingBuffers} * kBufferSamples;
        m_service.m_outPosition = (start + offsets[i] + kRingSamples) % kRingSamples;
        Cycles(k, 1);
        expected += late[i] ? 1 : 0;
        ASSERT_EQ(m_log.warnings.size(), expected) << "buffer " << k << ", offset " << offsets[i];
    }
    // Two buffers in one cycle: the first one's tone is never written.
    m_service.m_outPosition = -1;
    Complete(94, 96);
    m_receiver.OnCaptureData();
    m_receiver.OnCaptureData();
    EXPECT_EQ(m_log.warnings.size(), expected + 1);
    EXPECT_EQ(m_log.warnings.back(), "monitor-late");
    EXPECT_EQ(m_log.processed.back().buffer, 95 % kRingBuffers);
    EXPECT_EQ(m_log.processed.rbegin()[1].buffer, 95 % kRingBuffers);
    std::vector<std::int16_t> every;
    for (int k = 0; k < 96; ++k) every.push_back(Value(k));
    EXPECT_EQ(m_log.values, every);
    EXPECT_TRUE(m_log.jumps.empty());
    // A monitor switched on by hand plays at any distance from the capture.
    m_receiver.ToggleMonitor({}, m_told);
    m_receiver.ToggleMonitor({}, m_told);
    m_service.m_outPosition = 0;
    Cycles(96, 2);
    EXPECT_EQ(m_log.warnings.size(), expected + 1);
}

// Each sample's value is its index modulo 30000; the recording is silent where some were lost.
TEST_F(ReceiverTest, SamplesTheStreamLostMoveTheIndexOnByTheirNumberWhereTheyWereLost) {
    m_receiver.SetUnattended(true);
    std::vector<std::int16_t> file;
    std::string error;
    ASSERT_TRUE(m_receiver.StartRecording(std::make_unique<CFakeWriter>(&file), &error));
    Start();
    std::vector<std::int16_t> card;  // what the card counted, each sample its index
    // Samples lost between two buffers, within one, and twice within one.
    for (const auto& [n, lost] : {std::pair(kBufferSamples, 777), std::pair(3000, 1234),
                                  std::pair(kBufferSamples - 2500, 10), std::pair(200, 20),
                                  std::pair(3 * kBufferSamples, 0)}) {
        const std::size_t from = card.size();
        for (std::size_t i = from; i < from + n; ++i) card.push_back(std::int16_t(i % 30000));
        ASSERT_TRUE(m_service.CompleteOnDriver(&card[from], n));
        ASSERT_TRUE(m_service.OnDriver([&] { return m_service.DropSamples(lost); }));
        card.resize(card.size() + static_cast<std::size_t>(lost), -1);
    }
    m_receiver.OnCaptureData();
    m_receiver.StopRecording();
    const std::vector<std::int16_t>& heard = m_log.heard;
    // All but the part of a buffer still being filled.
    EXPECT_GT(heard.size(), card.size() - kBufferSamples);
    EXPECT_LE(heard.size(), card.size());
    int wrong = 0;  // silence where the index jumped, else the card's sample
    for (std::int64_t i = 0; i < std::ssize(heard); ++i) {
        const bool lost = std::ranges::any_of(
            m_log.jumps, [i](const auto& j) { return j.first <= i && i < j.second; });
        wrong += heard[i] != (lost ? 0 : card[i]) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(file == heard);
    // The input's warning counts what the stream lost.
    EXPECT_NE(std::ranges::find(m_log.warnings, "samples-dropped"), m_log.warnings.end());
}

// Falling more than 79 buffers behind is a gap the decoder is told.
TEST_F(ReceiverTest, AnUnattendedRunDecodesWithoutChainOrMonitorUntilItsDeviceIsLost) {
    m_receiver.SetUnattended(true);
    Start();
    Complete(0, 79);
    m_receiver.OnCaptureData();  // exactly 79 behind: all still in the ring
    EXPECT_TRUE(m_log.jumps.empty());
    Complete(79, 79 + 85);
    m_receiver.OnCaptureData();
    ASSERT_EQ(m_log.jumps.size(), 1U);
    // Buffers 79..84 were overwritten; 85..163 are read, in order.
    EXPECT_EQ(m_log.jumps[0],
              std::make_pair(std::int64_t{79} * kBufferSamples, std::int64_t{85} * kBufferSamples));
    EXPECT_EQ(m_log.values.back(), Value(163));
    EXPECT_EQ(m_log.values[79], Value(85));
    EXPECT_EQ(m_log.warnings, std::vector<std::string>{"decoder-gap"});

    m_receiver.Stop(m_told);
    Start();
    m_log.next = 0;
    m_log.jumps.clear();
    Cycles(0, 2 * kHealthWindowBuffers);  // two windows of the input's check
    EXPECT_TRUE(m_log.jumps.empty());
    EXPECT_EQ(m_log.next, 2 * kHealthWindowBuffers * kBufferSamples);
    EXPECT_TRUE(m_log.processed.empty());
    EXPECT_EQ(m_service.PlaybackOpens(), 0);
    EXPECT_NE(m_receiver.Input(), InputState::Unknown);

    ASSERT_TRUE(m_service.OnDriver([&] { return m_service.LoseDevice(); }));
    EXPECT_TRUE(m_receiver.OnCaptureLost());
    EXPECT_EQ(m_log.losses, 1);
    EXPECT_FALSE(m_receiver.OnCaptureLost()) << "a second notice ends nothing";
}

TEST_F(ReceiverTest, LiveSecondsComeWithTheirCaptureTime) {
    const auto samples = support::Simulated(1796610180, std::size_t{200} * kBufferSamples,
                                            {.carrierAmplitude = 6000.0});
    const SystemTime before = SystemTime::Now();
    Start();
    for (std::size_t b = 0; b < 200; ++b) {
        ASSERT_TRUE(m_service.CompleteOnDriver(samples.data() + b * kBufferSamples));
        m_receiver.OnCaptureData();
    }
    ASSERT_FALSE(m_log.seconds.empty()) << "no second decoded";
    for (const std::optional<SystemTime>& captured : m_log.seconds) {
        ASSERT_TRUE(captured.has_value());
        EXPECT_GT(captured->SecondsAfter(before), -30.0);
        EXPECT_LT(captured->SecondsAfter(SystemTime::Now()), 1.0);
    }
}

// A hold-up whose buffers come in a burst loses nothing; a card whose count
// goes on where it was after a silent second (a suspended machine) lost it.
TEST_F(ReceiverTest, ASecondOfSamplesLostUnsaidIsToldAndAHoldUpIsNot) {
    m_receiver.SetUnattended(true);
    Start();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int buffer = 0;
    // Each buffer when the card would have filled it, `behind` s late.
    const auto paced = [&](double until, double behind) {
        for (; (buffer + 1) * 0.1 <= until + 1e-9; ++buffer) {
            std::this_thread::sleep_until(
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>((buffer + 1) * 0.1 + behind)));
            Cycles(buffer, 1);
        }
    };
    paced(1.0, 0.0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    paced(3.5, 0.0);  // the held-up second comes in a burst, and the stream goes on
    EXPECT_EQ(std::ranges::count(m_log.warnings, "samples-dropped"), 0);
    paced(5.5, 1.0);  // a second missing
    ASSERT_EQ(std::ranges::count(m_log.warnings, "samples-dropped"), 1);
    const auto at = std::ranges::find(m_log.warnings, "samples-dropped") - m_log.warnings.begin();
    const std::string& text = m_log.texts[static_cast<std::size_t>(at)];
    const int ms = std::stoi(text.substr(0, text.find(' ')));
    EXPECT_NEAR(ms, 1000, 150) << text;
}

TEST_F(ReceiverTest, AFailingRecordingEndsAloneAndNeverHoldsUpCapture) {
    m_receiver.SetUnattended(true);
    std::string error;
    ASSERT_TRUE(m_receiver.StartRecording(
        std::make_unique<CFakeWriter>(nullptr, 5 * kBufferSamples), &error));
    Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int k = 0;
    while (m_receiver.IsRecording() && std::chrono::steady_clock::now() < deadline) {
        Cycles(k++, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(m_receiver.IsRecording());
    EXPECT_GT(k, 5);
    EXPECT_EQ(m_log.warnings, std::vector<std::string>{"recording-stopped"});
    EXPECT_EQ(m_log.recording, (std::vector<bool>{true, false}));
    Cycles(k, 3);
    EXPECT_EQ(m_log.next, (k + 3) * kBufferSamples);
    EXPECT_TRUE(m_receiver.Receiving());

    const auto release = std::make_shared<std::binary_semaphore>(0);
    ASSERT_TRUE(m_receiver.StartRecording(
        std::make_unique<CFakeWriter>(nullptr, ~std::size_t{0}, release), &error));
    // The ring holds at least 4 s and less than twice that.
    const int buffers = CRecorder::kRingSeconds * 10 * 2 + 10;
    Cycles(k + 3, buffers);
    EXPECT_FALSE(m_receiver.IsRecording());
    EXPECT_EQ(m_log.warnings.back(), "recording-stopped");
    EXPECT_EQ(m_log.next, std::int64_t{k + 3 + buffers} * kBufferSamples);
    release->release();
}

TEST_F(ReceiverTest, AStationAt192kHzIsCapturedAndShownAtItsRate) {
    const Station& dcf77 = GetStation(StationId::Dcf77);
    const CaptureFormat high = *CaptureFormat::ForRate(192000);
    EXPECT_FALSE(m_receiver.Configure(dcf77, kBaseFormat));
    ASSERT_TRUE(m_receiver.Configure(dcf77, high));
    Start();
    EXPECT_EQ(m_service.m_openedInRate.load(), 192000u);
    EXPECT_FALSE(m_receiver.Configure(GetStation(StationId::Jjy40), kBaseFormat));  // mid-run

    std::vector<std::int16_t> carrier(static_cast<std::size_t>(high.BufferSamples()));
    for (std::size_t t = 0; t < carrier.size(); ++t) {
        carrier[t] = static_cast<std::int16_t>(std::lround(
            1000.0 * std::sin(kTwoPi * dcf77.carrierHz * static_cast<double>(t) / 192000)));
    }
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(m_service.CompleteOnDriver(carrier.data(), carrier.size()));
        m_receiver.OnCaptureData();
    }
    ASSERT_EQ(m_log.processed.size(), 3u);
    for (const Processed& p : m_log.processed) {
        EXPECT_EQ(p.samples, 2 * 19200u);
        EXPECT_NEAR(p.ownSlot, 1168.5, 12.0);
    }
    EXPECT_EQ(m_log.next, 3 * 19200);
    EXPECT_TRUE(m_log.jumps.empty());
    EXPECT_TRUE(m_log.warnings.empty());
}

// Losses beyond a file's most silence or before the first piece, and a new run's index.
TEST(Recorder, SamplesLostBecomeSilenceInTheirPlace) {
    constexpr int kRate = 1000;
    constexpr std::int64_t kMost = CRecorder::kMostSilenceSeconds * kRate;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> size(1, 3000), value(1, 30000), odds(0, 9);
    std::vector<std::int16_t> file, expected;
    CRecorder recorder;
    ASSERT_TRUE(recorder.Start(std::make_unique<CFakeWriter>(&file), kRate));
    std::int64_t index = 777;  // a loss before the first piece is no loss
    for (int piece = 0; piece < 400; ++piece) {
        if (piece == 200) {
            index = 0;  // a new run: nothing lost
        } else if (piece > 0 && (piece % 50 == 0 || odds(rng) < 3)) {
            const std::int64_t lost = piece % 50 == 0 ? kMost + 12345 : size(rng);
            index += lost;
            expected.insert(expected.end(), static_cast<std::size_t>(std::min(lost, kMost)), 0);
        }
        std::vector<std::int16_t> samples(static_cast<std::size_t>(size(rng)));
        for (auto& v : samples) v = static_cast<std::int16_t>(value(rng));
        recorder.Push(index, samples.data(), samples.size(), true);
        index += static_cast<std::int64_t>(samples.size());
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    recorder.Stop();
    ASSERT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
}

// Reports count at the base rate, half a capture index at 192 kHz.
TEST(DecoderFeed, SamplesLostAt192kHzMoveTheDecodersIndicesByTheirNumber) {
    struct Seconds : IDecoderSink {
        void OnSecond(const DecoderSecond& s) override { onTime.push_back(s.onTimeSample); }
        void OnMinute(const DecoderMinute&) override {}
        void OnStatus(const DecoderStatus&) override {}
        std::vector<double> onTime;
    };
    const struct {
        StationId station;
        std::int64_t lost;
    } rows[] = {{StationId::Dcf77, 48000}, {StationId::Jjy40, 96001}, {StationId::Wwvb, 19201}};
    const CaptureFormat high = *CaptureFormat::ForRate(192000);
    constexpr std::int64_t kBefore = 12 * 192000, kAfter = 10 * 192000;
    for (const auto& row : rows) {
        Seconds sink;
        CDecoderFeed feed(sink);
        feed.Configure(GetStation(row.station), high);
        feed.Reset();
        CStationSignal signal(
            1796610180,
            {.station = row.station, .sampleRate = high.rate, .startOffsetSamples = 70000});
        std::vector<std::int16_t> samples(static_cast<std::size_t>(kBefore + row.lost + kAfter));
        signal.Generate(samples.data(), samples.size());
        feed.Feed(0, samples.data(), static_cast<std::size_t>(kBefore));
        const std::int64_t resume = kBefore + row.lost;
        feed.Feed(resume, samples.data() + resume, static_cast<std::size_t>(kAfter));

        int after = 0;
        for (double base : sink.onTime) {
            const double captured = base * high.BaseFactor();
            const double k = std::round((captured + 70000) / signal.SamplesPerSecond());
            EXPECT_NEAR(captured, signal.OnTimeSample(static_cast<std::int64_t>(k)), 96.0)
                << GetStation(row.station).name << " lost " << row.lost;
            after += captured > static_cast<double>(resume) ? 1 : 0;
        }
        EXPECT_GE(after, 3) << GetStation(row.station).name;
    }
}

}  // namespace
}  // namespace velto

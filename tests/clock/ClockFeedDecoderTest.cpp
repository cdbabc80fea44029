#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/JjySignal.h"
#include "receiver/ClockFeed.h"
#include "timecode/Decoder.h"

namespace velto {
namespace {

constexpr double kRate = 96000.0;
constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
constexpr std::int64_t kStartOffset = 31234;      // samples into that second
// The system clock of this run reads 200 ms behind the station.
constexpr double kSystemBehind = 0.2;

// Notes every second the decoder reports and passes everything on to the
// feed.
class CWatch : public IDecoderSink {
public:
    explicit CWatch(CClockFeed& feed) : m_feed(feed) {}
    void OnSecond(const DecoderSecond& s) override {
        seen.push_back(s);
        m_feed.OnSecond(s);
    }
    void OnMinute(const DecoderMinute& m) override { m_feed.OnMinute(m); }
    void OnStatus(const DecoderStatus& s) override { m_feed.OnStatus(s); }

    std::vector<DecoderSecond> seen;

private:
    CClockFeed& m_feed;
};

class CRecorder : public IClockSampleSink {
public:
    explicit CRecorder(std::vector<ClockSample>& out) : m_out(out) {}
    void Send(const ClockSample& sample) override { m_out.push_back(sample); }

private:
    std::vector<ClockSample>& m_out;
};

void Receive(CJjySignal& signal, CDecoder& decoder, double seconds, std::int64_t& index) {
    std::vector<std::int16_t> buffer(9600);
    for (int b = 0; b < static_cast<int>(seconds * 10.0); ++b) {
        signal.Generate(buffer.data(), buffer.size());
        decoder.Feed(index, buffer.data(), buffer.size());
        index += static_cast<std::int64_t>(buffer.size());
    }
}

// The real decoder on the simulated station: four minutes of signal, then
// the carrier is gone. Samples go out only for seconds the decoder has just
// received with a valid time, none for on-time points after the loss, and
// each offset is the 200 ms by which this run's system clock is behind, to
// the decoder's accuracy.
TEST(ClockFeedDecoder, SamplesOnlyFromAReceivedTimeAndTrueToTheSimulator) {
    // Sample n was captured at this system time.
    const auto systemTimeOf = [](double n) -> std::optional<SystemTime> {
        const double t = static_cast<double>(kStartOffset) / kRate + n / kRate - kSystemBehind;
        const double whole = std::floor(t);
        return SystemTime{kStart + static_cast<std::int64_t>(whole),
                          std::llround((t - whole) * 1e9)};
    };
    CClockFeed feed(systemTimeOf);
    std::vector<ClockSample> sent;
    feed.AddSink(std::make_unique<CRecorder>(sent));
    CWatch watch(feed);
    CDecoder decoder(watch);

    JjySignalOptions options;
    options.carrierAmplitude = 3000.0;
    options.noiseSigma = 300.0;
    options.startOffsetSamples = kStartOffset;
    CJjySignal station(kStart, options);
    std::int64_t index = 0;
    Receive(station, decoder, 240.0, index);
    const std::int64_t lost = index;
    options.carrierAmplitude = 0.0;
    options.seed = 2;
    CJjySignal silence(kStart + 240, options);
    Receive(silence, decoder, 90.0, index);

    // Each sample names its second by its true time.
    double worst = 0.0;
    for (const ClockSample& c : sent) {
        const double truth = static_cast<double>(c.system.sec) +
                             static_cast<double>(c.system.nsec) * 1e-9 + c.offset;
        const std::int64_t utc = std::llround(truth);
        const auto second = std::find_if(watch.seen.begin(), watch.seen.end(),
                                         [&](const DecoderSecond& d) { return d.utcUnix == utc; });
        ASSERT_NE(second, watch.seen.end()) << "a sample for no second reported: " << utc;
        EXPECT_EQ(second->state, ReceptionState::TimeValid) << utc;
        EXPECT_FALSE(second->flywheel) << utc;
        EXPECT_LT(second->onTimeSample, static_cast<double>(lost)) << "after the loss: " << utc;
        EXPECT_EQ(c.leap, LeapWarning::None);
        worst = std::max(worst, std::abs(c.offset - kSystemBehind));
    }
    // Minutes of valid time give many samples; the first minutes, before the
    // time was valid, give none.
    EXPECT_GT(sent.size(), 30u);
    ASSERT_FALSE(sent.empty());
    const auto firstValid = std::find_if(watch.seen.begin(), watch.seen.end(),
                                         [](const DecoderSecond& d) { return d.timeValid; });
    ASSERT_NE(firstValid, watch.seen.end());
    EXPECT_GE(std::llround(static_cast<double>(sent.front().system.sec) + sent.front().offset),
              firstValid->utcUnix - 1);
    EXPECT_LT(worst, 0.0005);
}

}  // namespace
}  // namespace velto

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "log/ReceptionLogFormat.h"
#include "logfeed/ReceptionLogFeed.h"
#include "tests/support/Files.h"

namespace fs = std::filesystem;
namespace rl = velto::receptionlog;
using velto::CReceptionLogFeed;
using velto::ReceptionState;
using velto::SystemTime;

namespace {

// 2026-12-07 14:58:00 UTC, two minutes before midnight JST.
constexpr std::int64_t kStart = 1796655480;

// Live reception as the receiver tells it, a buffer at a time on a clock of
// the test's: the system clock runs `ahead` of JJY, and the decoder holds
// the time throughout, its minutes reported two seconds after they end.
class LiveRun {
public:
    LiveRun(CReceptionLogFeed& feed, double ahead) : m_feed(feed), m_ahead(ahead) {}

    SystemTime Now() const { return SystemTime{kStart, 0}.Plus(m_seconds + m_ahead); }

    // `seconds` more, with the minutes in `flywheel` carried on, not decoded.
    void Run(int seconds, const std::vector<std::int64_t>& flywheel = {}) {
        for (int b = 0; b < seconds * 10; ++b) {
            m_seconds += 0.1;
            const std::int64_t utc = kStart + static_cast<std::int64_t>(m_seconds + 1e-9);
            if (b % 10 == 0) {
                Second(utc, flywheel);
            }
            m_feed.OnInput(m_first, nullptr, velto::kBufferSamples);
            m_first += velto::kBufferSamples;
        }
    }

private:
    void Second(std::int64_t utc, const std::vector<std::int64_t>& flywheel) {
        velto::DecoderSecond s{};
        s.timeValid = true;
        s.secondInMinute = static_cast<int>(utc % 60);
        s.utcUnix = utc;
        m_feed.OnSecond(s, SystemTime{utc, 0}.Plus(m_ahead));
        m_feed.OnStatus({ReceptionState::TimeValid, 40.0, 3277.0, 0.0, m_first});
        if (utc % 60 == 2) {
            velto::DecoderMinute m{};
            m.utcUnix = utc - 62;
            m.flywheel = std::find(flywheel.begin(), flywheel.end(), m.utcUnix) != flywheel.end();
            m_feed.OnMinute(m, std::nullopt);
        }
    }

    CReceptionLogFeed& m_feed;
    double m_ahead;
    double m_seconds = 0.0;
    std::int64_t m_first = 0;
};

std::vector<velto::ReceptionRecord> Records(const fs::path& file) {
    std::vector<velto::ReceptionRecord> records;
    for (const std::string& l : support::Lines(support::Slurp(file))) {
        if (const auto r = rl::ParseLine(l)) records.push_back(*r);
    }
    return records;
}

// On the system clock: a line a minute with the clock's offset less the
// latency, the noise floor while the spectrum gives one, and decoded only
// where the decoder read the minute from the signal. Nothing between runs.
TEST(ReceptionLogFeedTest, LiveMinutesCarryTheClocksOffsetAndWhatWasDecoded) {
    const support::TempDir temp;
    const fs::path dir = temp / "log";
    std::vector<velto::Warning> told;
    LiveRun* run = nullptr;
    CReceptionLogFeed feed(
        dir, 0, [&](const velto::Warning& w) { told.push_back(w); }, [&] { return run->Now(); });
    LiveRun live(feed, 0.25);
    run = &live;
    live.Run(30);  // before the run: nothing
    EXPECT_FALSE(fs::exists(dir));

    feed.Begin(CReceptionLogFeed::Time::System, 20.0);
    feed.SetNoiseDb(-90.0);
    live.Run(100, {kStart + 60});
    feed.SetNoiseDb(std::nullopt);
    live.Run(100);
    feed.Finish();
    EXPECT_TRUE(told.empty());

    const auto records = Records(dir / rl::FileName(rl::DayOf(kStart)));
    ASSERT_EQ(records.size(), 4U);  // 14:58 (from 14:58:30) to 15:01 (to 15:01:50)
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        SCOPED_TRACE(rl::FormatLine(r));
        EXPECT_EQ(r.minuteUtc, kStart + 60 * static_cast<std::int64_t>(i));
        EXPECT_EQ(r.state, ReceptionState::TimeValid);
        ASSERT_TRUE(r.clockOffsetSeconds);
        EXPECT_NEAR(*r.clockOffsetSeconds, 0.23, 1e-4);
        EXPECT_NEAR(*r.carrierDb, -20.0, 0.05);
        EXPECT_EQ(r.decoded, i == 0 || i == 2) << "14:59 was carried on, 15:01 ended with the run";
        EXPECT_EQ(r.noiseDb.has_value(), i < 2);
    }
}

// A log that cannot be written is told once, not every minute, and
// reception goes on.
TEST(ReceptionLogFeedTest, ALogThatCannotBeWrittenIsToldOnce) {
    const support::TempDir temp;
    const fs::path file = temp.Write("file", "a file where the directory should be\n");
    std::vector<velto::Warning> told;
    LiveRun* run = nullptr;
    CReceptionLogFeed feed(
        file / "log", 0, [&](const velto::Warning& w) { told.push_back(w); },
        [&] { return run->Now(); });
    LiveRun live(feed, 0.0);
    run = &live;
    feed.Begin(CReceptionLogFeed::Time::System);
    live.Run(300);
    feed.Finish();
    ASSERT_EQ(told.size(), 1U);
    EXPECT_EQ(told[0].code, velto::WarningCode::ReceptionLog);
    EXPECT_NE(told[0].text.find("Cannot make the directory of the reception log"),
              std::string::npos)
        << told[0].text;
}

}  // namespace

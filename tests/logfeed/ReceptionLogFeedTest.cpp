#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

std::vector<velto::ReceptionRecord> Records(const fs::path& file) {
    std::vector<velto::ReceptionRecord> records;
    for (const std::string& l : support::Lines(support::Slurp(file))) {
        if (const auto r = rl::ParseLine(l)) records.push_back(*r);
    }
    return records;
}

// One warning of the reception log, naming `part`.
void ExpectToldOnce(const std::vector<velto::Warning>& told, const std::string& part) {
    ASSERT_EQ(told.size(), 1U);
    EXPECT_EQ(told[0].code, velto::WarningCode::ReceptionLog);
    EXPECT_NE(told[0].text.find(part), std::string::npos) << told[0].text;
}

// 2026-12-07 14:58:00 UTC, two minutes before midnight JST.
constexpr std::int64_t kStart = 1796655480;

// Live reception a buffer at a time, the system clock `ahead` of JJY; minutes told 2 s late.
class LiveRun {
public:
    LiveRun(const fs::path& dir, double ahead)
        : feed(
              dir, 0, [this](const velto::Warning& w) { told.push_back(w); },
              [this] {
                  return SystemTime{kStart, 0}.Plus(m_seconds + m_ahead);
              }),
          m_ahead(ahead) {}

    // `seconds` more, with the minutes in `flywheel` carried on, not decoded.
    void Run(int seconds, const std::vector<std::int64_t>& flywheel = {}) {
        for (int b = 0; b < seconds * 10; ++b) {
            m_seconds += 0.1;
            const std::int64_t utc = kStart + static_cast<std::int64_t>(m_seconds + 1e-9);
            if (b % 10 == 0) Second(utc, flywheel);
            feed.OnInput(m_first, nullptr, velto::kBufferSamples);
            m_first += velto::kBufferSamples;
        }
    }

    std::vector<velto::Warning> told;
    CReceptionLogFeed feed;

private:
    void Second(std::int64_t utc, const std::vector<std::int64_t>& flywheel) {
        velto::DecoderSecond s{};
        s.timeValid = true;
        s.secondInMinute = static_cast<int>(utc % 60);
        s.utcUnix = utc;
        feed.OnSecond(s, SystemTime{utc, 0}.Plus(m_ahead));
        feed.OnStatus({ReceptionState::TimeValid, 40.0, 3277.0, 0.0, m_first});
        if (utc % 60 == 2) {
            velto::DecoderMinute m{};
            m.utcUnix = utc - 62;
            m.flywheel = std::ranges::find(flywheel, m.utcUnix) != flywheel.end();
            feed.OnMinute(m, std::nullopt);
        }
    }

    double m_ahead;
    double m_seconds = 0.0;
    std::int64_t m_first = 0;
};

// The clock's offset less the latency; decoded only where read from the signal.
TEST(ReceptionLogFeedTest, LiveMinutesCarryTheClocksOffsetAndWhatWasDecoded) {
    const support::TempDir temp;
    const fs::path dir = temp / "log";
    LiveRun live(dir, 0.25);
    live.Run(30);  // before the run: nothing
    EXPECT_FALSE(fs::exists(dir));

    live.feed.Begin(CReceptionLogFeed::Time::System, 20.0);
    live.feed.SetNoiseDb(-90.0);
    live.Run(100, {kStart + 60});
    live.feed.SetNoiseDb(std::nullopt);
    live.Run(100);
    live.feed.Finish();
    EXPECT_TRUE(live.told.empty());

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

TEST(ReceptionLogFeedTest, ALogThatCannotBeWrittenIsToldOnce) {
    const support::TempDir temp;
    const fs::path dir =
        fs::path(temp.Write("file", "a file where the directory should be\n")) / "log";
    LiveRun live(dir, 0.0);
    live.feed.Begin(CReceptionLogFeed::Time::System);
    live.Run(300);
    live.feed.Finish();
    ExpectToldOnce(live.told, "Cannot make the directory of the reception log " + dir.string());
}

// Two feeds stand in for two processes on one directory.
TEST(ReceptionLogFeedTest, ASecondFeedOnTheSameDirectoryWritesNothingWhileTheFirstRuns) {
    const support::TempDir temp;
    const fs::path dir = temp / "log";
    LiveRun first(dir, 0.0);
    LiveRun second(dir, 0.5);
    first.feed.Begin(CReceptionLogFeed::Time::System);
    for (int k = 0; k < 2; ++k) {
        second.feed.Begin(CReceptionLogFeed::Time::System);
        EXPECT_FALSE(second.feed.Running());
    }
    first.Run(130);
    second.Run(130);
    first.feed.Finish();
    EXPECT_FALSE(second.feed.Running());
    second.Run(CReceptionLogFeed::kLockRetrySeconds + 1);
    EXPECT_TRUE(second.feed.Running()) << "the lock let go is taken";
    second.feed.Finish();
    ExpectToldOnce(second.told, dir.string());
    const auto records = Records(dir / rl::FileName(rl::DayOf(kStart)));
    ASSERT_EQ(records.size(), 3U);
    for (const auto& r : records) {
        EXPECT_NEAR(r.clockOffsetSeconds.value_or(1.0), 0.0, 1e-4) << "the first's, not 0.5 s";
    }

    second.feed.Begin(CReceptionLogFeed::Time::System);
    EXPECT_TRUE(second.feed.Running());
    second.feed.Finish();
    EXPECT_TRUE(first.told.empty());

    // A lock file left empty by a power cut is taken; a directory is told.
    const fs::path lock = dir / ".velto.lock";
    std::ofstream(lock, std::ios::trunc).close();
    LiveRun third(dir, 0.0);
    third.feed.Begin(CReceptionLogFeed::Time::System);
    EXPECT_TRUE(third.feed.Running());
    third.feed.Finish();
    fs::remove(lock);
    fs::create_directory(lock);
    third.feed.Begin(CReceptionLogFeed::Time::System);
    EXPECT_FALSE(third.feed.Running());
    ExpectToldOnce(third.told, lock.string());
}

}  // namespace

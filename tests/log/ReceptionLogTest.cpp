#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "log/ReceptionLog.h"
#include "log/ReceptionLogFormat.h"
#include "log/ReceptionLogReader.h"
#include "log/ReceptionLogger.h"
#include "tests/support/Files.h"

namespace fs = std::filesystem;
namespace rl = velto::receptionlog;
using support::Lines;
using velto::CReceptionLog;
using velto::CReceptionLogger;
using velto::ReceptionRecord;
using velto::ReceptionState;

namespace {

// 2026-12-07 00:00:00 UTC.
constexpr std::int64_t kDay = 1796601600;

ReceptionRecord Full(std::int64_t minute) {
    return {minute, ReceptionState::Flywheel, -12.3, -100.25, -154.75, true, -123.4567};
}

// A status a second; each minute reported two seconds after it ends.
struct Reception {
    explicit Reception(const fs::path& dir) : log(dir, 0) {}

    void Seconds(std::int64_t from, std::int64_t to) {
        for (std::int64_t t = from; t < to; ++t) {
            logger.OnStatus({ReceptionState::TimeValid, 45.0, 3276.8, 0.0, t * 96000});
            if (t % 60 == 2) {
                velto::DecoderMinute m{};
                m.utcUnix = t - 62;
                logger.OnMinute(m);
            }
            logger.SetNoiseDb(-75.0);
            logger.SetClockOffset(0.0125);
            std::string error;
            ASSERT_TRUE(logger.Tick(double(t) + 0.25, &error)) << error;
        }
    }
    void Finish() {
        std::string error;
        ASSERT_TRUE(logger.Finish(&error)) << error;
    }

    CReceptionLog log;
    CReceptionLogger logger{log};
};

class ReceptionLogTest : public ::testing::Test {
protected:
    std::string File(std::int64_t utc) const {
        return support::Slurp(m_dir / rl::FileName(rl::DayOf(utc)));
    }

    const support::TempDir m_temp;
    const fs::path m_dir = m_temp / "log";  // made by the log itself
};

TEST_F(ReceptionLogTest, LinesReadBackAsWrittenAndADayStaysNear100kB) {
    const ReceptionRecord full = Full(kDay + 23 * 3600 + 59 * 60);
    const std::string line = rl::FormatLine(full);
    ReceptionRecord read = *rl::ParseLine(line);
    EXPECT_EQ(read.state, full.state);
    EXPECT_NEAR(*read.carrierDb, -100.2, 0.051);
    EXPECT_NEAR(*read.clockOffsetSeconds, -123.4567, 1e-9);
    const ReceptionRecord empty{kDay, ReceptionState::NoSignal, {}, {}, {}, false, {}};
    EXPECT_EQ(rl::ParseLine(rl::FormatLine(empty)), empty);
    // A day of the longest lines (beyond any real level) and the header.
    EXPECT_LT(1440 * (line.size() + 1) + rl::HeaderLine().size(), 120U * 1024);

    EXPECT_FALSE(rl::ParseLine(line.substr(0, 50)));
    EXPECT_FALSE(rl::ParseLine("2026-12-07T23:61Z,x,time_valid,1,1,1,1,1"));
    EXPECT_EQ(rl::FileName(rl::DayOf(kDay - 1)), "velto-2026-12-06.csv");
    EXPECT_FALSE(rl::DayOfFileName("velto-2026-13-06.csv"));
}

TEST_F(ReceptionLogTest, AMinuteALineAgreeingWithTheDecoderAcrossMidnightJst) {
    const std::int64_t midnightJst = kDay + 15 * 3600;
    Reception run(m_dir);
    run.Seconds(midnightJst - 150, midnightJst + 200);
    const auto lines = Lines(File(midnightJst));
    // The minute under way at the start, then every whole one but the last, undecoded yet.
    ASSERT_EQ(lines.size(), 1U + 5U);
    EXPECT_EQ(lines[0], rl::HeaderLine());
    EXPECT_EQ(lines[1],
              "2026-12-07T14:57Z,2026-12-07T23:57+09:00,time_valid,45.0,-20.0,-75.0,1,0.0125");
    EXPECT_EQ(lines[4].substr(0, 41), "2026-12-07T15:00Z,2026-12-08T00:00+09:00,");
    run.Finish();
    EXPECT_EQ(Lines(File(midnightJst)).size(), 1U + 7U);  // 15:02, and 15:03 as it stands
}

// C/N0 0 means no estimate (the level measured is the noise's): unknown, not 0 dB-Hz.
TEST_F(ReceptionLogTest, AStatusWithoutAnEstimateLeavesTheFiguresEmpty) {
    Reception run(m_dir);
    std::string error;
    run.logger.OnStatus({ReceptionState::SecondLocked, 12.0, 800.0, 0.0, 0});
    ASSERT_TRUE(run.logger.Tick(double(kDay) + 10.0, &error)) << error;
    run.logger.OnStatus({ReceptionState::SecondLocked, 0.0, 800.0, 0.0, 96000});
    ASSERT_TRUE(run.logger.Tick(double(kDay) + 70.0, &error)) << error;
    run.logger.OnStatus({ReceptionState::Flywheel, 0.0, 0.0, 0.0, 2 * 96000});
    run.Finish();
    EXPECT_EQ(Lines(File(kDay)),
              (std::vector<std::string>{
                  rl::HeaderLine(), "2026-12-07T00:00Z,2026-12-07T09:00+09:00,second_locked,,,,0,",
                  "2026-12-07T00:01Z,2026-12-07T09:01+09:00,flywheel,,,,0,"}));
}

TEST_F(ReceptionLogTest, ARestartAndANewUtcDayAppendAndNeverTruncate) {
    const std::int64_t midnight = kDay + 86400;
    const auto receive = [&](std::int64_t from, std::int64_t to) {
        Reception run(m_dir);
        run.Seconds(from, to);
        run.Finish();
    };
    receive(midnight - 150, midnight + 90);
    const std::string before = File(midnight);
    EXPECT_EQ(Lines(File(midnight - 1)).size(), 1U + 3U);  // 23:57 .. 23:59
    ASSERT_EQ(Lines(before).size(), 1U + 2U);              // 00:00, 00:01 so far
    receive(midnight + 100, midnight + 250);  // restarted within minute 00:01: not written twice
    const std::string after = File(midnight);
    EXPECT_EQ(after.substr(0, before.size()), before);
    const auto lines = Lines(after);
    ASSERT_EQ(lines.size(), 1U + 5U);  // 00:00 .. 00:04
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(rl::ParseLine(lines[i])->minuteUtc, midnight + 60 * std::int64_t(i - 1));
    }

    const auto week = velto::ReadReceptionLog(m_dir, midnight - 7 * 86400, midnight + 3600);
    EXPECT_EQ(week.records.size(), 3U + 5U);
    EXPECT_EQ(week.skipped, 0);
    const auto hour = velto::ReadReceptionLog(m_dir, midnight - 60, midnight + 60);
    ASSERT_EQ(hour.records.size(), 3U);
    EXPECT_EQ(hour.records.front().minuteUtc, midnight - 60);
}

// After a rotation or a deletion the next minute must not go out of sight.
TEST_F(ReceptionLogTest, ADayMovedOrDeletedWhileRunningStartsAgainUnderItsName) {
    Reception run(m_dir);
    const fs::path day = m_dir / rl::FileName(rl::DayOf(kDay));
    run.Seconds(kDay, kDay + 100);  // 00:00 written
    fs::rename(day, m_dir / "moved.csv");
    run.Seconds(kDay + 100, kDay + 160);  // 00:01, in a new file
    fs::remove(day);
    run.Seconds(kDay + 160, kDay + 250);  // 00:02 and 00:03, in another
    run.Finish();                         // 00:04, cut short by the stop
    EXPECT_EQ(Lines(support::Slurp(m_dir / "moved.csv")).size(), 1U + 1U);
    const auto lines = Lines(File(kDay));
    ASSERT_EQ(lines.size(), 1U + 3U) << File(kDay);
    EXPECT_EQ(lines[0], rl::HeaderLine());
    EXPECT_EQ(rl::ParseLine(lines[1])->minuteUtc, kDay + 120);
}

TEST_F(ReceptionLogTest, ALineCutShortIsEndedAndOldDaysAreDeleted) {
    fs::create_directories(m_dir);
    const std::int64_t today = kDay + 10 * 86400;
    const auto day = [&](int back) { return m_dir / rl::FileName(rl::DayOf(today) - back); };
    for (int back = 1; back <= 5; ++back) std::ofstream(day(back)) << rl::HeaderLine() << '\n';
    std::ofstream(m_dir / "notes.txt") << "mine\n";
    // Today's file ends in a line that a crash cut short.
    std::ofstream(day(0)) << rl::HeaderLine() << '\n'
                          << rl::FormatLine(Full(today)) << '\n'
                          << rl::FormatLine(Full(today + 60)).substr(0, 30);

    CReceptionLog log(m_dir, 3);
    std::string error;
    // Only a line received live on a sane clock tells today.
    ReceptionRecord replayed = Full(today + 120);
    replayed.clockOffsetSeconds.reset();
    ASSERT_TRUE(log.Append(replayed, &error)) << error;
    ReceptionRecord astray = Full(today + 180);
    astray.clockOffsetSeconds = 2 * 86400.0;
    ASSERT_TRUE(log.Append(astray, &error)) << error;
    EXPECT_TRUE(fs::exists(day(5)));
    ASSERT_TRUE(log.Append(Full(today + 240), &error)) << error;
    EXPECT_TRUE(fs::exists(day(2)));
    EXPECT_FALSE(fs::exists(day(3)));
    EXPECT_FALSE(fs::exists(day(5)));
    EXPECT_TRUE(fs::exists(m_dir / "notes.txt"));

    const auto read = velto::ReadReceptionLog(m_dir, today, today + 3600);
    EXPECT_EQ(read.skipped, 1);
    ASSERT_EQ(read.records.size(), 4U);
    EXPECT_EQ(read.records[0].minuteUtc, today);
    EXPECT_EQ(read.records[1].minuteUtc, today + 120);
}

// A disk that fills after a few lines: the file size limit stands in.
TEST_F(ReceptionLogTest, AFullDiskIsAnErrorNotACrash) {
    CReceptionLog log(m_dir, 0);
    std::string error;
    ASSERT_TRUE(log.Append(Full(kDay), &error)) << error;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = fs::file_size(m_dir / rl::FileName(rl::DayOf(kDay))) + 200;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int written = 1;
    error.clear();
    for (int i = 1; i < 10 && log.Append(Full(kDay + 60 * i), &error); ++i) ++written;
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(written, 3);  // two more lines of about 80 bytes fit
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    // Room again: the next line is whole, after the one cut short.
    ASSERT_TRUE(log.Append(Full(kDay + 3600), &error)) << error;
    const auto read = velto::ReadReceptionLog(m_dir, kDay, kDay + 7200);
    EXPECT_EQ(read.skipped, 1);
    ASSERT_EQ(read.records.size(), 4U);
    EXPECT_EQ(read.records.back().minuteUtc, kDay + 3600);
}

}  // namespace

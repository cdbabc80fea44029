#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/CommandLine.h"

namespace {

struct Parsed {
    bool ok;
    HeadlessOptions options;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& a : args) {
        arguments << QString::fromStdString(a);
    }
    CommandLine line;
    Parsed p;
    p.ok = ParseCommandLine(arguments, &line, &p.error);
    p.options = line.options;
    return p;
}

TEST(ClockOptions, FeedingTheClockFromLiveReception) {
    const Parsed p = Parse({"--headless", "--simulate", "--chrony-sock", "/run/chrony.jjy.sock",
                            "--shm", "2", "--shm-mode", "640", "--latency-ms", "-12.5"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.clock.enabled);
    EXPECT_EQ(p.options.clock.chronySock, "/run/chrony.jjy.sock");
    EXPECT_EQ(p.options.clock.shmUnit, 2);
    EXPECT_EQ(p.options.clock.shmMode, 0640);
    EXPECT_DOUBLE_EQ(p.options.clock.latencyMs, -12.5);

    const Parsed plain = Parse({"--headless", "--latency-ms", "3"});
    ASSERT_TRUE(plain.ok);
    EXPECT_FALSE(plain.options.clock.enabled || plain.options.clock.chronySock ||
                 plain.options.clock.shmUnit);
    EXPECT_EQ(plain.options.clock.shmMode, 0600);
}

// Each mistake is refused with a sentence that names the option.
TEST(ClockOptions, RefusesWhatCannotWork) {
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--shm", "256"}, "--shm needs a unit number from 0 to 255"},
        {{"--shm", "-1"}, "--shm needs"},
        {{"--shm", "1.5"}, "--shm needs"},
        {{"--shm", "two"}, "--shm needs"},
        {{"--shm-mode", "400"}, "--shm-mode needs octal permissions"},
        {{"--shm-mode", "777"}, "--shm-mode needs"},
        {{"--shm-mode", "0x1b6"}, "--shm-mode needs"},
        {{"--latency-ms", "fast"}, "--latency-ms needs a number"},
        {{"--latency-ms", "12ms"}, "--latency-ms needs"},
        {{"--latency-ms", "1e9"}, "--latency-ms needs"},
        {{"--latency-ms", "nan"}, "--latency-ms needs"},
        {{"--latency-ms"}, "option --latency-ms needs a value"},
        {{"--chrony-sock", std::string(120, 'x')}, "shorter than 108 bytes"},
        {{"--chrony-sock", ""}, "--chrony-sock needs"},
        {{"--input", "rec.wav", "--chrony-sock", "/run/x.sock"}, "need live reception"},
        {{"--input", "-", "--shm", "3"}, "need live reception"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.args[0];
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.args[0] << ": " << p.error;
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <QStringList>
#include <string>
#include <tuple>
#include <vector>

#include "audio/SimulatedWaveIn.h"
#include "headless/CommandLine.h"
#include "headless/DeviceMatch.h"
#include "headless/EventPrinter.h"

namespace {

struct Parsed {
    bool ok = false;
    CommandLine line;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& a : args) arguments << QString::fromLatin1(a.c_str());
    Parsed p;
    p.ok = ParseCommandLine(arguments, &p.line, &p.error);
    return p;
}

// The console's options mean the console without --headless.
TEST(CommandLine, TheTableDecidesTheModeAndEveryOptionIsInTheHelp) {
    EXPECT_EQ(Parse({}).line.mode, RunMode::Window);
    EXPECT_EQ(Parse({"-h"}).line.mode, RunMode::Help);
    EXPECT_EQ(Parse({"--version"}).line.mode, RunMode::Version);
    const std::string help = HelpText();
    for (const OptionEntry& o : OptionTable()) {
        std::vector<std::string> args{o.name};
        if (!o.value.empty()) {
            args.push_back(o.name == "--station" ? "msf" : o.name == "--rate" ? "192000" : "1");
        }
        if (o.name == "--force") args = {"--record", "x.wav", "--force"};
        if (o.name == "--shm-mode") args = {"--shm-mode", "600"};
        if (o.name == "--log-days") args = {"--log", "log", "--log-days", "1"};
        if (o.name == "--spectrum") args = {"--input", "x.wav", "--spectrum", "x.png"};
        const Parsed p = Parse(args);
        ASSERT_TRUE(p.ok) << o.name << ": " << p.error;
        if (o.console) {
            EXPECT_EQ(p.line.mode, RunMode::Console) << o.name;
        }
        EXPECT_NE(help.find("  " + o.name), std::string::npos) << o.name;
    }

    const Parsed clock = Parse({"--headless", "--simulate", "--chrony-sock", "/run/chrony.jjy.sock",
                                "--shm", "2", "--shm-mode", "640", "--latency-ms", "-12.5"});
    ASSERT_TRUE(clock.ok) << clock.error;
    const auto& feed = clock.line.options.clock;
    EXPECT_TRUE(feed.enabled);
    EXPECT_EQ(feed.chronySock, "/run/chrony.jjy.sock");
    EXPECT_EQ(feed.shmUnit, 2);
    EXPECT_EQ(feed.shmMode, 0640);
    EXPECT_DOUBLE_EQ(feed.latencyMs, -12.5);
    const Parsed live = Parse({"--headless", "--latency-ms", "3"});
    ASSERT_TRUE(live.ok) << live.error;
    const auto& plain = live.line.options.clock;
    EXPECT_FALSE(plain.enabled || plain.chronySock || plain.shmUnit);
    EXPECT_EQ(plain.shmMode, 0600);
}

TEST(CommandLine, UnknownOptionsAndStrayArgumentsAreRefused) {
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"-x"}, "unknown option -x."},
        {{"stray"}, "unexpected argument \"stray\""},
        {{"--headless", "--input"}, "option --input needs a value."},
        {{"--force"}, "--force goes with --record"},
        {{"--simulate", "--input", "a.wav"}, "choose one input"},
        {{"--input", "a.wav", "--input", "b.wav"}, "--input is given twice"},
        {{"--station", "dcf"}, "unknown station \"dcf\": choose jjy40, jjy60, dcf77, msf or wwvb"},
        {{"--station", "dcf77", "--rate", "96000"}, "77.5 kHz, which 96000 samples per second"},
        {{"--rate", "48000"}, "--rate takes 96000 or 192000."},
        {{"--rate", "192000", "--input", "a.wav"}, "a file tells its own rate"},
        {{"--log-days", "30"}, "--log-days goes with --log"},
        {{"--log", "log", "--log-days", "x"}, "--log-days needs a whole number of days"},
        {{"--simulate", "--spectrum", "a.png"}, "--spectrum draws the band of a recording"},
        {{"--input", "a.wav", "--spectrum", ""}, "--spectrum needs the name"},
        {{"--shm", "256"}, "--shm needs a unit number from 0 to 255"},
        {{"--shm", "-1"}, "--shm needs"},
        {{"--shm", "1.5"}, "--shm needs"},
        {{"--shm-mode", "400"}, "--shm-mode needs octal permissions"},
        {{"--shm-mode", "777"}, "--shm-mode needs"},
        {{"--shm-mode", "0x1b6"}, "--shm-mode needs"},
        {{"--latency-ms", "0x10"}, "--latency-ms needs a number"},
        {{"--shm", " 2"}, "--shm needs"},
        {{"--latency-ms", "1e9"}, "--latency-ms needs"},
        {{"--chrony-sock", std::string(120, 'x')}, "shorter than 108 bytes"},
        {{"--input", "rec.wav", "--chrony-sock", "/run/x.sock"}, "need live reception"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.args.back();
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.args.back() << ": " << p.error;
    }
    // DCF77: as the station is written elsewhere.
    for (const auto& [given, name, rate] :
         {std::tuple{"wwvb", "wwvb", 192000}, std::tuple{"jjy40", "jjy40", 96000},
          std::tuple{"DCF77", "dcf77", 192000}}) {
        const Parsed window = Parse({"--station", given});
        ASSERT_TRUE(window.ok && window.line.options.choice) << given << ": " << window.error;
        EXPECT_EQ(window.line.mode, RunMode::Window);
        EXPECT_EQ(window.line.options.choice->station->name, std::string(name));
        EXPECT_EQ(window.line.options.choice->format.rate, rate);
    }
}

TEST(DeviceMatch, AWholeNameOrAUniquePartOfOne) {
    const std::vector<std::string> names = {"HDA Intel PCH: ALC887 Analog (hw:0,0)",
                                            "HDA Intel PCH: ALC887 Alt Analog (hw:0,2)",
                                            "USB Audio: - (hw:1,0)",
                                            "pulse",
                                            "default",
                                            velto::kSimulatorName};
    EXPECT_EQ(DeviceMatch::Find(names, "hw:1,0").id, 2);
    // As the simulator was named when it sent JJY alone.
    EXPECT_EQ(DeviceMatch::Find(names, "JJY シミュレーター (内蔵)").id, 5);
    const DeviceMatch both = DeviceMatch::Find(names, "ALC887");
    EXPECT_EQ(both.id, -1);
    EXPECT_EQ(both.candidates, (std::vector<std::string>{names[0], names[1]}));
    EXPECT_NE(both.Problem("ALC887").find("\"HDA Intel PCH: ALC887 Alt Analog (hw:0,2)\""),
              std::string::npos);
    EXPECT_EQ(DeviceMatch::Find(names, "").id, -1);
}

TEST(EventPrinter, JsonStringsAreValidUtf8WhateverTheText) {
    EXPECT_EQ(CEventPrinter::JsonString("録音 \"a\"\\\n"), "\"録音 \\\"a\\\"\\\\\\u000a\"");
    EXPECT_EQ(CEventPrinter::JsonString("\xc0\xaf"), "\"\\\\xc0\\\\xaf\"");             // overlong
    EXPECT_EQ(CEventPrinter::JsonString("\xed\xa0\x80"), "\"\\\\xed\\\\xa0\\\\x80\"");  // surrogate
    EXPECT_EQ(CEventPrinter::JsonString("\xe6\x97"), "\"\\\\xe6\\\\x97\"");             // cut short
    EXPECT_EQ(CEventPrinter::JsonString("\xf0\x9f\x93\xbb"), "\"\xf0\x9f\x93\xbb\"");
}

}  // namespace

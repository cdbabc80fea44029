#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Geometry.h"
#include "log/ReceptionLogFormat.h"
#include "plot/SpectrumPlot.h"
#include "plot/SpectrumPng.h"
#include "spectrum/Level.h"
#include "tests/support/Files.h"
#include "tests/support/Pixels.h"
#include "tests/support/SoundFiles.h"

namespace {

namespace fs = std::filesystem;
using support::Count;
using support::Lines;
using support::Slurp;
using support::ValidWavFrames;
using velto::kSampleRate;
using Args = std::vector<std::string>;

// The signal starts 110 s and 12345 samples before 2027-03-01 00:00 JST.
constexpr long long kStartUnix = 1803826690;  // 2027-02-28T14:58:10Z
constexpr long long kOffset = 12345;
constexpr long long kSeconds = 200;

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct Minute {
    std::string jst;
    double sample;
};

// Standard input from `in` (through cat when `pipe`); standard output into `outFd`.
struct Io {
    fs::path in = {};
    bool pipe = false;
    long fileLimit = -1;
    int outFd = -1;
    const char* language = "en";  // LANGUAGE, whatever the machine's locale
    std::vector<std::pair<std::string, std::string>> environment = {};
};

// Every minute reported is the simulator's, in order, within 1 ms.
void ExpectTruth(const std::vector<Minute>& minutes, std::size_t atLeast) {
    ASSERT_GE(minutes.size(), atLeast);
    const char* names[] = {"2027-02-28T23:59:00+09:00", "2027-03-01T00:00:00+09:00",
                           "2027-03-01T00:01:00+09:00"};
    // The first minute reported may be the one before midnight.
    const int first = minutes[0].jst == names[0] ? -1 : 0;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const int m = first + static_cast<int>(i);
        EXPECT_EQ(minutes[i].jst, names[m + 1]);
        EXPECT_NEAR(minutes[i].sample, (110.0 + 60.0 * m) * kSampleRate - kOffset,
                    kSampleRate / 1000.0)
            << minutes[i].jst;
    }
}

// The simulator's noise (sigma 800 over 0..48 kHz) per hertz, as the noise floor reads it.
double SimNoiseDb() {
    return velto::level::ToDb(800.0 * 800.0 / 48000.0 / velto::level::kFullScalePower);
}

// A JSON number after "key": in a line; NaN when absent or null.
double Field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos || line.compare(at + key.size() + 3, 4, "null") == 0) {
        return std::nan("");
    }
    return std::stod(line.substr(at + key.size() + 3));
}

// The minute lines: {"type":"minute","jst":"...","sample":N,...}
std::vector<Minute> Minutes(const std::string& out) {
    const std::string head = "{\"type\":\"minute\",\"jst\":\"";
    std::vector<Minute> minutes;
    for (const std::string& l : Lines(out, head)) {
        minutes.push_back({l.substr(head.size(), 25), Field(l, "sample")});
    }
    return minutes;
}

class HeadlessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<support::TempDir>();
        s_sim = MakeSim("sim.wav", kSeconds);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    // `form`: channels, rate, format and perhaps an interferer's hertz and amplitude.
    static std::string MakeSim(const std::string& name, long long seconds,
                               const std::string& form = "1 96000 pcm16",
                               long long start = kStartUnix, long long offset = kOffset) {
        const std::string path = (*s_dir / name).string();
        const std::string command = std::string(VELTO_SIM_WAV) + " " + path + " " +
                                    std::to_string(start) + " " + std::to_string(seconds) + " " +
                                    std::to_string(offset) + " 800 " + form;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    static pid_t Spawn(const Args& args, const Io& io = {}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const auto file = [](const fs::path& p) {
                return ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            };
            ::dup2(::open(io.in.empty() || io.pipe ? "/dev/null" : io.in.c_str(), O_RDONLY), 0);
            ::dup2(io.outFd >= 0 ? io.outFd : file(*s_dir / "out"), 1);
            ::dup2(file(*s_dir / "err"), 2);
            if (io.fileLimit >= 0) {
                const rlimit limit{static_cast<rlim_t>(io.fileLimit),
                                   static_cast<rlim_t>(io.fileLimit)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            // A profile of the tests' own: the user's stored station stays out.
            ::setenv("XDG_CONFIG_HOME", (*s_dir / "config").c_str(), 1);
            ::setenv("LANGUAGE", io.language, 1);
            for (const auto& [name, value] : io.environment)
                ::setenv(name.c_str(), value.c_str(), 1);
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                ::unsetenv(name);
            Args all{VELTO_EXE};
            if (io.pipe) all = {"/bin/sh", "-c", "cat \"$0\" | exec \"$@\"", io.in, VELTO_EXE};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }
    static Result Wait(pid_t pid) {
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), Slurp(*s_dir / "out"),
                Slurp(*s_dir / "err")};
    }
    static Result Run(const Args& args, const Io& io = {}) { return Wait(Spawn(args, io)); }
    // Sends `signal` once `ready` holds, or after a minute.
    static Result Stop(pid_t pid, const std::function<bool()>& ready, int signal = SIGTERM) {
        for (int i = 0; i < 1200 && !ready(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid, signal);
        return Wait(pid);
    }
    static Result Ok(const Args& args, const Io& io = {}) {
        Result r = Run(args, io);
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    }

    static inline std::unique_ptr<support::TempDir> s_dir;
    static inline std::string s_sim;
};

// A recording is read as the station it names, before the stored one, never before --station.
TEST_F(HeadlessTest, EveryWayOfFeedingARecordingDecodesTheSimulatorsMinutes) {
    const std::string raw = MakeSim("sim.raw", kSeconds, "1 96000 raw");
    const std::string wav192 = MakeSim("sim192.wav", kSeconds, "1 192000 pcm16");
    const std::string raw192 = MakeSim("sim192.raw", kSeconds, "1 192000 raw");
    const std::string tagged = (*s_dir / "tagged.wav").string();
    const struct {
        const char* name;
        int sameAs;
        Args args;
        Io io = {};
    } rows[] = {
        {"a WAV file", -1, {"--input", s_sim}},
        {"raw samples on standard input", 0, {"--input", "-"}, {raw}},
        {"wav 192k", -1, {"--station", "jjy40", "--input", wav192, "--record", tagged}},
        {"raw 192k", 2, {"--station", "jjy40", "--input", "-", "--rate", "192000"}, {raw192}},
    };
    std::vector<std::string> outs;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Args args{"--headless", "--json"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Result r = Ok(args, row.io);
        EXPECT_EQ(r.err, "");
        ExpectTruth(Minutes(r.out), 2);
        for (const std::string& l : Lines(r.out)) {
            EXPECT_TRUE(l.starts_with("{\"type\":\"") && l.ends_with("}")) << l;
        }
        EXPECT_NE(r.out.find("\"jst\":\"2027-03-01T00:00:00+09:00\",\"station\":\"jjy40\","
                             "\"utc\":\"2027-02-28T15:00:00Z\",\"time\":\"2027-03-01T00:00:00+09:"
                             "00\""),
                  std::string::npos)
            << r.out;
        EXPECT_GE(Count(r.out, "\"type\":\"status\""), kSeconds / 10);
        EXPECT_EQ(Count(r.out, "\"system_unix\""), 0);
        EXPECT_EQ(Count(r.out, "\"type\":\"warning\""), 0) << r.out;
        outs.push_back(r.out);
        EXPECT_TRUE(row.sameAs < 0 || r.out == outs[row.sameAs]) << r.out;
    }

    const Result text = Ok({"--headless", "--input", s_sim});
    EXPECT_NE(text.out.find("2027-03-01 00:00 JST  at sample"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("noise"), std::string::npos) << "only JSON carries the band's figures";
    const Result empty = Ok({"--headless", "--input", "-", "--json"});
    EXPECT_EQ(empty.out + empty.err, "");

    const fs::path profile = *s_dir / "config" / "Velto" / "Velto.conf";
    fs::create_directories(profile.parent_path());
    std::ofstream(profile) << "[Station]\nName=jjy60\nRate=192000\n";
    for (const Io& io : {Io{}, Io{tagged, true}}) {
        SCOPED_TRACE(io.pipe ? "the tagged recording through a pipe" : "the tagged recording");
        const Result replay = Run({"--headless", "--json", "--input", io.pipe ? "-" : tagged}, io);
        EXPECT_EQ(replay.err, "");
        EXPECT_EQ(replay.out, outs[2]);
    }
    const Result untagged = Ok({"--headless", "--input", wav192});
    EXPECT_EQ(Count(untagged.out, " at sample"), 0) << untagged.out;
    EXPECT_EQ(untagged.err, "velto: no signal of JJY 60 kHz was found in " + wav192 +
                                "; to read another station from it, name it with --station "
                                "(velto --list-stations).\n");
    // A stored station that will not do is told with what is received instead.
    std::ofstream(profile) << "[Station]\nName=dcf99\n";
    const Result fallback =
        Ok({"--headless", "--input", "-"},
           {s_dir->Write("silence.raw", std::string(2 * velto::kBufferSamples, '\0'))});
    EXPECT_EQ(fallback.err, "velto: these values of the profile " + profile.string() +
                                " will not do; what follows each arrow is used instead: "
                                "[Station] Name=dcf99 → jjy40.\n");
    const Result named = Run({"--headless", "--station", "jjy60", "--input", tagged});
    EXPECT_EQ(Count(named.out, " at sample"), 0) << named.out;
    EXPECT_EQ(named.err, "");
    fs::remove(profile);  // later runs share the profile directory
}

// Refused before anything is written, in one sentence; an existing file needs --force.
TEST_F(HeadlessTest, WhatCannotWorkIsRefusedInOneSentenceAndCostsNoFile) {
    const std::string whole = Slurp(s_sim);
    const auto size = fs::file_size(s_sim);
    const std::string link = (*s_dir / "link.wav").string();
    fs::create_hard_link(s_sim, link);
    const std::string keep = s_dir->Write("keep.wav", "precious");
    const std::string missing = (*s_dir / "missing.wav").string();
    const std::string never = (*s_dir / "never.wav").string();
    const std::string denied = (*s_dir / "no-such-dir" / "x.png").string();
    const struct {
        std::string says;
        Args args;
        Io io = {};
        int status = 1;
        bool window = false;
    } rows[] = {
        {"has 2 channels", {"--input", MakeSim("stereo.wav", 2, "2 96000 pcm16")}},
        {"sampled at 48000 Hz", {"--input", MakeSim("48k.wav", 2, "1 48000 pcm16")}},
        {"8-bit samples", {"--input", MakeSim("8bit.wav", 2, "1 96000 pcm8")}},
        {"is empty", {"--input", s_dir->Write("empty.wav", "")}},
        {"not an audio file", {"--input", s_dir->Write("header.wav", whole.substr(0, 30))}},
        {"middle of a sample", {"--input", "-"}, {s_dir->Write("odd.raw", std::string(9, '\0'))}},
        {"velto: standard input (WAV) has 2 channels; Velto needs a mono recording.",
         {"--input", "-"},
         {MakeSim("stereo-in.wav", 2, "2 96000 pcm16"), true}},
        {"standard input (WavPack) carries a header that Velto cannot read",
         {"--input", "-"},
         {s_dir->Write("wv.bin", "wvpk" + std::string(4000, '\0')), true}},
        {"sim.wav: dcf77 sends on 77.5 kHz, which 96000 samples per second cannot carry",
         {"--station", "dcf77", "--input", s_sim}},
        {"no capture device named \"No Such Card\"", {"--device", "No Such Card"}},
        // An option where a value belongs is a forgotten value, not a file name.
        {"option --record needs a value.", {"--input", s_sim, "--record", "--json"}, {}, 2},
        {"is the input itself", {"--input", s_sim, "--record", link, "--force"}},
        // The band's picture, drawn after the reading, replaces neither.
        {"is the input itself; drawing", {"--input", s_sim, "--spectrum", link}},
        {"is the input itself; drawing", {"--input", "-", "--spectrum", s_sim}, {s_sim}},
        {"is the recording too", {"--input", s_sim, "--record", never, "--spectrum", never}},
        {"velto: cannot write " + denied + " (No such file or directory).\n",
         {"--input", s_sim, "--spectrum", denied}},
        {"velto: cannot create /dev/full (No space left on device).\n",
         {"--input", s_sim, "--record", "/dev/full", "--force"}},
        {"cannot read", {"--input", missing, "--record", keep, "--force"}},
        {"exists already; it is kept unless overwriting it is asked for (velto --force)",
         {"--input", s_sim, "--record", keep}},
        // Without --headless: the window's mode, refused without a display.
        {"velto: unknown option --simulat. Try velto --help.", {"--simulat"}, {}, 2, true},
        {"there is no display to open the window on; velto --headless",
         {"--simulate"},
         {},
         1,
         true},
    };
    for (const auto& row : rows) {
        Args args = row.args;
        if (!row.window) args.insert(args.begin(), "--headless");
        std::string line;
        for (const std::string& a : args) line += a + " ";
        SCOPED_TRACE(line);
        const Result r = Run(args, row.io);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_EQ(Count(r.err, "\n"), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(fs::file_size(s_sim), size);
    EXPECT_EQ(Slurp(keep), "precious");
    EXPECT_FALSE(fs::exists(never));
    EXPECT_FALSE(fs::exists("--json"));
    const Result forced = Ok({"--headless", "--input", s_sim, "--record", keep, "--force"});
    EXPECT_EQ(ValidWavFrames(keep), kSeconds * kSampleRate);

    // Cut after 140 s: the minutes in it are decoded, then the cut is reported.
    const std::string cut = s_dir->Write("cut.wav", whole.substr(0, 44 + 2 * 140 * kSampleRate));
    const Result r = Run({"--headless", "--input", cut, "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
    ExpectTruth(Minutes(r.out), 1);
}

// A recording's input is judged as live input is, in the user's language.
TEST_F(HeadlessTest, ARecordingThatClipsOrIsSilentIsToldAsLiveInputIs) {
    const std::vector<std::int16_t> samples = support::ReadSound(s_sim);
    const auto write = [&](const std::string& name, double gain) {
        std::vector<double> scaled;
        for (const std::int16_t x : samples)
            scaled.push_back(std::clamp(gain * x, -32768.0, 32767.0));
        EXPECT_TRUE(support::WriteSound((*s_dir / name).string(), scaled));
        return (*s_dir / name).string();
    };
    const Result clipped = Ok({"--headless", "--input", write("loud.wav", 6.0), "--json"});
    EXPECT_EQ(Count(clipped.out,
                    "\"code\":\"clipping\",\"text\":\"The input is clipping. Lower "
                    "the input level\""),
              1)
        << clipped.out;
    EXPECT_GE(Minutes(clipped.out).size(), 1u);
    const std::string zero = write("zero.wav", 0.0);
    const Result silent = Run({"--headless", "--input", zero, "--json"}, {.language = "ja"});
    EXPECT_EQ(Count(silent.out, "\"code\":\"silence\",\"text\":\"入力が無音です。"), 1)
        << silent.out;
    EXPECT_EQ(Run({"--headless", "--input", zero}).out,
              "state: no_signal (C/N0 --.- dB-Hz, carrier 0)\n"
              "warning: The input is silent. Check the connection and the capture device\n");
}

// SIGTERM or SIGHUP ends a live run with status 0 and a valid WAV, and a FIFO's wait quietly.
TEST_F(HeadlessTest, SigtermEndsARunWithStatusZeroLeavingAValidWav) {
    const Result stations = Ok({"--list-stations"});
    EXPECT_TRUE(stations.out.starts_with("jjy40  40 kHz    JST       96000\n")) << stations.out;
    EXPECT_NE(stations.out.find("dcf77  77.5 kHz  CET/CEST  192000\n"), std::string::npos);
    for (const auto& [language, line] : {std::pair{"ja", "\nシミュレーター (内蔵)\t192 kHz\n"},
                                         std::pair{"en", "\nSimulator (built-in)\t192 kHz\n"}}) {
        const Result list = Ok({"--list-devices"}, {.language = language});
        EXPECT_NE(("\n" + list.out).find(line), std::string::npos) << list.out;
    }

    const fs::path wav = *s_dir / "live.wav";
    const pid_t live =
        Spawn({"--headless", "--device", "シミュレーター", "--json", "--record", wav});
    const Result r = Stop(
        live, [&] { return fs::exists(wav) && fs::file_size(wav) >= 2 * kSampleRate; }, SIGHUP);
    EXPECT_EQ(r.status, 0) << r.err;
    const long long frames = ValidWavFrames(wav);
    EXPECT_GE(frames, kSampleRate);
    EXPECT_EQ(frames % velto::kBufferSamples, 0);  // whole capture buffers

    const fs::path fifo = *s_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t waiting = Spawn({"--headless", "--input", fifo.string()});
    // SIGTERM is caught and the process sits in openat (257), as only on the FIFO.
    int steady = 0;
    const Result stopped = Stop(waiting, [&, proc = "/proc/" + std::to_string(waiting)] {
        const auto mask = Lines(Slurp(proc + "/status"), "SigCgt:");
        const bool caught =
            !mask.empty() && (std::stoull(mask[0].substr(7), nullptr, 16) >> (SIGTERM - 1) & 1);
        steady = caught && Slurp(proc + "/syscall").starts_with("257 ") ? steady + 1 : 0;
        return steady == 5;
    });
    EXPECT_EQ(steady, 5) << "never waited in open()";
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_EQ(stopped.err, "");
}

// A file size limit stands in for the full disk; with no room at all no file is left.
TEST_F(HeadlessTest, AFullDiskStopsTheRecordingWithAWarningWhileDecodingGoesOn) {
    for (const long limit : {1L << 20, 8192L}) {
        SCOPED_TRACE(limit);
        const fs::path wav = *s_dir / (limit > 8192 ? "full.wav" : "\xff\xfe full.wav");
        const Result r =
            Run({"--headless", "--input", s_sim, "--json", "--record", wav}, {.fileLimit = limit});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(Count(r.out, "\"code\":\"recording-stopped\""), 1) << r.out;
        ExpectTruth(Minutes(r.out), 2);
        if (limit > 8192) {
            EXPECT_GT(ValidWavFrames(wav), 0);
            EXPECT_LE(2 * ValidWavFrames(wav), limit);
        } else {
            EXPECT_NE(r.out.find("\\\\xff\\\\xfe full.wav"), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find_first_of("\xff\xfe"), std::string::npos) << "not UTF-8";
            EXPECT_FALSE(fs::exists(wav));
        }
    }
}

// A reader that stops early (head -1) ends the run quietly with status 0.
TEST_F(HeadlessTest, AClosedStandardOutputEndsTheRunQuietly) {
    for (const Args& args : {Args{"--headless", "--simulate", "--json"},
                             Args{"--headless", "--input", s_sim, "--json"}}) {
        SCOPED_TRACE(args[1]);
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);  // the child keeps no read end
        const pid_t pid = Spawn(args, {.outFd = out[1]});
        ::close(out[1]);
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
        }
        ::close(out[0]);  // head -1 has its line
        // Killed, and so failed, if still running a minute after its reader went.
        const Result r = Stop(
            pid,
            [pid] {
                siginfo_t info{};
                return ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                       info.si_pid == pid;
            },
            SIGKILL);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
    }
    // Standard output closed from the start: no descriptor opened since gets the lines.
    const std::string err = (*s_dir / "closed-err").string();
    const std::string closed = std::string(VELTO_EXE) + " --headless --input " + s_sim;
    EXPECT_EQ(std::system((closed + " --json >&- 2>" + err).c_str()), 0);
    EXPECT_EQ(Slurp(err), "");
}

// A carrier 123.4 Hz up at -20 dB is found, never before 20 s of frames.
TEST_F(HeadlessTest, TheBandIsToldInTheStatusLinesAndDrawnAsAPng) {
    const std::string wav = MakeSim("interferer.wav", 90, "1 96000 pcm16 40123.4 800");
    const fs::path shortPng = *s_dir / "short.png";
    const Result r = Ok({"--headless", "--input", wav, "--json", "--spectrum", shortPng});
    const auto status = Lines(r.out, "{\"type\":\"status\"");
    ASSERT_GE(status.size(), 8U);
    for (const std::string& l : status) {
        ASSERT_NE(l.find(",\"carriers\":["), std::string::npos) << l;
        if (Field(l, "sample") < 20.0 * kSampleRate) {
            EXPECT_NE(l.find("\"carriers\":[]"), std::string::npos) << l;
        }
    }
    const std::string& last = status.back();
    EXPECT_NEAR(Field(last, "noise_db"), SimNoiseDb(), 1.0) << last;
    const std::size_t list = last.find("\"carriers\":[{");
    ASSERT_NE(list, std::string::npos) << last;
    EXPECT_NEAR(Field(last.substr(list), "offset_hz"), 123.4, 0.5) << last;
    EXPECT_NEAR(Field(last.substr(list), "level_db"), -20.0, 1.0) << last;

    // The picture: a waterfall row a second, the carrier at 40 kHz.
    const fs::path png = *s_dir / "band.png";
    const Result drawn = Ok({"--headless", "--input", s_sim, "--spectrum", png});
    EXPECT_EQ(drawn.err.find("velto:"), std::string::npos) << drawn.err;
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), spectrumpng::kWidth);
    EXPECT_EQ(image.height() - QImage(QString::fromStdString(shortPng.string())).height(),
              kSeconds - 90);

    // Where the parts lie does not depend on what was fed.
    const velto::CSpectrumAnalyser layout(velto::SpectrumOptions{});
    const QRect band = spectrumpng::BandRect();
    const auto x = spectrumplot::BandFrequencies(layout, band);
    const auto top = [&](double hz) {
        const int column = static_cast<int>(std::lround(x.ToPixel(hz)));
        return pixels::Top(image, band, column, spectrumplot::AverageTrace());
    };
    EXPECT_LT(top(40000.0), top(20000.0) - band.height() / 3);
    // The carrier warm down the wide waterfall, 250 Hz beside it cold.
    const auto at = [&](const QRect& r, const velto::CWaterfall& w, double hz, int row) {
        const auto x = spectrumplot::WaterfallOffsets(w, r).ToPixel(hz);
        return image.pixelColor(static_cast<int>(x), r.top() + row);
    };
    const QRect wide = spectrumpng::WideRect(layout);
    for (const int row : {5, int{kSeconds} / 2, int{kSeconds} - 20}) {
        EXPECT_TRUE(pixels::Warm(at(wide, layout.Wide(), 0.0, row))) << row;
        EXPECT_TRUE(pixels::Cold(at(wide, layout.Wide(), -250.0, row))) << row;
    }
    EXPECT_TRUE(pixels::Warm(at(spectrumpng::NarrowRect(layout), layout.Narrow(), 0.0, 5)));
}

// A restart at 192 kHz appends; a decimal comma once broke the JSON ("63,8").
TEST_F(HeadlessTest, TheLogAgreesWithTheDecodedMinutesAcrossMidnightJstAndARestart) {
    namespace rl = velto::receptionlog;
    const fs::path log = *s_dir / "log";
    const std::string second =
        MakeSim("next.wav", 260, "1 192000 pcm16", kStartUnix + 200, kOffset + 4321);
    // A replay's day is not today: older days are kept.
    const fs::path before = log / rl::FileName(rl::DayOf(kStartUnix) - 400);
    fs::create_directories(log);
    std::ofstream(before) << rl::HeaderLine() << '\n';
    const Result a = Ok({"--headless", "--input", s_sim, "--json", "--log", log},
                        {.environment = {{"LC_ALL", "C"}}});
    const std::string day = rl::FileName(rl::DayOf(kStartUnix));
    const std::string first = Slurp(log / day);
    const Result b =
        Ok({"--headless", "--input", second, "--json", "--log", log, "--log-days", "0"});
    const std::string both = Slurp(log / day);
    EXPECT_TRUE(fs::exists(before));
    EXPECT_TRUE(both.starts_with(first));

    // The minutes each run decoded (none in the flywheel), as UTC.
    std::vector<long long> decoded;
    for (const Result* run : {&a, &b}) {
        for (const Minute& m : Minutes(run->out)) {
            const long long jst = (m.jst.substr(0, 10) == "2027-03-01" ? 0 : -1) * 86400LL +
                                  std::stoi(m.jst.substr(11, 2)) * 3600 +
                                  std::stoi(m.jst.substr(14, 2)) * 60;
            decoded.push_back(kStartUnix + 110 + jst);  // 2027-03-01T00:00+09:00 and after
        }
    }
    ASSERT_GE(decoded.size(), 4U);
    std::vector<velto::ReceptionRecord> records;
    for (const std::string& l : Lines(both)) {
        if (const auto r = rl::ParseLine(l)) records.push_back(*r);
    }
    ASSERT_GE(records.size(), 5U);
    EXPECT_EQ(records.front().minuteUtc, decoded.front()) << "from the first decoded minute";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        SCOPED_TRACE(rl::FormatLine(r));
        EXPECT_TRUE(i == 0 || r.minuteUtc > records[i - 1].minuteUtc) << "each minute once";
        EXPECT_EQ(r.decoded, std::ranges::find(decoded, r.minuteUtc) != decoded.end());
        if (r.decoded) {
            EXPECT_EQ(r.state, velto::ReceptionState::TimeValid);
            EXPECT_NEAR(*r.noiseDb, SimNoiseDb(), 1.0);
            EXPECT_FALSE(r.clockOffsetSeconds) << "a recording says nothing of the system clock";
        }
    }
    EXPECT_EQ(std::ranges::count_if(records, &velto::ReceptionRecord::decoded), std::ssize(decoded))
        << both;

    EXPECT_NE(a.out.find("\"cn0_dbhz\":6"), std::string::npos) << a.out;
    const fs::path locales = *s_dir / "locales";
    fs::create_directories(locales);
    const std::string localedef = "localedef -i de_DE -f UTF-8 " + (locales / "de_DE").string();
    if (std::system((localedef + ".UTF-8 >/dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "no German locale can be made here (scripts/install-deps installs locales)";
    }
    const fs::path german = *s_dir / "log-de";
    const Result de = Ok({"--headless", "--input", s_sim, "--json", "--log", german},
                         {.environment = {{"LOCPATH", locales}, {"LC_ALL", "de_DE.UTF-8"}}});
    EXPECT_EQ(de.out + Slurp(german / day), a.out + first);
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/Geometry.h"
#include "log/ReceptionLogFormat.h"
#include "plot/SpectrumPlot.h"
#include "plot/SpectrumPng.h"
#include "spectrum/Level.h"

namespace {

namespace fs = std::filesystem;
using velto::kSampleRate;

// The simulated signal starts 110 s and 12345 samples before 2027-03-01
// 00:00 JST, so the minute of second 0 of that minute lies at sample
// 110 * 96000 - 12345 of the file.
constexpr long long kStartUnix = 1803826690;  // 2027-02-28T14:58:10Z
constexpr long long kOffset = 12345;
constexpr long long kSeconds = 200;

double TruthSample(int minutesAfterMidnight) {
    return (110.0 + 60.0 * minutesAfterMidnight) * kSampleRate - kOffset;
}

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct Minute {
    std::string jst;
    double sample;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class HeadlessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = fs::temp_directory_path() / ("velto-headless-" + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        MakeSim("sim.wav", kSeconds, "1", std::to_string(kSampleRate), "pcm16");
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }

    // `extra`: the simulator's further arguments (an interferer's hertz and
    // amplitude); `start`, `offset`: where the signal begins.
    static fs::path MakeSim(const std::string& name, long long seconds, const std::string& ch,
                            const std::string& rate, const std::string& format,
                            const std::string& extra = "", long long start = kStartUnix,
                            long long offset = kOffset) {
        const fs::path path = s_dir / name;
        const std::string command = std::string(VELTO_SIM_WAV) + " " + path.string() + " " +
                                    std::to_string(start) + " " + std::to_string(seconds) + " " +
                                    std::to_string(offset) + " 800 " + ch + " " + rate + " " +
                                    format + " " + extra;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    // Runs velto with these arguments; standard input from `in` (or
    // /dev/null). With `fileLimit` the process may not write files larger.
    static pid_t Spawn(const std::vector<std::string>& args, const fs::path& in,
                       long fileLimit = -1) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(in.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
            ::dup2(fd, 0);
            ::dup2(::open((s_dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            ::dup2(::open((s_dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            if (fileLimit >= 0) {
                const rlimit limit{static_cast<rlim_t>(fileLimit), static_cast<rlim_t>(fileLimit)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            // A profile of the tests' own: the user's stored station stays out.
            ::setenv("XDG_CONFIG_HOME", (s_dir / "config").c_str(), 1);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            std::vector<char*> argv{const_cast<char*>(VELTO_EXE)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VELTO_EXE, argv.data());
            ::_exit(127);
        }
        return pid;
    }
    static Result Wait(pid_t pid) {
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        r.out = Slurp(s_dir / "out");
        r.err = Slurp(s_dir / "err");
        return r;
    }
    static Result Run(const std::vector<std::string>& args, const fs::path& in = {},
                      long fileLimit = -1) {
        return Wait(Spawn(args, in, fileLimit));
    }

    // The minute lines: {"type":"minute","jst":"...","sample":N,...}
    static std::vector<Minute> Minutes(const std::string& out) {
        const std::string head = "{\"type\":\"minute\",\"jst\":\"";
        std::vector<Minute> minutes;
        std::istringstream lines(out);
        for (std::string l; std::getline(lines, l);) {
            if (!l.starts_with(head)) continue;
            const std::size_t end = l.find('"', head.size());
            const std::string jst = l.substr(head.size(), end - head.size());
            const std::string key = ",\"sample\":";
            const std::size_t at = l.find(key, end);
            EXPECT_NE(at, std::string::npos) << l;
            minutes.push_back({jst, std::stod(l.substr(at + key.size()))});
        }
        return minutes;
    }
    static int Count(const std::string& out, const std::string& what) {
        int n = 0;
        for (std::size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
            ++n;
        return n;
    }

    static inline fs::path s_dir;
};

// Every minute the decoder reports is the simulator's, in order, at the
// simulator's sample to within 1 ms; every line is one JSON object.
void ExpectTruth(const std::vector<Minute>& minutes, std::size_t atLeast) {
    ASSERT_GE(minutes.size(), atLeast);
    const char* names[] = {"2027-02-28T23:59:00+09:00", "2027-03-01T00:00:00+09:00",
                           "2027-03-01T00:01:00+09:00"};
    // The first minute reported may be the one before midnight.
    const int first = minutes[0].jst == names[0] ? -1 : 0;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const int m = first + static_cast<int>(i);
        EXPECT_EQ(minutes[i].jst, names[m + 1]);
        EXPECT_NEAR(minutes[i].sample, TruthSample(m), kSampleRate / 1000.0) << minutes[i].jst;
    }
}

TEST_F(HeadlessTest, ARecordingDecodesToTheSimulatorsMinutesInOrder) {
    const Result r = Run({"--headless", "--input", (s_dir / "sim.wav").string(), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectTruth(Minutes(r.out), 2);
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);) {
        EXPECT_TRUE(l.starts_with("{\"type\":\"") && l.ends_with("}")) << l;
    }
    // Status at each change and every 10 s of input: no fewer than one a 10 s.
    EXPECT_GE(Count(r.out, "\"type\":\"status\""), kSeconds / 10);
    EXPECT_EQ(Count(r.out, "\"system_unix\""), 0);  // a file has no system time

    const Result text = Run({"--headless", "--input", (s_dir / "sim.wav").string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("2027-03-01 00:00 JST  at sample"), std::string::npos) << text.out;
    EXPECT_TRUE(text.out.starts_with("state: no_signal (C/N0 --.- dB-Hz")) << text.out;
}

TEST_F(HeadlessTest, RawSamplesOnStandardInputDecodeAsTheFileDoes) {
    const fs::path raw = MakeSim("sim.raw", kSeconds, "1", "96000", "raw");
    const Result r = Run({"--headless", "--input", "-", "--json"}, raw);
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectTruth(Minutes(r.out), 2);
    const Result file = Run({"--headless", "--input", (s_dir / "sim.wav").string(), "--json"});
    EXPECT_EQ(r.out, file.out);

    const Result empty = Run({"--headless", "--input", "-", "--json"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "");
}

// JJY 40 kHz taken at 192 kHz (a file, or raw samples with --rate) gives the
// simulator's minutes, on the base rate's count; every minute line names the
// station, its UTC and its civil time.
TEST_F(HeadlessTest, Jjy40At192kHzDecodesTheSameMinutesFromAFileAndFromRawSamples) {
    const fs::path wav = MakeSim("sim192.wav", kSeconds, "1", "192000", "pcm16");
    const Result r = Run({"--headless", "--station", "jjy40", "--input", wav.string(), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectTruth(Minutes(r.out), 2);
    EXPECT_NE(r.out.find("\"jst\":\"2027-03-01T00:00:00+09:00\",\"station\":\"jjy40\","
                         "\"utc\":\"2027-02-28T15:00:00Z\",\"time\":\"2027-03-01T00:00:00+09:00\""),
              std::string::npos)
        << r.out;

    const fs::path raw = MakeSim("sim192.raw", kSeconds, "1", "192000", "raw");
    const Result piped = Run(
        {"--headless", "--station", "jjy40", "--input", "-", "--rate", "192000", "--json"}, raw);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, r.out);
}

// A station the file's rate cannot carry is refused.
TEST_F(HeadlessTest, OtherStationsNeedTheirRate) {
    const Result low =
        Run({"--headless", "--station", "dcf77", "--input", (s_dir / "sim.wav").string()});
    EXPECT_EQ(low.status, 1);
    EXPECT_NE(low.err.find("sim.wav: dcf77 sends on 77.5 kHz, which 96000 samples per second "
                           "cannot carry"),
              std::string::npos)
        << low.err;

    const Result list = Run({"--list-stations"});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.starts_with("jjy40  40 kHz    JST       96000\n")) << list.out;
    EXPECT_NE(list.out.find("dcf77  77.5 kHz  CET/CEST  192000\n"), std::string::npos);
}

TEST_F(HeadlessTest, BadInputIsRefusedWithOneSentenceAndAFailingStatus) {
    const fs::path wav = s_dir / "sim.wav";
    const std::string whole = Slurp(wav);
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(s_dir / name, std::ios::binary) << bytes;
        return (s_dir / name).string();
    };
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {MakeSim("stereo.wav", 2, "2", "96000", "pcm16").string(), "has 2 channels"},
        {MakeSim("48k.wav", 2, "1", "48000", "pcm16").string(), "sampled at 48000 Hz"},
        {MakeSim("8bit.wav", 2, "1", "96000", "pcm8").string(), "8-bit samples"},
        {write("text.wav", "This is a text file, not a recording.\n"), "not an audio file"},
        {write("empty.wav", ""), "is empty"},
        {write("header.wav", whole.substr(0, 30)), "not an audio file"},
        {(s_dir / "missing.wav").string(), "cannot read"},
    };
    for (const auto& c : cases) {
        const Result r = Run({"--headless", "--input", c.path});
        EXPECT_EQ(r.status, 1) << c.path;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.path << ": " << r.err;
        EXPECT_EQ(Count(r.err, "\n"), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // Cut after 140 s: the minutes in it are decoded, then the cut is reported.
    const std::string cut = write("cut.wav", whole.substr(0, 44 + 2 * 140 * kSampleRate));
    const Result r = Run({"--headless", "--input", cut, "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
    ExpectTruth(Minutes(r.out), 1);
    // Raw input that stops in the middle of a sample.
    const std::string odd = write("odd.raw", std::string(9, '\0'));
    const Result o = Run({"--headless", "--input", "-"}, odd);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("middle of a sample"), std::string::npos) << o.err;
}

// Whether libsndfile reads the file as a WAV whose header matches its size.
long long ValidWavFrames(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) return -1;
    sf_close(f);
    const auto size = static_cast<long long>(fs::file_size(path));
    const bool whole = info.channels == 1 && info.samplerate == kSampleRate &&
                       (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
                       size - 2 * info.frames <= 100;
    return whole ? info.frames : -1;
}

// A recording is judged as the same input live would be: one whose level
// was turned up into clipping, and one of nothing but zeros, are told so in
// the warning lines; the clipped one still decodes.
TEST_F(HeadlessTest, ARecordingThatClipsOrIsSilentIsToldAsLiveInputIs) {
    SF_INFO info{};
    SNDFILE* in = sf_open((s_dir / "sim.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(in, nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    ASSERT_EQ(sf_readf_short(in, samples.data(), info.frames), info.frames);
    sf_close(in);
    const auto write = [&](const std::string& name, double gain) {
        SF_INFO out = info;
        SNDFILE* f = sf_open((s_dir / name).c_str(), SFM_WRITE, &out);
        std::vector<short> scaled(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            scaled[i] = static_cast<short>(std::clamp(gain * samples[i], -32768.0, 32767.0));
        }
        sf_writef_short(f, scaled.data(), info.frames);
        sf_close(f);
        return (s_dir / name).string();
    };
    const Result clipped = Run({"--headless", "--input", write("loud.wav", 6.0), "--json"});
    EXPECT_EQ(clipped.status, 0) << clipped.err;
    EXPECT_EQ(Count(clipped.out, "\"code\":\"clipping\""), 1) << clipped.out;
    EXPECT_GE(Minutes(clipped.out).size(), 1u);
    const Result silent = Run({"--headless", "--input", write("zero.wav", 0.0), "--json"});
    EXPECT_EQ(Count(silent.out, "\"code\":\"silence\""), 1) << silent.out;
    const Result clean = Run({"--headless", "--input", (s_dir / "sim.wav").string(), "--json"});
    EXPECT_EQ(Count(clean.out, "\"type\":\"warning\""), 0) << clean.out;
}

TEST_F(HeadlessTest, SigtermWhileRecordingLiveLeavesAValidWavAndExitsZero) {
    // The simulator, chosen by the name the device list gives it (it sends at 192 kHz too).
    const Result list = Run({"--list-devices"});
    EXPECT_EQ(list.status, 0);
    const std::string name = "JJY シミュレーター (内蔵)";
    EXPECT_NE(list.out.find(name + "\t192 kHz\n"), std::string::npos) << list.out;
    const Result unknown = Run({"--headless", "--device", "No Such Card"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no capture device named \"No Such Card\""), std::string::npos);

    // By a part of its name that no other device's has.
    const fs::path wav = s_dir / "live.wav";
    const pid_t pid =
        Spawn({"--headless", "--device", "シミュレーター", "--json", "--record", wav.string()}, {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!fs::exists(wav) || fs::file_size(wav) < 2 * kSampleRate) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGTERM);
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 0) << r.err;
    const long long frames = ValidWavFrames(wav);
    EXPECT_GE(frames, kSampleRate);
    EXPECT_EQ(frames % velto::kBufferSamples, 0);  // whole capture buffers
}

TEST_F(HeadlessTest, AFullDiskStopsTheRecordingWithAWarningWhileDecodingGoesOn) {
    const fs::path wav = s_dir / "full.wav";
    constexpr long kLimit = 1 << 20;
    const Result r = Run(
        {"--headless", "--input", (s_dir / "sim.wav").string(), "--json", "--record", wav.string()},
        {}, kLimit);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"code\":\"recording-stopped\""), 1) << r.out;
    ExpectTruth(Minutes(r.out), 2);
    const long long frames = ValidWavFrames(wav);
    EXPECT_GT(frames, 0);
    EXPECT_LE(2 * frames, kLimit);
}

// Whether every byte of text is part of well-formed UTF-8.
bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80                    ? 1
                              : lead >= 0xC2 && lead <= 0xDF ? 2
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                             : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

TEST_F(HeadlessTest, TheCommandLineIsCheckedBeforeAnythingOpens) {
    const Result typo = Run({"--simulat"});  // the window's mode: no display needed to refuse
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.err, "velto: unknown option --simulat. Try velto --help.\n");
    EXPECT_EQ(Run({"--headless", "stray"}).status, 2);
    const Result window = Run({"--simulate"});
    EXPECT_EQ(window.status, 1);
    EXPECT_NE(window.err.find("no display"), std::string::npos) << window.err;
    EXPECT_NE(window.err.find("velto --headless"), std::string::npos) << window.err;
    const Result help = Run({"--headless", "--input", "--help"});
    EXPECT_EQ(help.status, 1);
    EXPECT_EQ(help.out, "");
    EXPECT_NE(help.err.find("cannot read --help"), std::string::npos) << help.err;
}

// The reader of a pipe may stop early (head -1): Velto then ends quietly
// with status 0, live or decoding a file, rather than writing into nothing.
TEST_F(HeadlessTest, AClosedStandardOutputEndsTheRunQuietly) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--headless", "--simulate", "--json"},
          std::vector<std::string>{"--headless", "--input", (s_dir / "sim.wav").string(),
                                   "--json"}}) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(out[0]);
            ::dup2(out[1], 1);
            ::dup2(::open((s_dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            std::vector<char*> argv{const_cast<char*>(VELTO_EXE)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VELTO_EXE, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
        }
        ::close(out[0]);  // head -1 has its line
        int raw = 0;
        pid_t done = 0;
        for (int i = 0; i < 600 && (done = ::waitpid(pid, &raw, WNOHANG)) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (done == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            ADD_FAILURE() << args[2] << ": still running a minute after its reader went";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << args[2] << ": " << raw;
        EXPECT_EQ(Slurp(s_dir / "err"), "") << args[2];
    }
}

// The target is opened once the input is known good; it is never the input
// (by any name), an existing file is kept without --force, and a recording
// that fails before its first sample leaves no file.
TEST_F(HeadlessTest, TheRecordingsTargetNeverCostsAFile) {
    const fs::path sim = s_dir / "sim.wav";
    const auto size = fs::file_size(sim);
    fs::create_hard_link(sim, s_dir / "link.wav");
    for (const char* target : {"sim.wav", "link.wav"}) {
        const Result r = Run({"--headless", "--input", sim.string(), "--record",
                              (s_dir / target).string(), "--force"});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find("is the input itself"), std::string::npos) << r.err;
        EXPECT_EQ(fs::file_size(sim), size);
    }
    const fs::path keep = s_dir / "keep.wav";
    std::ofstream(keep) << "precious";
    const Result missing = Run({"--headless", "--input", (s_dir / "missing.wav").string(),
                                "--record", keep.string(), "--force"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
    EXPECT_EQ(Slurp(keep), "precious");
    EXPECT_FALSE(fs::exists(s_dir / "never.wav"));
    Run({"--headless", "--input", (s_dir / "missing.wav").string(), "--record",
         (s_dir / "never.wav").string()});
    EXPECT_FALSE(fs::exists(s_dir / "never.wav"));

    const Result kept = Run({"--headless", "--input", sim.string(), "--record", keep.string()});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("exists already"), std::string::npos) << kept.err;
    EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
    EXPECT_EQ(Slurp(keep), "precious");
    const Result forced =
        Run({"--headless", "--input", sim.string(), "--record", keep.string(), "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(ValidWavFrames(keep), kSeconds * kSampleRate);

    // Files may not grow past 8 KiB, room for the printed lines but not for
    // the recording's first buffer: the warning names the file (in an
    // encoding of its own, written out byte by byte) and no file is left.
    const fs::path full = s_dir / "\xff\xfe full.wav";
    const Result r =
        Run({"--headless", "--input", sim.string(), "--json", "--record", full.string()}, {}, 8192);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"code\":\"recording-stopped\""), 1) << r.out;
    EXPECT_NE(r.out.find("\\\\xff\\\\xfe full.wav"), std::string::npos) << r.out;
    EXPECT_TRUE(ValidUtf8(r.out));
    EXPECT_FALSE(fs::exists(full));
    ExpectTruth(Minutes(r.out), 2);
}

// A FIFO that nobody writes to yet holds the open; SIGTERM ends the wait
// as it ends any run, with status 0 and nothing to report.
TEST_F(HeadlessTest, AStopWhileAFifoWaitsForItsWriterIsNoFailure) {
    const fs::path fifo = s_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = Spawn({"--headless", "--input", fifo.string()}, {});
    // Wait until SIGTERM is caught and the process sits in open() (openat,
    // 257) for a while, as it does only on the FIFO.
    const auto inOpen = [pid] {
        std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
        std::string number;
        syscall >> number;
        return number == "257";
    };
    const auto caught = [pid] {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("SigCgt:")) {
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
            }
        }
        return false;
    };
    int steady = 0;
    for (int i = 0; i < 600 && steady < 5; ++i) {
        steady = caught() && inOpen() ? steady + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(steady, 5) << "never waited in open()";
    ::kill(pid, SIGTERM);
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

// A sound file's stream on standard input is read as the file is; one that
// Velto cannot use is refused in a sentence, not decoded as raw samples.
TEST_F(HeadlessTest, ASoundFileOnStandardInputIsReadThroughItsHeader) {
    const std::string exe = VELTO_EXE;
    const auto piped = [&](const fs::path& in, const std::string& args) {
        const std::string command = "cat '" + in.string() + "' | '" + exe + "' " + args + " >'" +
                                    (s_dir / "out").string() + "' 2>'" + (s_dir / "err").string() +
                                    "'";
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(s_dir / "out");
        r.err = Slurp(s_dir / "err");
        return r;
    };
    const Result wav = piped(s_dir / "sim.wav", "--headless --input - --json");
    EXPECT_EQ(wav.status, 0) << wav.err;
    ExpectTruth(Minutes(wav.out), 2);
    const Result file = Run({"--headless", "--input", (s_dir / "sim.wav").string(), "--json"});
    EXPECT_EQ(wav.out, file.out);

    const Result stereo =
        piped(MakeSim("stereo-in.wav", 2, "2", "96000", "pcm16"), "--headless --input -");
    EXPECT_EQ(stereo.status, 1);
    EXPECT_EQ(stereo.err,
              "velto: standard input (WAV) has 2 channels; Velto needs a mono recording.\n");
    std::ofstream(s_dir / "wv.bin") << "wvpk" << std::string(4000, '\0');
    const Result wv = piped(s_dir / "wv.bin", "--headless --input -");
    EXPECT_EQ(wv.status, 1);
    EXPECT_NE(wv.err.find("standard input (WavPack) carries a header that Velto cannot read"),
              std::string::npos)
        << wv.err;
    EXPECT_EQ(wv.out, "");
}

// The simulator's noise (sigma 800 over 0..48 kHz) per hertz, in dB
// relative to a full-scale sine, as the band's noise floor reads it.
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

std::vector<std::string> Lines(const std::string& text, const std::string& head) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (l.starts_with(head)) lines.push_back(l);
    }
    return lines;
}

// A tuner on SSH reads the noise floor and the carriers beside the station
// from the status lines: a steady carrier 123.4 Hz up at -20 dB is found
// once the station's line and 30 s of frames are in, never before 20 s.
TEST_F(HeadlessTest, JsonStatusLinesCarryTheNoiseFloorAndTheSteadyCarriers) {
    const fs::path wav = MakeSim("interferer.wav", 90, "1", "96000", "pcm16", "40123.4 800");
    const Result r = Run({"--headless", "--input", wav.string(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
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

    // Text lines stay as they were, and without the fields nothing measures the band.
    const Result text = Run({"--headless", "--input", wav.string()});
    EXPECT_EQ(text.out.find("noise"), std::string::npos) << text.out;
}

// A recording's band as a picture: the program's width, a waterfall row a
// second, the carrier standing at 40 kHz in the spectrum and the waterfall.
TEST_F(HeadlessTest, SpectrumWritesTheRecordingsBandAsAPngWithTheCarrierVisible) {
    const fs::path png = s_dir / "band.png";
    const fs::path shortWav = MakeSim("short.wav", 100, "1", "96000", "pcm16");
    const Result r =
        Run({"--headless", "--input", (s_dir / "sim.wav").string(), "--spectrum", png.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("velto:"), std::string::npos) << r.err;
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), spectrumpng::kWidth);
    const fs::path shortPng = s_dir / "short.png";
    ASSERT_EQ(
        Run({"--headless", "--input", shortWav.string(), "--spectrum", shortPng.string()}).status,
        0);
    EXPECT_EQ(image.height() - QImage(QString::fromStdString(shortPng.string())).height(),
              kSeconds - 100);

    // Where the parts lie does not depend on what was fed.
    const velto::CSpectrumAnalyser layout(velto::SpectrumOptions{});
    const QRect band = spectrumpng::BandRect();
    const auto x = spectrumplot::BandFrequencies(layout, band);
    auto top = [&](double hz) {
        const int column = static_cast<int>(std::lround(x.ToPixel(hz)));
        for (int y = band.top(); y <= band.bottom(); ++y) {
            if (image.pixelColor(column, y) == spectrumplot::AverageTrace()) return y;
        }
        return band.bottom() + 1;
    };
    EXPECT_LT(top(40000.0), top(20000.0) - band.height() / 3);
    const QRect wide = spectrumpng::WideRect(layout);
    const auto wx = spectrumplot::WaterfallOffsets(layout.Wide(), wide);
    const QColor centre = image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + 5);
    const QColor aside = image.pixelColor(static_cast<int>(wx.ToPixel(-250.0)), wide.top() + 5);
    EXPECT_GT(centre.red(), 200) << centre.name().toStdString();
    EXPECT_LT(aside.red(), 60) << aside.name().toStdString();

    // A file that cannot be written is told.
    const Result denied = Run({"--headless", "--input", shortWav.string(), "--spectrum",
                               (s_dir / "no-such-dir" / "x.png").string()});
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.err.find("velto: Cannot write the spectrum image"), std::string::npos)
        << denied.err;
}

// The log's lines, as the file holds them.
std::vector<velto::ReceptionRecord> LogRecords(const std::string& text) {
    std::vector<velto::ReceptionRecord> records;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (const auto r = velto::receptionlog::ParseLine(l)) records.push_back(*r);
    }
    return records;
}

// Two recordings in a row, the first across midnight JST, the second
// following on as after a restart: a line a minute from each one's first
// decoded minute, decoded exactly where the console printed the minute, the
// first run's lines kept as they were.
TEST_F(HeadlessTest, TheLogAgreesWithTheDecodedMinutesAcrossMidnightJstAndARestart) {
    const fs::path log = s_dir / "log";
    const fs::path second =
        MakeSim("next.wav", 260, "1", "96000", "pcm16", "", kStartUnix + 200, kOffset + 4321);
    const Result a = Run(
        {"--headless", "--input", (s_dir / "sim.wav").string(), "--json", "--log", log.string()});
    ASSERT_EQ(a.status, 0) << a.err;
    const fs::path file =
        log / velto::receptionlog::FileName(velto::receptionlog::DayOf(kStartUnix));
    const std::string first = Slurp(file);
    const Result b = Run({"--headless", "--input", second.string(), "--json", "--log", log.string(),
                          "--log-days", "0"});
    ASSERT_EQ(b.status, 0) << b.err;
    const std::string both = Slurp(file);
    EXPECT_TRUE(both.starts_with(first));
    EXPECT_TRUE(both.starts_with(velto::receptionlog::HeaderLine() + "\n"));
    EXPECT_EQ(Count(both, "utc,"), 1) << both;

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
    const auto records = LogRecords(both);
    ASSERT_GE(records.size(), 5U);
    EXPECT_EQ(records.front().minuteUtc, decoded.front()) << "from the first decoded minute";
    int lines = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        if (i > 0) {
            EXPECT_GT(r.minuteUtc, records[i - 1].minuteUtc) << "each minute once, in order";
        }
        const bool wasDecoded =
            std::find(decoded.begin(), decoded.end(), r.minuteUtc) != decoded.end();
        EXPECT_EQ(r.decoded, wasDecoded) << velto::receptionlog::FormatLine(r);
        if (r.decoded) {
            EXPECT_EQ(r.state, velto::ReceptionState::TimeValid);
            EXPECT_NEAR(*r.noiseDb, SimNoiseDb(), 1.0);
            EXPECT_FALSE(r.clockOffsetSeconds) << "a recording says nothing of the system clock";
        }
        lines += r.decoded ? 1 : 0;
    }
    EXPECT_EQ(lines, static_cast<int>(decoded.size())) << both;
    // Midnight JST lies within, written as such.
    EXPECT_NE(both.find(",2027-03-01T00:00+09:00,time_valid,"), std::string::npos) << both;
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    static fs::path MakeSim(const std::string& name, long long seconds, const std::string& ch,
                            const std::string& rate, const std::string& format) {
        const fs::path path = s_dir / name;
        const std::string command = std::string(VELTO_SIM_WAV) + " " + path.string() + " " +
                                    std::to_string(kStartUnix) + " " + std::to_string(seconds) +
                                    " " + std::to_string(kOffset) + " 800 " + ch + " " + rate +
                                    " " + format;
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
            ::unsetenv("DISPLAY");
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
            const std::string key = "\",\"sample\":";
            EXPECT_EQ(l.compare(end, key.size(), key), 0) << l;
            minutes.push_back({jst, std::stod(l.substr(end + key.size()))});
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

TEST_F(HeadlessTest, SigtermWhileRecordingLiveLeavesAValidWavAndExitsZero) {
    // The simulator, chosen by the name the device list gives it.
    const Result list = Run({"--list-devices"});
    EXPECT_EQ(list.status, 0);
    const std::string name = "JJY シミュレーター (内蔵)";
    EXPECT_NE(list.out.find(name + "\n"), std::string::npos) << list.out;
    const Result unknown = Run({"--headless", "--device", "No Such Card"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no capture device named \"No Such Card\""), std::string::npos);

    const fs::path wav = s_dir / "live.wav";
    const pid_t pid =
        Spawn({"--headless", "--device", name, "--json", "--record", wav.string()}, {});
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

}  // namespace

// How weak a signal the time-code decoder still reads, and that it never
// reads a wrong time: simulated reception at several C/N0 under steady,
// sinusoidally fading and randomly fading (with lightning) conditions, and
// a day of noise alone, for one station (--station, JJY 40 kHz by default)
// at its rate. Prints a table and writes a plot with gnuplot.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "simulator/StationSignal.h"
#include "station/FrameEncoder.h"
#include "station/Station.h"
#include "timecode/Decoder.h"

namespace {

using namespace velto;

constexpr double kNoiseSigma = 2000.0;  // the carrier is scaled to the C/N0 under test
constexpr double kNoWrong = 1e9;
constexpr double kRightMs = 2.0;  // an on-time point this close is right
constexpr double kOffMs = 5.0;    // a minute this far off counts as wrong

enum class Condition { Steady, Sinusoidal, Rician };
const char* Name(Condition c) {
    switch (c) {
        case Condition::Steady:
            return "steady";
        case Condition::Sinusoidal:
            return "fading +-60 %";
        case Condition::Rician:
            return "Rician K=2 + crashes";
    }
    return "";
}

struct RunResult {
    double firstCorrect = -1.0;  // seconds of input until the first correct time
    int laterMinutes = 0, decodedMinutes = 0, wrongMinutes = 0, wrongSeconds = 0;
    int minutesReported = 0, validSeconds = 0;
    double sumSquareMs = 0.0;
    int onTimeCount = 0;
    // Where the time went (seconds of input, -1: never), and how the
    // seconds were judged against the truth.
    double secondLock = -1.0, minuteLock = -1.0;
    int symbols = 0, symbolErrors = 0, erasures = 0;
    double sumQuality = 0.0;  // the decoder's own probability of its choice
    // The largest margin with which a wrong candidate led an evaluation (the
    // smaller of its time's and its date's, as both must reach the threshold;
    // negative: the other candidates together outweighed it), and how many
    // evaluations there were.
    double closestWrong = -kNoWrong;
    int evaluations = 0;
    // For the robustness rows: where the input was spliced (input index; a
    // huge value: never), seconds from there until a right time again (a
    // second after it, confirmed by the signal, within kRightMs), and of the
    // minutes the splice came in or after (all without a splice) the worst
    // on-time error and those wrong or more than kOffMs off.
    double spliceSample = -1e18;
    double rightAgain = -1.0;
    double worstMinuteMs = 0.0;
    int offMinutes = 0;
};

// Checks every report against the simulator's truth as it comes.
struct Judge : IDecoderSink {
    std::int64_t start;
    const CStationSignal* signal = nullptr;
    bool noiseAlone = false;
    std::int64_t fed = 0;  // input samples fed so far
    RunResult r;
    double firstSample = -1.0;
    std::vector<std::int64_t> goodMinuteStarts;

    // The station second an on-time point belongs to (the nearest), and how
    // far from its true on-time point it lies, in ms.
    std::int64_t TruthSecond(double onTime) const {
        return std::llround((signal->UnsplicedSample(onTime) - signal->OnTimeSample(0)) /
                            signal->SamplesPerSecond());
    }
    double Rate() const { return signal->SampleRate(); }
    double ErrorMs(double onTime) const {
        return (onTime - signal->OnTimeSample(TruthSecond(onTime))) / (Rate() / 1000.0);
    }
    void OnSecond(const DecoderSecond& s) override {
        CountSymbol(s);
        if (!s.timeValid) return;
        ++r.validSeconds;
        const std::int64_t k = TruthSecond(s.onTimeSample);
        const double err = ErrorMs(s.onTimeSample);
        if (s.utcUnix != start + k) {
            ++r.wrongSeconds;
            return;
        }
        if (r.spliceSample >= 0.0 && s.onTimeSample > r.spliceSample && !s.flywheel &&
            std::abs(err) <= kRightMs && r.rightAgain < 0.0) {
            r.rightAgain = (double(fed) - r.spliceSample) / Rate();
        }
        if (r.firstCorrect < 0.0) {
            r.firstCorrect = double(fed) / Rate();
            firstSample = double(fed);
        }
        r.sumSquareMs += err * err;
        ++r.onTimeCount;
    }
    void OnMinute(const DecoderMinute& m) override {
        ++r.minutesReported;
        const std::int64_t k = TruthSecond(m.onTimeSample);
        const double err = std::abs(ErrorMs(m.onTimeSample));
        if (m.onTimeSample > r.spliceSample - 60.0 * Rate()) {
            // A minute the splice came in or after.
            r.worstMinuteMs = std::max(r.worstMinuteMs, m.utcUnix == start + k ? err : 1000.0);
            if (m.utcUnix != start + k || err > kOffMs) ++r.offMinutes;
        }
        if (m.utcUnix != start + k) {
            ++r.wrongMinutes;
        } else if (!m.flywheel) {
            goodMinuteStarts.push_back(m.utcUnix);
        }
    }
    void OnStatus(const DecoderStatus& st) override {
        const double t = double(fed) / Rate();
        if (st.state != ReceptionState::NoSignal && r.secondLock < 0.0) r.secondLock = t;
        if (st.state != ReceptionState::NoSignal && st.state != ReceptionState::SecondLocked &&
            r.minuteLock < 0.0)
            r.minuteLock = t;
    }
    void OnEvaluation(const DecoderEvaluation& e) override {
        ++r.evaluations;
        // Under noise alone every candidate is wrong.
        if (!noiseAlone && e.utcUnix == start + TruthSecond(e.onTimeSample)) return;
        r.closestWrong = std::max(r.closestWrong, std::min(e.marginTime, e.marginDate));
    }
    void CountSymbol(const DecoderSecond& s) {
        const std::int64_t unix = start + TruthSecond(s.onTimeSample);
        const std::int64_t minute = unix - ((unix % 60) + 60) % 60;
        const int second = static_cast<int>(unix - minute);
        const Frame frame = EncodeFrame(signal->GetStationSent(), minute);
        // JJY's call sign and service bits are no time code.
        if (frame.callSign && second >= 40 && second <= 55) return;
        if (s.symbol == TimeSymbol::Erasure) {
            ++r.erasures;
            return;
        }
        const Symbol truth = frame.symbols[second];
        const TimeSymbol expected = truth == Symbol::Zero  ? TimeSymbol::Zero
                                    : truth == Symbol::One ? TimeSymbol::One
                                                           : TimeSymbol::Marker;
        ++r.symbols;
        r.sumQuality += s.quality;
        if (s.symbol != expected) ++r.symbolErrors;
    }
};

StationSignalOptions Options(const Station& station, int rate, Condition c, double cn0,
                             double fadingPeriod, std::uint64_t seed) {
    StationSignalOptions o;
    o.station = station.id;
    o.sampleRate = rate;
    o.carrierAmplitude = kNoiseSigma * std::sqrt(4.0 * std::pow(10.0, cn0 / 10.0) / rate);
    o.cn0DbHz = cn0;
    o.fastNoise = true;
    o.callSignMinutes = true;
    o.seed = seed;
    if (c == Condition::Sinusoidal) {
        o.fadingDepth = 0.6;
        o.fadingPeriodSeconds = fadingPeriod;
    } else if (c == Condition::Rician) {
        o.ricianK = 2.0;
        o.ricianBandwidthHz = 0.05;
        o.impulseRate = 0.5;
        o.impulseAmplitude = 20000.0;
    }
    return o;
}

RunResult RunOne(const StationSignalOptions& base, std::int64_t start, double minutes) {
    StationSignalOptions o = base;
    CStationSignal signal(start, o);
    Judge judge;
    judge.start = start;
    judge.signal = &signal;
    judge.noiseAlone = o.carrierAmplitude == 0.0;
    if (o.spliceAt >= 0) judge.r.spliceSample = double(o.spliceAt);
    CDecoder decoder(judge, signal.GetStationSent(), signal.SampleRate());
    const int rate = signal.SampleRate();
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(rate / 10));  // 100 ms
    const auto buffers = static_cast<std::int64_t>(minutes * 600.0);
    for (std::int64_t b = 0; b < buffers; ++b) {
        signal.Generate(buffer.data(), buffer.size());
        decoder.Feed(judge.fed, buffer.data(), buffer.size());
        judge.fed += static_cast<std::int64_t>(buffer.size());
    }
    RunResult r = judge.r;
    if (r.firstCorrect >= 0.0) {
        // Minutes that began after the first correct time and ended at least
        // 5 s before the input did (the decoder reports a minute ~3 s after it).
        const double endSample = double(judge.fed) - 5.0 * rate;
        for (std::int64_t k = 0;; ++k) {
            const double on = signal.OnTimeSample(k);
            if (on + 60.0 * signal.SamplesPerSecond() > endSample) break;
            if ((start + k) % 60 != 0 || on <= judge.firstSample) continue;
            ++r.laterMinutes;
            if (std::find(judge.goodMinuteStarts.begin(), judge.goodMinuteStarts.end(),
                          start + k) != judge.goodMinuteStarts.end()) {
                ++r.decodedMinutes;
            }
        }
    }
    return r;
}

// The value that `share` of the runs reached (a run without any counts as
// later than all), or a negative number when fewer did.
double Quantile(const std::vector<double>& sorted, int runs, double share) {
    const auto k = static_cast<std::size_t>(std::ceil(share * runs));
    return k >= 1 && k <= sorted.size() ? sorted[k - 1] : -1.0;
}

std::string Seconds(double s) { return s < 0.0 ? "none" : std::to_string(std::lround(s)); }

std::string Nats(double closest) {
    if (closest <= -kNoWrong) return "none";
    char text[32];
    // Rounded first, so that a margin just below zero does not read -0.0.
    std::snprintf(text, sizeof text, "%.1f", std::round(closest * 10.0) / 10.0 + 0.0);
    return text;
}

// The robustness rows: a splice nobody reports (samples dropped or silence
// put in) of `ms` at `cn0`, or a steady carrier `offsetHz` from JJY at
// `share` of JJY's full carrier, at 30 dB-Hz.
struct RobustRow {
    bool splice;
    double ms, cn0, offsetHz, share;
};
std::vector<RobustRow> RobustRows() {
    std::vector<RobustRow> rows;
    for (double ms : {1.0, 10.0, 100.0, 350.0, 900.0}) {
        for (double cn0 : {30.0, 20.0}) rows.push_back({true, ms, cn0, 0.0, 0.0});
    }
    for (double hz : {3.0, -3.0, 8.0, -8.0}) {
        for (double share : {0.5, 1.0, 2.0}) rows.push_back({false, 0.0, 30.0, hz, share});
    }
    return rows;
}
constexpr int kRobustCell = 100;  // cell numbers of the robustness rows start here

struct Args {
    int runs = 20;
    int robustRuns = 10;
    bool robustOnly = false;
    std::string robustRows;  // robustness rows to run, by number from 0, e.g. "7,9"; all if empty
    double minutes = 20.0;
    double noiseHours = 24.0;
    double fadingPeriod = 30.0;  // seconds, of the sinusoidal fading
    int threads = 2;
    std::string plot = "bench/sensitivity.png";
    std::string only;  // "condition:C/N0" cells to run, e.g. "2:30,1:20" (0 steady, 1 fading)
    const Station* station = &GetStation(StationId::Jjy40);
    int rate = 0;  // the station's own
    bool verbose = false;
    // Every run's sound-card clock this far off (ppm), in place of the drawn
    // offset; the draw still happens, so the runs keep their seeds.
    std::optional<double> ppm;
};

}  // namespace

int main(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        auto next = [&](const char* what) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (!std::strcmp(argv[i], "--runs"))
            a.runs = std::atoi(next("--runs"));
        else if (!std::strcmp(argv[i], "--minutes"))
            a.minutes = std::atof(next("--minutes"));
        else if (!std::strcmp(argv[i], "--noise-hours"))
            a.noiseHours = std::atof(next("--noise-hours"));
        else if (!std::strcmp(argv[i], "--fading-period"))
            a.fadingPeriod = std::atof(next("--fading-period"));
        else if (!std::strcmp(argv[i], "--threads"))
            a.threads = std::atoi(next("--threads"));
        else if (!std::strcmp(argv[i], "--plot"))
            a.plot = next("--plot");
        else if (!std::strcmp(argv[i], "--only"))
            a.only = next("--only");
        else if (!std::strcmp(argv[i], "--verbose"))
            a.verbose = true;
        else if (!std::strcmp(argv[i], "--robust-runs"))
            a.robustRuns = std::atoi(next("--robust-runs"));
        else if (!std::strcmp(argv[i], "--robust-only"))
            a.robustOnly = true;
        else if (!std::strcmp(argv[i], "--robust-rows"))
            a.robustRows = next("--robust-rows");
        else if (!std::strcmp(argv[i], "--station")) {
            const char* name = next("--station");
            a.station = FindStation(name);
            if (a.station == nullptr) {
                std::fprintf(stderr, "unknown station: %s\n", name);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--rate")) {
            a.rate = std::atoi(next("--rate"));
        } else if (!std::strcmp(argv[i], "--ppm")) {
            a.ppm = std::atof(next("--ppm"));
        } else {
            std::fprintf(stderr,
                         "usage: velto_sensitivity [--runs N] [--minutes M] [--noise-hours H] "
                         "[--threads T] [--fading-period S] [--plot FILE.png] [--only C:CN0,...] "
                         "[--verbose] [--robust-runs N] [--robust-only] [--robust-rows R,...] "
                         "[--station NAME] [--rate R] [--ppm P]\n");
            return 2;
        }
    }
    if (a.runs < 1 || a.minutes <= 0.0 || a.threads < 1 || !(a.fadingPeriod > 0.0) ||
        a.robustRuns < 0) {
        std::fprintf(stderr, "runs, minutes, threads and the fading period must be positive\n");
        return 2;
    }

    const int rate = a.rate > 0 ? a.rate : a.station->sampleRate;
    if (!CDecoder::Reads(*a.station, rate)) {
        std::fprintf(stderr, "the decoder does not read %s at %d samples/s\n",
                     std::string(a.station->name).c_str(), rate);
        return 2;
    }
    const double cn0s[] = {35, 30, 25, 20, 15, 12};
    const Condition conditions[] = {Condition::Steady, Condition::Sinusoidal, Condition::Rician};
    struct Job {
        int cell;
        StationSignalOptions options;
        std::int64_t start;
        double minutes;
    };
    std::vector<Job> jobs;
    std::mt19937_64 rng(20260101);
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 6; ++i) {
            for (int run = 0; run < a.runs; ++run) {
                StationSignalOptions o =
                    Options(*a.station, rate, conditions[c], cn0s[i], a.fadingPeriod, rng());
                // Somewhere in 2026, part-way into a second, on a sound card
                // whose clock is up to 150 ppm off.
                const std::int64_t start = 1767225600 + std::int64_t(rng() % (365 * 86400));
                o.startOffsetSamples = std::int64_t(rng() % std::uint64_t(rate));
                o.clockPpm = double(std::int64_t(rng() % 301) - 150);
                if (a.ppm) o.clockPpm = *a.ppm;
                const std::string cell = std::to_string(c) + ":" + std::to_string(int(cn0s[i]));
                if (a.robustOnly ||
                    (!a.only.empty() &&
                     ("," + a.only + ",").find("," + cell + ",") == std::string::npos))
                    continue;
                jobs.push_back({c * 6 + i, o, start, a.minutes});
            }
        }
    }
    // A day of noise alone, with crashes and hum, split over the threads.
    const int noiseParts = std::max(1, a.threads);
    for (int p = 0; p < noiseParts && a.noiseHours > 0.0 && !a.robustOnly; ++p) {
        StationSignalOptions o;
        o.station = a.station->id;
        o.sampleRate = rate;
        o.carrierAmplitude = 0.0;
        o.noiseSigma = kNoiseSigma;
        o.fastNoise = true;
        o.impulseRate = 0.5;
        o.humAmplitude = 3000.0;
        o.seed = rng();
        jobs.push_back(
            {-1, o, 1767225600 + std::int64_t(p) * 86400, a.noiseHours * 60.0 / noiseParts});
    }

    // The robustness rows, from a generator of their own so that the table's
    // runs stay what they were. A splice comes 300..360 s into a 12-minute
    // run, at any point of a second; even runs drop samples, odd ones put
    // silence in.
    const std::vector<RobustRow> robust = RobustRows();
    std::mt19937_64 robustRng(20260401);
    for (std::size_t row = 0; row < robust.size(); ++row) {
        const RobustRow& w = robust[row];
        for (int run = 0; run < a.robustRuns; ++run) {
            StationSignalOptions o =
                Options(*a.station, rate, Condition::Steady, w.cn0, a.fadingPeriod, robustRng());
            const std::int64_t start = 1767225600 + std::int64_t(robustRng() % (365 * 86400));
            o.startOffsetSamples = std::int64_t(robustRng() % std::uint64_t(rate));
            o.clockPpm = double(std::int64_t(robustRng() % 301) - 150);
            if (a.ppm) o.clockPpm = *a.ppm;
            double minutes = 10.0;
            if (w.splice) {
                o.spliceAt = std::int64_t(300 + robustRng() % 60) * rate +
                             std::int64_t(robustRng() % std::uint64_t(rate));
                o.spliceSamples = std::llround(w.ms * rate / 1000.0) * (run % 2 == 0 ? 1 : -1);
                minutes = 12.0;
            } else {
                o.steadyCarrierOffsetHz = w.offsetHz;
                o.steadyCarrierAmplitude = w.share * o.carrierAmplitude;
            }
            // A row left out still draws its numbers: the others keep their seeds.
            if (!a.robustRows.empty() &&
                ("," + a.robustRows + ",").find("," + std::to_string(row) + ",") ==
                    std::string::npos)
                continue;
            jobs.push_back({kRobustCell + int(row), o, start, minutes});
        }
    }

    std::vector<RunResult> results(jobs.size());
    std::atomic<std::size_t> nextJob{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < a.threads; ++t) {
        pool.emplace_back([&] {
            for (std::size_t j; (j = nextJob++) < jobs.size();) {
                results[j] = RunOne(jobs[j].options, jobs[j].start, jobs[j].minutes);
            }
        });
    }
    for (auto& t : pool) t.join();
    if (a.verbose) {
        std::printf(
            "cell run: second lock, minute lock, first correct (s); symbol errors, "
            "erasures, expected errors; later minutes decoded, closest wrong (nats); the run's "
            "signal\n");
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            const RunResult& r = results[j];
            if (jobs[j].cell < 0 || jobs[j].cell >= kRobustCell) continue;
            const StationSignalOptions& o = jobs[j].options;
            std::printf(
                "%s %.0f: %6.0f %6.0f %6.0f  %5.2f %% %5.2f %% %5.2f %%  %d/%d %s  (seed %llu "
                "start %lld offset %lld ppm %.0f)\n",
                Name(conditions[jobs[j].cell / 6]), cn0s[jobs[j].cell % 6], r.secondLock,
                r.minuteLock, r.firstCorrect, 100.0 * r.symbolErrors / std::max(r.symbols, 1),
                100.0 * r.erasures / std::max(r.symbols + r.erasures, 1),
                100.0 * (1.0 - r.sumQuality / std::max(r.symbols, 1)), r.decodedMinutes,
                r.laterMinutes, Nats(r.closestWrong).c_str(), (unsigned long long)o.seed,
                (long long)jobs[j].start, (long long)o.startOffsetSamples, o.clockPpm);
        }
    }

    std::printf(
        "Time-code decoder, %s at %d samples/s, simulated reception: %d run(s) of %.0f min "
        "per cell, random start time, start phase and clock offset (%s)\n\n",
        std::string(a.station->title).c_str(), rate, a.runs, a.minutes,
        a.ppm ? (std::to_string(std::lround(*a.ppm)) + " ppm").c_str() : "+-150 ppm");
    std::printf(
        "| condition | C/N0 dB-Hz | first correct time, s (median / 90 %% / worst) | "
        "later minutes decoded | wrong minutes | closest wrong, nats | on-time RMS, ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    FILE* data = std::fopen("sensitivity.dat", "w");
    bool goalsMet = true;
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 6; ++i) {
            std::vector<double> firsts;
            int runs = 0, later = 0, decoded = 0, wrong = 0, onCount = 0;
            double sumSq = 0.0, closest = -kNoWrong;
            for (std::size_t j = 0; j < jobs.size(); ++j) {
                if (jobs[j].cell != c * 6 + i) continue;
                const RunResult& r = results[j];
                ++runs;
                if (r.firstCorrect >= 0.0) firsts.push_back(r.firstCorrect);
                closest = std::max(closest, r.closestWrong);
                later += r.laterMinutes;
                decoded += r.decodedMinutes;
                wrong += r.wrongMinutes + r.wrongSeconds;
                sumSq += r.sumSquareMs;
                onCount += r.onTimeCount;
            }
            std::sort(firsts.begin(), firsts.end());
            if (runs == 0) continue;
            const double median = Quantile(firsts, runs, 0.5);
            const double ninety = Quantile(firsts, runs, 0.9);
            const double worst = Quantile(firsts, runs, 1.0);
            const std::string first =
                firsts.empty() ? "none in " + std::to_string(std::lround(a.minutes)) + " min"
                               : Seconds(median) + " / " + Seconds(ninety) + " / " + Seconds(worst);
            const double rms = onCount > 0 ? std::sqrt(sumSq / onCount) : NAN;
            std::printf("| %s | %.0f | %s | %d/%d (%.0f %%) | %d | %s | %.3f |\n",
                        Name(conditions[c]), cn0s[i], first.c_str(), decoded, later,
                        later ? 100.0 * decoded / later : 0.0, wrong, Nats(closest).c_str(), rms);
            if (data) {
                std::fprintf(data, "%d %.0f %.1f %.1f %.1f\n", c, cn0s[i],
                             median < 0 ? NAN : median, ninety < 0 ? NAN : ninety,
                             later ? 100.0 * decoded / later : NAN);
            }
            const double limit = cn0s[i] >= 30   ? 180
                                 : cn0s[i] >= 20 ? 300
                                 : cn0s[i] >= 15 ? 600
                                                 : 1e18;
            // No goal for the first time below 15 dB-Hz; nothing wrong anywhere.
            const bool late = limit < 1e18 && (worst < 0.0 || worst > limit);
            if (wrong > 0 || late || (cn0s[i] >= 25 && !(rms <= 1.0))) goalsMet = false;
        }
        if (data) std::fprintf(data, "\n\n");
    }
    if (data) std::fclose(data);
    int noiseMinutes = 0, noiseSeconds = 0, noiseEvaluations = 0;
    double noiseClosest = -kNoWrong;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        if (jobs[j].cell != -1) continue;
        noiseMinutes += results[j].minutesReported;
        noiseSeconds += results[j].validSeconds;
        noiseEvaluations += results[j].evaluations;
        noiseClosest = std::max(noiseClosest, results[j].closestWrong);
    }
    if (a.noiseHours > 0.0 && !a.robustOnly) {
        std::printf(
            "\nNoise alone with crashes and hum, %.0f h: %d minutes reported, %d seconds "
            "with a time; %d evaluations of a time, closest %s nats\n",
            a.noiseHours, noiseMinutes, noiseSeconds, noiseEvaluations, Nats(noiseClosest).c_str());
        if (noiseMinutes > 0 || noiseSeconds > 0) goalsMet = false;
    }
    if (a.verbose) {
        for (std::size_t j = 0; j < jobs.size(); ++j) {
            if (jobs[j].cell < kRobustCell) continue;
            const StationSignalOptions& o = jobs[j].options;
            const RunResult& r = results[j];
            std::printf(
                "row %d seed %llu start %lld offset %lld ppm %.0f splice %lld at %lld: "
                "first %.0f again %.0f worst minute %.1f ms, off %d, wrong seconds %d\n",
                jobs[j].cell - kRobustCell, (unsigned long long)o.seed, (long long)jobs[j].start,
                (long long)o.startOffsetSamples, o.clockPpm, (long long)o.spliceSamples,
                (long long)o.spliceAt, r.firstCorrect, r.rightAgain, r.worstMinuteMs, r.offMinutes,
                r.wrongSeconds);
        }
    }
    if (a.robustRuns > 0) {
        auto rowResults = [&](std::size_t row) {
            std::vector<const RunResult*> out;
            for (std::size_t j = 0; j < jobs.size(); ++j) {
                if (jobs[j].cell == kRobustCell + int(row)) out.push_back(&results[j]);
            }
            return out;
        };
        std::printf(
            "\nSplices nobody reports, %d runs per row (half drop samples, half put silence "
            "in), 300-360 s into 12 minutes:\n\n"
            "| splice | C/N0 dB-Hz | wrong minutes | worst minute error, ms | right time again "
            "after, s (median / worst) | wrong seconds |\n|---|---|---|---|---|---|\n",
            a.robustRuns);
        for (std::size_t row = 0; row < robust.size(); ++row) {
            const RobustRow& w = robust[row];
            if (!w.splice || rowResults(row).empty()) continue;
            int off = 0, wrongSeconds = 0;
            double worst = 0.0;
            std::vector<double> again;
            for (const RunResult* r : rowResults(row)) {
                off += r->offMinutes;
                wrongSeconds += r->wrongSeconds;
                worst = std::max(worst, r->worstMinuteMs);
                if (r->rightAgain >= 0.0) again.push_back(r->rightAgain);
            }
            std::sort(again.begin(), again.end());
            const double median = Quantile(again, a.robustRuns, 0.5);
            const double last = Quantile(again, a.robustRuns, 1.0);
            std::printf("| %.0f ms | %.0f | %d | %.1f | %s / %s | %d |\n", w.ms, w.cn0, off, worst,
                        Seconds(median).c_str(), Seconds(last).c_str(), wrongSeconds);
            if (w.cn0 >= 30 && (off > 0 || (w.ms == 10.0 && worst > 2.0) ||
                                (w.ms == 350.0 && (last < 0.0 || last > 180.0)))) {
                goalsMet = false;
            }
        }
        std::printf(
            "\nA steady carrier beside JJY at 30 dB-Hz, %d runs of 10 minutes per row:\n\n"
            "| steady carrier | amplitude (JJY's full carrier = 1) | first right time, s "
            "(median / 90 %% / worst) | wrong minutes | wrong seconds | on-time RMS, ms |\n"
            "|---|---|---|---|---|---|\n",
            a.robustRuns);
        for (std::size_t row = 0; row < robust.size(); ++row) {
            const RobustRow& w = robust[row];
            if (w.splice || rowResults(row).empty()) continue;
            int off = 0, wrongSeconds = 0, count = 0;
            double sumSq = 0.0;
            std::vector<double> firsts;
            for (const RunResult* r : rowResults(row)) {
                off += r->offMinutes;
                wrongSeconds += r->wrongSeconds;
                sumSq += r->sumSquareMs;
                count += r->onTimeCount;
                if (r->firstCorrect >= 0.0) firsts.push_back(r->firstCorrect);
            }
            std::sort(firsts.begin(), firsts.end());
            const double worst = Quantile(firsts, a.robustRuns, 1.0);
            std::printf("| %+.0f Hz | %.1f | %s / %s / %s | %d | %d | %.3f |\n", w.offsetHz,
                        w.share, Seconds(Quantile(firsts, a.robustRuns, 0.5)).c_str(),
                        Seconds(Quantile(firsts, a.robustRuns, 0.9)).c_str(),
                        Seconds(worst).c_str(), off, wrongSeconds,
                        count > 0 ? std::sqrt(sumSq / count) : NAN);
            if (off > 0 || wrongSeconds > 0 ||
                (std::abs(w.offsetHz) == 3.0 && w.share <= 1.0 && (worst < 0.0 || worst > 300.0))) {
                goalsMet = false;
            }
        }
    }
    std::printf(
        "Goals (first time within 3/5/10 min at 30/20/15 dB-Hz, on-time <= 1 ms RMS at "
        ">= 25 dB-Hz, nothing wrong, nothing from noise; at 30 dB-Hz after a splice of "
        "10 ms every minute within 2 ms, of 350 ms none off and a right time within 3 min; "
        "with a steady carrier 3 Hz away up to JJY's full carrier, a right time within "
        "5 min; nothing wrong beside any steady carrier): %s\n",
        goalsMet ? "met" : "NOT met");

    const std::string script =
        "set terminal pngcairo size 900,420 font 'sans,10'\n"
        "set output '" +
        a.plot +
        "'\n"
        "set multiplot layout 1,2\n"
        "set xlabel 'C/N0 (dB-Hz)'\nset grid\nset key top right\n"
        "set ylabel 'first correct time (s): median, and 90 % dashed'\nset logscale y\n"
        "set yrange [30:*]\n"
        "plot 'sensitivity.dat' index 0 using 2:3 with linespoints lc 1 title 'steady', "
        "'' index 1 using 2:3 with linespoints lc 2 title 'fading +-60 %', "
        "'' index 2 using 2:3 with linespoints lc 3 title 'Rician K=2 + crashes', "
        "'' index 0 using 2:4 with lines lc 1 dt 2 notitle, "
        "'' index 1 using 2:4 with lines lc 2 dt 2 notitle, "
        "'' index 2 using 2:4 with lines lc 3 dt 2 notitle\n"
        "unset logscale y\nset yrange [0:105]\nset key bottom right\n"
        "set ylabel 'later minutes decoded (%)'\n"
        "plot 'sensitivity.dat' index 0 using 2:5 with linespoints title 'steady', "
        "'' index 1 using 2:5 with linespoints title 'fading +-60 %', "
        "'' index 2 using 2:5 with linespoints title 'Rician K=2 + crashes'\n"
        "unset multiplot\n";
    FILE* gp = a.robustOnly ? nullptr : popen("gnuplot", "w");
    if (a.robustOnly) {
        // The plot shows the table, which was not run.
    } else if (gp == nullptr) {
        std::fprintf(stderr, "gnuplot not found: no plot written\n");
    } else {
        std::fputs(script.c_str(), gp);
        if (pclose(gp) == 0)
            std::printf("Plot: %s\n", a.plot.c_str());
        else
            std::fprintf(stderr, "gnuplot failed: no plot written\n");
    }
    std::remove("sensitivity.dat");
    return goalsMet ? 0 : 1;
}

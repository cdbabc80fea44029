// A day of reception as the log keeps it, from the simulator: JJY over a
// long path, strong at night and weak by day, with dips as the sun rises
// and sets on the path, received and decoded for 24 hours and logged a line
// a minute; then the day drawn as the タイムコード window's 24-hour C/N0
// chart. For the README's example (make example-day):
//   velto_example_day OUT.png [LOG_DIR]
// Takes some minutes: every sample of the day goes through the decoder and
// the spectrum analyser.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "base/NumericLocale.h"
#include "log/ReceptionLogFormat.h"
#include "log/ReceptionLogReader.h"
#include "logfeed/ReceptionLogFeed.h"
#include "plot/ReceptionChart.h"
#include "receiver/Receiver.h"
#include "simulator/StationSignal.h"
#include "spectrum/SpectrumAnalyser.h"

namespace {

using namespace velto;

// 2026-12-07 00:00 JST.
constexpr std::int64_t kStart = 1796569200;
constexpr std::int64_t kDaySeconds = 86400;
constexpr double kNoiseSigma = 300.0;
constexpr double kReferenceAmplitude = 10000.0;
// C/N0 at night and by day, and the sun on the path (JST hours): it rises
// at 06:40 and sets at 16:30 in December, and the level changes over the
// hour or so the path takes to turn from dark to light.
constexpr double kNightCn0 = 44.0;
constexpr double kDayCn0 = 16.0;
constexpr double kSunrise = 6.7;
constexpr double kSunset = 16.5;
constexpr double kTurnHours = 1.2;
// Where the sky wave and the ground wave meet out of phase as the path
// turns, the level dips for some minutes, below what can be decoded.
constexpr double kDipDb = 34.0;
constexpr double kDipHours = 0.15;

// 0 by day, 1 by night, a smooth step between.
double Night(double hour) {
    const auto step = [](double x) {
        x = std::clamp(x, 0.0, 1.0);
        return x * x * (3.0 - 2.0 * x);
    };
    return 1.0 - step((hour - kSunrise) / kTurnHours) + step((hour - kSunset) / kTurnHours);
}

double Cn0At(double hour) {
    const double turning = std::min(std::abs(hour - kSunrise - 0.3 * kTurnHours),
                                    std::abs(hour - kSunset - 0.7 * kTurnHours));
    return kDayCn0 + (kNightCn0 - kDayCn0) * Night(hour) -
           kDipDb * std::exp(-turning * turning / (2.0 * kDipHours * kDipHours));
}

// The amplitude that gives a C/N0 against the noise:
// C/N0 = 10 log10(A^2 * 96000 / (4 sigma^2)).
double Amplitude(double cn0) {
    return std::sqrt(std::pow(10.0, cn0 / 10.0) * 4.0 * kNoiseSigma * kNoiseSigma / kSampleRate);
}

// The band's noise floor for the log, as the console measures it.
class CBand : public IReceiverObserver {
public:
    CBand(CSpectrumAnalyser& analyser, CReceptionLogFeed& log) : m_analyser(analyser), m_log(log) {}
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override {
        m_analyser.FeedInput(first, samples, n);
        m_log.SetNoiseDb(m_analyser.NoiseDb());
    }

private:
    CSpectrumAnalyser& m_analyser;
    CReceptionLogFeed& m_log;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [LOG_DIR]\n", argv[0]);
        return 2;
    }
    char name[] = "velto_example_day";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char* args[] = {name, platform, offscreen, nullptr};
    int count = 3;
    QGuiApplication app(count, args);
    velto::KeepNumbersInCNotation();

    const std::filesystem::path dir =
        argc > 2 ? std::filesystem::path(argv[2])
                 : std::filesystem::temp_directory_path() / "velto-example-day";
    std::filesystem::remove_all(dir);

    // The station's signal alone, scaled to the hour's level, plus noise.
    StationSignalOptions signalOptions;
    signalOptions.carrierAmplitude = kReferenceAmplitude;
    signalOptions.fadingDepth = 0.25;
    signalOptions.fadingPeriodSeconds = 97.0;
    CStationSignal signal(kStart, signalOptions);
    StationSignalOptions noiseOptions;
    noiseOptions.carrierAmplitude = 0.0;
    noiseOptions.noiseSigma = kNoiseSigma;
    noiseOptions.fastNoise = true;
    noiseOptions.seed = 7;
    CStationSignal noise(kStart, noiseOptions);

    std::int64_t fed = 0;
    CReceptionLogFeed log(
        dir, 0, [](const Warning& w) { std::fprintf(stderr, "%s\n", w.text.c_str()); },
        [&] {
            return SystemTime{kStart, 0}.Plus(static_cast<double>(fed) / kSampleRate);
        });
    SpectrumOptions bandOptions;
    bandOptions.waterfallLines = 1;
    CSpectrumAnalyser analyser(bandOptions);
    CBand band(analyser, log);
    CReceiver receiver;
    receiver.AddObserver(&log);
    receiver.AddObserver(&band);
    log.Begin(CReceptionLogFeed::Time::System);
    receiver.BeginInput();

    std::vector<std::int16_t> s(kBufferSamples), n(kBufferSamples), mixed(kBufferSamples);
    const std::int64_t buffers = kDaySeconds * kSampleRate / kBufferSamples;
    for (std::int64_t b = 0; b < buffers; ++b) {
        const double hour = 24.0 * static_cast<double>(b) / static_cast<double>(buffers);
        const double gain = Amplitude(Cn0At(hour)) / kReferenceAmplitude;
        signal.Generate(s.data(), s.size());
        noise.Generate(n.data(), n.size());
        for (std::size_t i = 0; i < mixed.size(); ++i) {
            mixed[i] = static_cast<std::int16_t>(
                std::lround(std::clamp(gain * s[i] + n[i], -32768.0, 32767.0)));
        }
        receiver.FeedInput(mixed.data(), mixed.size());
        fed += kBufferSamples;
        if (b % (buffers / 24) == 0) {
            std::fprintf(stderr, "%02.0f:00 JST  C/N0 %.1f dB-Hz\n", hour, Cn0At(hour));
        }
    }
    receiver.EndInput();
    log.Finish();
    receiver.RemoveObserver(&band);
    receiver.RemoveObserver(&log);

    const std::int64_t end = kStart + kDaySeconds;
    const ReceptionLogContents day = ReadReceptionLog(dir, kStart, end);
    int decoded = 0;
    for (const ReceptionRecord& r : day.records) {
        decoded += r.decoded ? 1 : 0;
    }
    std::printf("%zu minutes logged, %d decoded, %d lines skipped\n", day.records.size(), decoded,
                day.skipped);

    QImage image(840, 236, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    receptionchart::Draw(p, QRect(60, 32, 760, 160), day.records, end, receptionchart::Span::Day);
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[1]), "png")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s; the log is in %s\n", argv[1], dir.c_str());
    return 0;
}

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/WaveService.h"
#include "base/NumericLocale.h"
#include "logfeed/ReceptionLogFeed.h"
#include "receiver/Receiver.h"
#include "simulator/StationSignal.h"
#include "spectrum/SpectrumAnalyser.h"

namespace {

using velto::kBufferSamples;

// A capture device that completes its buffer when told, on the calling
// thread, and no playback device: the console's cycle without a sound card.
class CBenchWaveIn : public velto::IWaveIn {
public:
    CBenchWaveIn(velto::WaveInProc callback, void* instance)
        : m_callback(callback), m_instance(instance) {}
    int AddBuffer(velto::WaveHeader* header) override {
        m_queued = header;
        return velto::kWaveOk;
    }
    int Start() override { return velto::kWaveOk; }
    int Reset() override { return velto::kWaveOk; }
    int Close() override { return velto::kWaveOk; }
    std::uint64_t DroppedSamples() const override { return 0; }

    void Complete(const std::int16_t* samples) {
        velto::WaveHeader* header = m_queued;
        std::copy_n(samples, kBufferSamples, header->data);
        header->bytesRecorded = header->bufferLength;
        header->flags = velto::kWaveHdrDone;
        m_callback(m_instance, header);
    }

private:
    velto::WaveInProc m_callback;
    void* m_instance;
    velto::WaveHeader* m_queued = nullptr;
};

class CBenchService : public velto::IWaveService {
public:
    int InGetNumDevs() override { return 1; }
    std::string InGetDevName(int) override { return "bench"; }
    int OutGetNumDevs() override { return 0; }
    std::string OutGetDevName(int) override { return {}; }
    int InOpen(std::unique_ptr<velto::IWaveIn>* handle, int, const velto::WaveFormat&,
               velto::WaveInProc callback, void* instance) override {
        auto stream = std::make_unique<CBenchWaveIn>(callback, instance);
        m_stream = stream.get();
        *handle = std::move(stream);
        return velto::kWaveOk;
    }
    int OutOpen(std::unique_ptr<velto::IWaveOut>*, int, const velto::WaveFormat&) override {
        return velto::kWaveBadDeviceId;
    }

    CBenchWaveIn* Stream() const { return m_stream; }

private:
    CBenchWaveIn* m_stream = nullptr;
};

// Two minutes of a noisy signal, for a decoder that has locked to it.
const std::vector<std::int16_t>& TwoMinutes() {
    static const std::vector<std::int16_t> samples = [] {
        velto::StationSignalOptions options;
        options.carrierAmplitude = 1000.0;
        options.cn0DbHz = 25.0;
        options.fastNoise = true;
        velto::CStationSignal signal(1796610180, options);
        std::vector<std::int16_t> out(std::size_t{1200} * kBufferSamples);
        signal.Generate(out.data(), out.size());
        return out;
    }();
    return samples;
}

// The band's analyser as the console runs it for its JSON status lines and
// the log's noise column.
class CBenchBand : public velto::IReceiverObserver {
public:
    explicit CBenchBand(velto::CReceptionLogFeed& log) : m_log(log) {
        velto::SpectrumOptions options;
        options.waterfallLines = 1;
        m_analyser = std::make_unique<velto::CSpectrumAnalyser>(options);
    }
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override {
        m_analyser->FeedInput(first, samples, n);
        m_log.SetNoiseDb(m_analyser->NoiseDb());
    }

private:
    velto::CReceptionLogFeed& m_log;
    std::unique_ptr<velto::CSpectrumAnalyser> m_analyser;
};

// One 100 ms cycle of live reception as the console runs it: the capture
// thread's hand-over, the input's health, the decoder and, with the display
// chain (range 1), the band-pass, slots, slicer and monitor tone no one
// hears; or (range 2) with the reception log kept on the system clock, and
// (range 3) with the log and the band's analyser, as --json or --log run it.
// The decoder has had the two minutes once before timing starts.
void BM_Console(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "velto_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    velto::KeepNumbersInCNotation();
    CBenchService service;
    velto::SetWaveService(&service);
    {
        velto::CReceiver receiver;
        receiver.SetUnattended(state.range(0) != 1);
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / "velto-bench-log";
        velto::CReceptionLogFeed log(dir, 1, {});
        CBenchBand band(log);
        if (state.range(0) >= 2) {
            receiver.AddObserver(&log);
            log.Begin(velto::CReceptionLogFeed::Time::System);
        }
        if (state.range(0) == 3) {
            receiver.AddObserver(&band);
        }
        velto::Warnings told;
        receiver.Start({}, {}, told);
        const std::vector<std::int16_t>& samples = TwoMinutes();
        const std::size_t buffers = samples.size() / kBufferSamples;
        std::size_t b = 0;
        const auto cycle = [&] {
            service.Stream()->Complete(samples.data() + b * kBufferSamples);
            QCoreApplication::sendPostedEvents();
            b = (b + 1) % buffers;
        };
        for (std::size_t k = 0; k < buffers; ++k) cycle();
        for (auto _ : state) cycle();
        receiver.Stop(told);
        log.Finish();
        receiver.RemoveObserver(&band);
        receiver.RemoveObserver(&log);
        std::filesystem::remove_all(dir);
    }
    velto::SetWaveService(nullptr);
}
BENCHMARK(BM_Console)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

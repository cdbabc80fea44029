// The clock feed on the built-in simulator, for the chrony test while the
// program has no mode without a window: captures through the simulated
// device in real time, decodes, and feeds chronyd and/or the shared memory.
//   velto_clock_driver [--chrony-sock PATH] [--shm UNIT] [--latency-ms MS]
// Runs until SIGTERM or SIGINT.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "audio/WaveDevice.h"
#include "receiver/ChronySock.h"
#include "receiver/ClockFeed.h"
#include "receiver/SampleClock.h"
#include "receiver/ShmRefclock.h"
#include "timecode/Decoder.h"

namespace {

using namespace velto;

volatile std::sig_atomic_t g_stop = 0;
void Stop(int) { g_stop = 1; }

class CCounter : public INotifyTarget {
public:
    void PostCaptureData() override { m_completed.fetch_add(1); }
    long Completed() const { return m_completed.load(); }

private:
    std::atomic<long> m_completed{0};
};

// Tells each change of the decoder's state on standard error.
class CStateLog : public IDecoderSink {
public:
    explicit CStateLog(IDecoderSink& next) : m_next(next) {}
    void OnSecond(const DecoderSecond& s) override { m_next.OnSecond(s); }
    void OnMinute(const DecoderMinute& m) override { m_next.OnMinute(m); }
    void OnStatus(const DecoderStatus& s) override {
        if (s.state != m_state) {
            m_state = s.state;
            std::fprintf(stderr, "state %d at %.1f s, C/N0 %.1f dB-Hz\n", static_cast<int>(s.state),
                         static_cast<double>(s.sample) / kSampleRate, s.cn0DbHz);
        }
        m_next.OnStatus(s);
    }

private:
    IDecoderSink& m_next;
    ReceptionState m_state = ReceptionState::NoSignal;
};

}  // namespace

int main(int argc, char** argv) {
    const char* sockPath = nullptr;
    int shmUnit = -1;
    double latencyMs = 0.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--chrony-sock") == 0) {
            sockPath = argv[i + 1];
        } else if (std::strcmp(argv[i], "--shm") == 0) {
            shmUnit = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--latency-ms") == 0) {
            latencyMs = std::atof(argv[i + 1]);
        } else {
            std::fprintf(stderr, "velto_clock_driver: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    struct sigaction action {};
    action.sa_handler = Stop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    CSampleClock clock(kSampleRate);
    CClockFeed feed([&clock](double n) -> std::optional<SystemTime> {
        if (!clock.Ready()) {
            return std::nullopt;
        }
        return clock.TimeOf(n);
    });
    feed.SetLatencyMs(latencyMs);
    if (sockPath != nullptr) {
        feed.AddSink(std::make_unique<CChronySock>(sockPath));
    }
    if (shmUnit >= 0) {
        feed.AddSink(std::make_unique<CShmRefclock>(shmUnit));
    }
    CStateLog log(feed);
    CDecoder decoder(log);

    CWaveDevice device;
    CCounter counter;
    DeviceSpec spec;
    spec.deviceId = WaveService().InSimulatorId();
    if (device.StartCapture(spec, &counter) != 1) {
        return 1;
    }
    long done = 0;
    long reported = 0;
    while (g_stop == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const long completed = counter.Completed();
        if (completed - done >= kRingBuffers) {
            done = completed - 1;  // fell behind: the ring has moved on
        }
        for (; done < completed; ++done) {
            const int slot = static_cast<int>(done % kRingBuffers);
            const std::int64_t first = done * kBufferSamples;
            const std::int64_t ns = device.m_inStampNs[slot].load();
            clock.AddStamp(first + kBufferSamples, SystemTime{ns / 1000000000, ns % 1000000000});
            decoder.Feed(first, device.m_inData + slot * kBufferSamples, kBufferSamples);
        }
        if (feed.SamplesSent() != reported) {
            reported = feed.SamplesSent();
            std::fprintf(stderr, "sample %ld offset %+.6f s\n", reported, feed.LastSample().offset);
        }
    }
    device.StopCapture();
    std::fprintf(stderr, "velto_clock_driver: %ld buffers, %ld samples sent\n", done,
                 feed.SamplesSent());
    return 0;
}

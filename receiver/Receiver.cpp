#include "receiver/Receiver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace velto {
namespace {

// Seconds of a clock that no one sets and that goes on while the machine is
// suspended: against it a step of the system clock shows, and a suspension
// does not (the samples it cost show in the stamps instead).
double BootSeconds() {
#ifdef CLOCK_BOOTTIME
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0) {
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
#endif
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CReceiver::CReceiver() { m_decoderFeed.Configure(*m_station, m_format); }

// The devices go before the rest, so that no notification outlives the
// receiver; the recording is finished.
CReceiver::~CReceiver() {
    Warnings unheard;
    m_wave.StopPlayback(unheard);
    m_wave.StopCapture(unheard);
    m_recorder.Stop();
}

void CReceiver::AddObserver(IReceiverObserver* observer) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void CReceiver::RemoveObserver(IReceiverObserver* observer) { std::erase(m_observers, observer); }

bool CReceiver::Configure(const Station& station, CaptureFormat format) {
    if (m_receiving || !m_pipeline.Configure(station.carrierHz, format)) {
        return false;
    }
    m_station = &station;
    m_format = format;
    m_decoderFeed.Configure(station, format);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnConfigured(station, format);
    }
    return true;
}

bool CReceiver::Start(const DeviceSpec& capture, const DeviceSpec& playback, Warnings& told) {
    DeviceSpec spec = capture;
    spec.sampleRate = static_cast<std::uint32_t>(m_format.rate);
    spec.station = m_station->id;
    if (m_wave.StartCapture(spec, &m_handOver, told) != 1) {
        return false;
    }
    m_playbackSpec = playback;
    m_health.StartRun(m_format.rate);
    m_pipeline.StartRun();
    m_receiving = true;
    m_monitorDue = !m_unattended;
    m_monitorInStep = false;
    // The strips trail the newest buffer by one from the first buffer of a run.
    m_displayIndex = -1;
    m_decodeCursor = 0;
    m_live = capture.replayFile.empty();
    m_clock.Reset();
    m_lastBoot.reset();
    BeginDecoding();
    return true;
}

void CReceiver::BeginDecoding() { m_decoderFeed.Reset(); }

void CReceiver::Stop(Warnings& told) {
    StopCapture(told);
    StopMonitor(told);
}

void CReceiver::StopCapture(Warnings& told) {
    m_wave.StopCapture(told);
    m_receiving = false;
    m_monitorDue = false;
    StopRecording();
}

void CReceiver::StopMonitor(Warnings& told) {
    m_monitorInStep = false;
    if (m_monitorOn) {
        m_wave.StopPlayback(told);
        m_monitorOn = false;
    }
}

void CReceiver::ToggleMonitor(const DeviceSpec& playback, Warnings& told) {
    m_monitorInStep = false;
    if (m_monitorOn) {
        m_wave.StopPlayback(told);
        m_monitorOn = false;
    } else {
        m_wave.StartPlayback(playback, &m_handOver, told);
        m_monitorOn = true;
    }
}

void CReceiver::Tell(const Warnings& warnings) {
    for (const Warning& warning : warnings) {
        for (IReceiverObserver* observer : m_observers) {
            observer->OnWarning(warning);
        }
    }
}

// An unattended run keeps only what needs no viewer: the input's health, the
// decoder and the recorder.
void CReceiver::OnCaptureData() {
    const int b = m_wave.LastBuffer();
    const std::int16_t* samples = b < 0 ? nullptr : m_wave.BufferSamples(b);
    if (samples == nullptr) {
        return;  // no buffer of this run has completed yet
    }
    if (!m_unattended) {
        m_pipeline.ProcessBuffer(samples, b);
    }
    const auto bufferSamples = static_cast<std::size_t>(m_format.BufferSamples());
    m_health.OnBuffer(samples, bufferSamples, m_wave.DroppedSamples());
    if (!m_unattended) {
        FillMonitor(b);
        const ProcessedBuffer record{b,
                                     m_displayIndex,
                                     {samples, bufferSamples},
                                     m_pipeline.Filtered(),
                                     m_pipeline.RawRow(),
                                     m_pipeline.CorrectedRow(),
                                     m_pipeline.SliceLevel()};
        for (IReceiverObserver* observer : m_observers) {
            observer->OnBufferProcessed(record);
        }
    }
    if (++m_displayIndex >= kRingBuffers) {
        m_displayIndex = 0;
    }
    DecodeCaptured();
    CheckRecorder();
}

bool CReceiver::OnCaptureLost() {
    if (!m_receiving || !m_wave.IsCaptureLost()) {
        return false;  // a notice that a stop has overtaken
    }
    Warnings told;
    Stop(told);
    Tell(told);
    m_health.OnDeviceLost();
    for (IReceiverObserver* observer : m_observers) {
        observer->OnCaptureLost();
    }
    return true;
}

bool CReceiver::OnCaptureEnded() {
    if (!m_receiving || !m_wave.IsCaptureEnded()) {
        return false;  // a notice that a stop has overtaken
    }
    Warnings told;
    Stop(told);
    Tell(told);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnInputEnded();
    }
    return true;
}

void CReceiver::RaiseWarning(WarningCode code, const std::string& text) {
    m_health.Raise(code, text);
}

void CReceiver::OnHealth(const HealthEvent& event) {
    for (IReceiverObserver* observer : m_observers) {
        observer->OnHealth(event);
    }
    if (event.raised) {
        Warn(event.code, event.text);
    }
}

void CReceiver::FillMonitor(int b) {
    if (m_wave.EnsurePlaybackBlock() != 1) {
        return;
    }
    std::int16_t* out = m_wave.PlaybackBlock();
    const bool wrapped = m_wave.Wrapped();
    if (wrapped || b > 1) {
        m_pipeline.GateTone(b, 1, out + static_cast<std::ptrdiff_t>(b) * kBufferSamples);
    } else if (b == 1) {
        m_pipeline.GateTone(0, 2, out);
    }
    CheckMonitorStep(b);
    // The run starts its monitor once, on the first buffer handled from buffer 1
    // on (notifications may pile up), and never after a stop. A device already
    // open (ID_MONITOR while stopped) has looped over what the block held, out
    // of step with this run: it starts afresh, in step.
    if (!m_receiving || !m_monitorDue || (!wrapped && b < 1)) {
        return;
    }
    m_monitorDue = false;
    Warnings told;
    m_wave.StopPlayback(told);
    if (m_wave.StartPlayback(m_playbackSpec, &m_handOver, told) == 1) {
        m_monitorOn = true;
        m_monitorInStep = true;
        m_lastToneBlock = b;
    }
    Tell(told);
}

// A cycle held up past the ~100 ms by which the tone is written ahead, or
// buffers skipped when notifications pile up, let the player sound what a
// block held a pass (8 s) before. The ear cannot tell such a pulse from a real
// one, so it is reported.
void CReceiver::CheckMonitorStep(int b) {
    if (!m_monitorInStep || b == m_lastToneBlock) {
        return;
    }
    const int skipped = (b - m_lastToneBlock - 1 + kRingBuffers) % kRingBuffers;
    m_lastToneBlock = b;
    if (skipped > 0) {
        Warn(WarningCode::MonitorLate, "The monitor skipped the tone of " +
                                           std::to_string(skipped) +
                                           " buffers; it sounds what they held 8 s before.");
    }
    const std::int64_t position = m_wave.PlaybackPosition();
    if (position < 0) {
        return;
    }
    const std::int64_t start = static_cast<std::int64_t>(b) * kBufferSamples;
    const std::int64_t past = ((position - start) % kRingSamples + kRingSamples) % kRingSamples;
    if (past < kRingSamples / 2) {
        const std::int64_t stale = std::min<std::int64_t>(past, kBufferSamples);
        Warn(WarningCode::MonitorLate, "The monitor's tone of buffer " + std::to_string(b) +
                                           " came late: the player had sounded " +
                                           std::to_string(stale * kBufferMs / kBufferSamples) +
                                           " ms of it from 8 s before.");
    }
}

// The chain above may skip buffers when notifications pile up; the decoder
// may not. It follows the ring by its own cursor and catches up on every
// buffer completed since, as long as the ring still holds it: a buffer is
// overwritten 79 buffers after it completed.
void CReceiver::DecodeCaptured() {
    const std::int64_t total = m_wave.CompletedBuffers();
    if (total <= m_decodeCursor) {
        return;
    }
    constexpr std::int64_t kReadable = kRingBuffers - 1;
    if (total - m_decodeCursor > kReadable) {
        const std::int64_t lost = total - kReadable - m_decodeCursor;
        Warn(WarningCode::DecoderGap,
             "The receiver fell " + std::to_string(total - m_decodeCursor) +
                 " buffers behind the capture; " + std::to_string(lost * kBufferMs) +
                 " ms of signal were not decoded.");
        m_decodeCursor = total - kReadable;
    }
    FollowSystemClockSteps();
    const std::int64_t bufferSamples = m_format.BufferSamples();
    const auto n = static_cast<int>(bufferSamples);
    // Samples the stream lost move every later index on by their number, so
    // that an index stays the sample's place in time.
    for (; m_decodeCursor < total; ++m_decodeCursor) {
        const int slot = static_cast<int>(m_decodeCursor % kRingBuffers);
        const CWaveDevice::Loss loss = m_wave.BufferLoss(slot);
        const std::int64_t first = m_decodeCursor * bufferSamples + loss.before;
        // The stamp marks the end of the buffer, as the decoder counts samples.
        const double end = m_decoderFeed.DecoderIndex(double(first + bufferSamples + loss.within));
        m_clock.AddStamp(static_cast<std::int64_t>(end), m_wave.BufferStamp(slot));
        if (const std::optional<CSampleClock::UnsaidLoss> loss = m_clock.TakeUnsaidLoss()) {
            // Before this buffer reaches the decoder, which then holds its
            // time back until the signal after the loss confirms it.
            m_decoderFeed.LoseUnsaid(loss->after);
            m_health.OnLostUnsaid(static_cast<std::uint64_t>(loss->seconds * m_format.rate));
        }
        const std::int16_t* samples = m_wave.BufferSamples(slot);
        const int at = loss.within > 0 ? std::clamp(loss.at, 0, n) : n;
        if (at > 0) {
            Deliver(first, samples, static_cast<std::size_t>(at), false);
        }
        if (at < n) {
            Deliver(first + at + loss.within, samples + at, static_cast<std::size_t>(n - at),
                    false);
        }
    }
}

// The stamps are system-clock readings; a step of that clock (set by hand,
// or by a time daemon) shows as a change of its difference from the boot
// clock by more than any slewing does, and the sample clock moves with it.
void CReceiver::FollowSystemClockSteps() {
    using namespace std::chrono;
    const double boot = BootSeconds();
    const double system = duration<double>(system_clock::now().time_since_epoch()).count();
    const double difference = system - boot;
    if (m_lastBoot) {
        constexpr double kSlewAllowance = 0.1;  // 100 000 ppm, past chronyd's fastest slew
        constexpr double kStepFloor = 0.002;
        const double step = difference - m_lastDifference;
        if (std::abs(step) > kStepFloor + kSlewAllowance * (boot - *m_lastBoot)) {
            m_clock.Shift(step);
        }
    }
    m_lastBoot = boot;
    m_lastDifference = difference;
}

void CReceiver::BeginInput() {
    m_inputSamples = 0;
    m_live = false;
    BeginDecoding();
    m_health.StartRun(m_format.rate);
    m_healthBuffer.assign(static_cast<std::size_t>(m_format.BufferSamples()), 0);
    m_healthFill = 0;
}

void CReceiver::FeedInput(const std::int16_t* samples, std::size_t n) {
    Deliver(m_inputSamples, samples, n, true);
    m_inputSamples += static_cast<std::int64_t>(n);
    JudgeInput(samples, n);
    CheckRecorder();
}

// A file's samples are judged as a capture's are, buffer by buffer, so that a
// clipped or silent recording is told as the same input live would be.
void CReceiver::JudgeInput(const std::int16_t* samples, std::size_t n) {
    if (m_healthBuffer.empty()) {
        return;
    }
    while (n > 0) {
        const std::size_t take = std::min(n, m_healthBuffer.size() - m_healthFill);
        std::copy_n(samples, take,
                    m_healthBuffer.begin() + static_cast<std::ptrdiff_t>(m_healthFill));
        m_healthFill += take;
        samples += take;
        n -= take;
        if (m_healthFill == m_healthBuffer.size()) {
            m_health.OnBuffer(m_healthBuffer.data(), m_healthFill, 0);
            m_healthFill = 0;
        }
    }
}

void CReceiver::EndInput() { CheckRecorder(); }

void CReceiver::Deliver(std::int64_t first, const std::int16_t* samples, std::size_t n,
                        bool mayWait) {
    m_recorder.Push(first, samples, n, mayWait);
    m_decoderFeed.Feed(first, samples, n);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnInput(first, samples, n);
    }
}

void CReceiver::Warn(WarningCode code, const std::string& text) { Tell({{code, text}}); }

bool CReceiver::StartRecording(std::unique_ptr<ISampleWriter> writer, std::string* error) {
    StopRecording();
    if (!m_recorder.Start(std::move(writer), m_format.rate)) {
        *error = "the recorder could not start.";
        return false;
    }
    for (IReceiverObserver* observer : m_observers) {
        observer->OnRecordingChanged(true);
    }
    return true;
}

void CReceiver::StopRecording() {
    if (!m_recorder.Active()) {
        return;
    }
    m_recorder.Stop();
    for (IReceiverObserver* observer : m_observers) {
        observer->OnRecordingChanged(false);
    }
}

// Reception goes on when a recording fails; only the recording ends.
void CReceiver::CheckRecorder() {
    const std::string why = m_recorder.Poll();
    if (why.empty()) {
        return;
    }
    Warn(WarningCode::RecordingStopped, "Recording stopped: " + why);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnRecordingChanged(false);
    }
}

std::optional<SystemTime> CReceiver::CaptureTime(double sample) const {
    if (!m_live) {
        return std::nullopt;
    }
    return HeardAt(sample);
}

std::optional<SystemTime> CReceiver::HeardAt(double sample) const {
    if (!m_receiving || !m_clock.Ready()) {
        return std::nullopt;
    }
    return m_clock.TimeOf(sample);
}

void CReceiver::OnSecond(const DecoderSecond& second) {
    const std::optional<SystemTime> captured = CaptureTime(second.onTimeSample);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnSecond(second, captured);
    }
}

void CReceiver::OnMinute(const DecoderMinute& minute) {
    const std::optional<SystemTime> captured = CaptureTime(minute.onTimeSample);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnMinute(minute, captured);
    }
}

void CReceiver::OnRise(const DecoderRise& rise) {
    std::optional<SystemTime> steady;
    if (m_live && m_receiving && m_clock.Steady(rise.onTimeSample)) {
        steady = m_clock.TimeOf(rise.onTimeSample);
    }
    for (IReceiverObserver* observer : m_observers) {
        observer->OnRise(rise, steady);
    }
}

void CReceiver::OnStatus(const DecoderStatus& status) {
    for (IReceiverObserver* observer : m_observers) {
        observer->OnStatus(status);
    }
}

}  // namespace velto

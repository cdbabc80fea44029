#include "receiver/Receiver.h"

#include <algorithm>

namespace velto {
namespace {

constexpr std::int64_t kNanoseconds = 1000000000;

}  // namespace

CReceiver::CReceiver(INotifyTarget& notify) : m_notify(notify) {}

// The devices go before the rest, so that no notification outlives the
// receiver; the recording is finished.
CReceiver::~CReceiver() {
    m_wave.StopPlayback();
    m_wave.StopCapture();
    m_recorder.Stop();
}

void CReceiver::AddObserver(IReceiverObserver* observer) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void CReceiver::RemoveObserver(IReceiverObserver* observer) { std::erase(m_observers, observer); }

int CReceiver::Start(const DeviceSpec& capture, const DeviceSpec& playback) {
    if (m_wave.StartCapture(capture, &m_notify) != 1) {
        return 0;
    }
    m_playbackSpec = playback;
    m_health.StartRun();
    m_pipeline.StartRun();
    m_bReceiving = 1;
    m_bMonitorDue = 1;
    m_monitorInStep = false;
    // The strips trail the newest buffer by one from the first buffer of a run.
    m_displayIndex = -1;
    m_decodeCursor = 0;
    m_live = capture.replayFile.empty();
    m_clock.Reset();
    m_decoder.Reset();
    return 1;
}

void CReceiver::Stop() {
    StopCapture();
    StopMonitor();
}

void CReceiver::StopCapture() {
    m_wave.StopCapture();
    m_bReceiving = 0;
    m_bMonitorDue = 0;
    StopRecording();
}

void CReceiver::StopMonitor() {
    m_monitorInStep = false;
    if (m_bMonitor == 1) {
        m_wave.StopPlayback();
        m_bMonitor = 0;
    }
}

void CReceiver::ToggleMonitor(const DeviceSpec& playback) {
    m_monitorInStep = false;
    if (m_bMonitor == 1) {
        m_wave.StopPlayback();
        m_bMonitor = 0;
    } else {
        m_wave.StartPlayback(playback, &m_notify);
        m_bMonitor = 1;
    }
}

void CReceiver::OnCaptureData() {
    int b = m_wave.m_inIndex.load() - 1;
    if (b < 0) {
        if (m_wave.m_inWrapped.load() != 1) {
            return;  // no buffer of this run has completed yet
        }
        b = kRingBuffers - 1;
    }
    if (m_wave.m_inData == nullptr) {
        return;
    }
    const int perBuffer = static_cast<int>(m_wave.Spec().sampleRate) * kBufferMs / 1000;
    const std::int16_t* samples = m_wave.m_inData + static_cast<std::ptrdiff_t>(b) * perBuffer;
    m_pipeline.ProcessBuffer(samples, b);
    m_health.OnBuffer(samples, static_cast<std::size_t>(perBuffer), m_wave.DroppedSamples());
    FillMonitor(b);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnBufferProcessed(b, m_displayIndex);
    }
    if (++m_displayIndex >= kRingBuffers) {
        m_displayIndex = 0;
    }
    DecodeCaptured();
    CheckRecorder();
}

bool CReceiver::OnCaptureLost() {
    if (m_bReceiving == 0 || !m_wave.IsCaptureLost()) {
        return false;  // a notice that a stop has overtaken
    }
    Stop();
    m_health.OnDeviceLost();
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
        Warn(WarningCodeName(event.code), event.text);
    }
}

void CReceiver::FillMonitor(int b) {
    if (m_wave.EnsurePlaybackBlock() != 1) {
        return;
    }
    std::int16_t* out = m_wave.m_outData;
    const bool wrapped = m_wave.m_inWrapped.load() == 1;
    if (wrapped || b > 1) {
        m_pipeline.GateTone(b, 1, out + static_cast<std::ptrdiff_t>(b) * kBufferSamples);
    } else if (b == 1) {
        m_pipeline.GateTone(0, 2, out);
    }
    CheckMonitorStep(b);
    // The run starts its monitor once, on the first buffer handled from buffer 1
    // on (notifications may pile up), and never after a stop. A device already
    // open (ID_MONITOR before the start) plays on; the flag alone proves nothing,
    // since a failed ID_MONITOR sets it too.
    if (!m_autoMonitor || m_bReceiving == 0 || m_bMonitorDue == 0 || (!wrapped && b < 1)) {
        return;
    }
    m_bMonitorDue = 0;
    if (!m_wave.IsPlaybackOpen() && m_wave.StartPlayback(m_playbackSpec, &m_notify) == 1) {
        m_bMonitor = 1;
        m_monitorInStep = true;
        m_lastToneBlock = b;
    }
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
        Warn("monitor_late", "The monitor skipped the tone of " + std::to_string(skipped) +
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
        Warn("monitor_late", "The monitor's tone of buffer " + std::to_string(b) +
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
    const std::int64_t total = m_wave.m_inTotal.load();
    if (total <= m_decodeCursor) {
        return;
    }
    constexpr std::int64_t kReadable = kRingBuffers - 1;
    if (total - m_decodeCursor > kReadable) {
        const std::int64_t lost = total - kReadable - m_decodeCursor;
        Warn("decoder_gap", "The receiver fell " + std::to_string(total - m_decodeCursor) +
                                " buffers behind the capture; " + std::to_string(lost * kBufferMs) +
                                " ms of signal were not decoded.");
        m_decodeCursor = total - kReadable;
    }
    for (; m_decodeCursor < total; ++m_decodeCursor) {
        const std::int64_t slot = m_decodeCursor % kRingBuffers;
        const std::int64_t stamp = m_wave.m_inStampNs[static_cast<std::size_t>(slot)].load();
        m_clock.AddStamp((m_decodeCursor + 1) * kBufferSamples,
                         SystemTime{stamp / kNanoseconds, stamp % kNanoseconds});
        Deliver(m_decodeCursor * kBufferSamples, m_wave.m_inData + slot * kBufferSamples,
                kBufferSamples, false);
    }
}

void CReceiver::BeginInput() {
    m_inputSamples = 0;
    m_live = false;
    m_decoder.Reset();
}

void CReceiver::FeedInput(const std::int16_t* samples, std::size_t n) {
    Deliver(m_inputSamples, samples, n, true);
    m_inputSamples += static_cast<std::int64_t>(n);
    CheckRecorder();
}

void CReceiver::EndInput() { CheckRecorder(); }

void CReceiver::Deliver(std::int64_t first, const std::int16_t* samples, std::size_t n,
                        bool mayWait) {
    m_recorder.Push(samples, n, mayWait);
    m_decoder.Feed(first, samples, n);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnInput(first, samples, n);
    }
}

void CReceiver::Warn(const std::string& code, const std::string& text) {
    const ReceiverWarning warning{code, text};
    for (IReceiverObserver* observer : m_observers) {
        observer->OnWarning(warning);
    }
}

bool CReceiver::StartRecording(std::unique_ptr<ISampleWriter> writer, std::string* error) {
    StopRecording();
    if (!m_recorder.Start(std::move(writer))) {
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
    Warn("recording_stopped", "Recording stopped: " + why);
    for (IReceiverObserver* observer : m_observers) {
        observer->OnRecordingChanged(false);
    }
}

std::optional<double> CReceiver::UnixTimeOfSample(double sample) const {
    if (!m_live || !m_clock.Ready()) {
        return std::nullopt;
    }
    const SystemTime t = m_clock.TimeOf(sample);
    return static_cast<double>(t.sec) + static_cast<double>(t.nsec) / kNanoseconds;
}

void CReceiver::OnSecond(const DecoderSecond& second) {
    for (IReceiverObserver* observer : m_observers) {
        observer->OnSecond(second);
    }
}

void CReceiver::OnMinute(const DecoderMinute& minute) {
    for (IReceiverObserver* observer : m_observers) {
        observer->OnMinute(minute);
    }
}

void CReceiver::OnStatus(const DecoderStatus& status) {
    for (IReceiverObserver* observer : m_observers) {
        observer->OnStatus(status);
    }
}

}  // namespace velto

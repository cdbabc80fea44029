#include "audio/WaveDevice.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "audio/FileWaveIn.h"

namespace velto {
namespace {

constexpr std::uint32_t kLoopForever = 0xFFFFFFFF;

WaveFormat FormatOf(const DeviceSpec& spec, std::uint32_t rate) {
    WaveFormat format;
    format.channels = 1;
    format.samplesPerSec = rate;
    format.bitsPerSample = spec.bitsPerSample;
    format.station = spec.station;
    return format;
}

// Counts a completion in progress for as long as it runs.
class CCompletionScope {
public:
    explicit CCompletionScope(std::atomic<int>& count) : m_count(count) { m_count.fetch_add(1); }
    ~CCompletionScope() {
        if (m_count.fetch_sub(1) == 1) {
            m_count.notify_all();
        }
    }
    CCompletionScope(const CCompletionScope&) = delete;
    CCompletionScope& operator=(const CCompletionScope&) = delete;

private:
    std::atomic<int>& m_count;
};

}  // namespace

CWaveDevice::CWaveDevice() = default;

// Closes what the owner left open, without messages, so that no device
// thread outlives the blocks it writes into.
CWaveDevice::~CWaveDevice() {
    CloseCapture();
    ClosePlayback();
}

int CWaveDevice::LastBuffer() const {
    const int b = m_inIndex.load() - 1;
    return b >= 0 ? b : Wrapped() ? kRingBuffers - 1 : -1;
}

const std::int16_t* CWaveDevice::BufferSamples(int b) const {
    return m_inData != nullptr
               ? m_inData + static_cast<std::ptrdiff_t>(b) * m_inFormat.BufferSamples()
               : nullptr;
}

SystemTime CWaveDevice::BufferStamp(int b) const {
    return SystemTime::FromNanoseconds(
        m_inStampNs[static_cast<std::size_t>(b)].load(std::memory_order_relaxed));
}

CWaveDevice::Loss CWaveDevice::BufferLoss(int b) const {
    const auto slot = static_cast<std::size_t>(b);
    return {m_inLostBefore[slot].load(std::memory_order_relaxed),
            m_inLostAt[slot].load(std::memory_order_relaxed),
            m_inLostWithin[slot].load(std::memory_order_relaxed)};
}

int CWaveDevice::StartCapture(const DeviceSpec& spec, INotifyTarget* notifyWnd, Warnings& told) {
    CloseCapture();
    m_notifyWnd.store(notifyWnd);

    m_spec = spec;
    const std::optional<CaptureFormat> capture = CaptureFormat::ForRate(spec.sampleRate);
    if (!capture) {
        told.push_back(
            {WarningCode::CaptureOpenFailed, WarningText(WarningCode::CaptureOpenFailed)});
        return 0;
    }
    const WaveFormat format = FormatOf(spec, spec.sampleRate);
    m_inIndex = 0;
    m_inWrapped = 0;
    m_inLost = 0;
    m_inEnded = 0;
    const int opened = spec.replayFile.empty()
                           ? WaveService().InOpen(&m_hWaveIn, spec.deviceId, format,
                                                  &CWaveDevice::WaveInCallback, this)
                           : CFileWaveIn::Open(&m_hWaveIn, spec.replayFile, format,
                                               &CWaveDevice::WaveInCallback, this);
    if (opened != kWaveOk) {
        m_hWaveIn.reset();
        told.push_back(
            {WarningCode::CaptureOpenFailed, WarningText(WarningCode::CaptureOpenFailed)});
        return 0;
    }

    if (!m_inBlock || *capture != m_inFormat) {
        m_inData = nullptr;
        m_inBlock.reset(new (std::nothrow) std::int16_t[capture->RingSamples()]);
        if (!m_inBlock) {
            CloseCapture();
            return 0;
        }
        m_inData = m_inBlock.get();
        m_inFormat = *capture;
    }

    const int bufferSamples = m_inFormat.BufferSamples();
    for (int k = 0; k < kRingBuffers; ++k) {
        m_inHeaders[k] = WaveHeader{};
        m_inHeaders[k].data = m_inData + k * bufferSamples;
        m_inHeaders[k].bufferLength =
            static_cast<std::uint32_t>(bufferSamples * sizeof(std::int16_t));
    }
    m_hWaveIn->AddBuffer(&m_inHeaders[0]);
    std::fill(m_inData, m_inData + m_inFormat.RingSamples(), std::int16_t{0});

    // Armed before the device starts, so that a buffer completing at once is
    // re-queued rather than lost.
    m_inTotal = 0;
    m_inLostTotal = 0;
    m_capturing = 1;
    const int started = m_hWaveIn->Start();
    if (started != kWaveOk) {
        ReportWaveError(started, told);
        CloseCapture();
        return 0;
    }
    return 1;
}

void CWaveDevice::WaveInCallback(void* instance, WaveHeader* header) {
    auto* self = static_cast<CWaveDevice*>(instance);
    const CCompletionScope scope(self->m_inCompletions);
    if (self->m_capturing == 0) {
        return;
    }
    // The part-filled buffer of a lost device is not a completed one.
    if ((header->flags & kWaveHdrLost) != 0) {
        self->m_inLost = 1;
        if (INotifyTarget* target = self->m_notifyWnd.load()) {
            target->PostCaptureLost();
        }
        return;
    }
    if ((header->flags & kWaveHdrEnd) != 0) {
        self->m_inEnded = 1;
        if (INotifyTarget* target = self->m_notifyWnd.load()) {
            target->PostCaptureEnded();
        }
        return;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    self->m_inStampNs[self->m_inIndex].store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
        std::memory_order_relaxed);
    const auto slot = static_cast<std::size_t>(self->m_inIndex.load());
    const auto within = static_cast<std::int64_t>(header->lost);
    self->m_inLostBefore[slot].store(self->m_inLostTotal, std::memory_order_relaxed);
    self->m_inLostAt[slot].store(static_cast<int>(header->lostAt), std::memory_order_relaxed);
    self->m_inLostWithin[slot].store(within, std::memory_order_relaxed);
    self->m_inLostTotal += within;
    int index = self->m_inIndex + 1;
    if (index == kRingBuffers) {
        index = 0;
        self->m_inWrapped = 1;
    }
    self->m_inTotal.fetch_add(1);
    self->m_inIndex = index;
    WaveHeader& next = self->m_inHeaders[index];
    next.bytesRecorded = 0;
    next.flags = 0;
    self->m_hWaveIn->AddBuffer(&next);
    if (INotifyTarget* target = self->m_notifyWnd.load()) {
        target->PostCaptureData();
    }
}

// A completion that saw m_capturing set may still be queueing its successor
// and posting; once this returns, every completion sees it cleared.
void CWaveDevice::WaitForCompletions() {
    for (int n = m_inCompletions.load(); n != 0; n = m_inCompletions.load()) {
        m_inCompletions.wait(n);
    }
}

void CWaveDevice::StopCapture(Warnings& told) {
    if (!m_hWaveIn) {
        return;
    }
    // A lost device fails to reset and close; the user has been told it is gone.
    if (m_inLost != 0) {
        CloseCapture();
        return;
    }
    m_capturing = 0;
    WaitForCompletions();
    ReportWaveError(m_hWaveIn->Reset(), told);
    ReportWaveError(m_hWaveIn->Close(), told);
    m_hWaveIn.reset();
}

// The quiet close of a start that failed half-way, or of the destructor.
void CWaveDevice::CloseCapture() {
    if (!m_hWaveIn) {
        return;
    }
    m_capturing = 0;
    WaitForCompletions();
    m_hWaveIn->Reset();
    m_hWaveIn->Close();
    m_hWaveIn.reset();
}

int CWaveDevice::EnsurePlaybackBlock() {
    if (m_outBlock) {
        return 1;
    }
    m_outBlock.reset(new (std::nothrow) std::int16_t[kRingSamples]());
    if (!m_outBlock) {
        return 0;
    }
    m_outData = m_outBlock.get();
    return 1;
}

int CWaveDevice::StartPlayback(const DeviceSpec& spec, INotifyTarget* notifyWnd, Warnings& told) {
    ClosePlayback();
    m_notifyWnd.store(notifyWnd);

    m_spec = spec;
    const int opened =
        WaveService().OutOpen(&m_hWaveOut, spec.deviceId, FormatOf(spec, kSampleRate));
    if (opened != kWaveOk) {
        m_hWaveOut.reset();
        told.push_back(
            {WarningCode::PlaybackOpenFailed, WarningText(WarningCode::PlaybackOpenFailed)});
        return 0;
    }

    if (EnsurePlaybackBlock() == 0) {
        ClosePlayback();
        return 0;
    }

    m_outHeader = WaveHeader{};
    m_outHeader.data = m_outData;
    m_outHeader.bufferLength = static_cast<std::uint32_t>(kRingBytes);
    m_outHeader.flags = kWaveHdrBeginLoop | kWaveHdrEndLoop;
    m_outHeader.loops = kLoopForever;
    for (int i = 0; i < kRingSamples; ++i) {
        std::atomic_ref<std::int16_t>(m_outData[i]).store(0, std::memory_order_relaxed);
    }

    const int written = m_hWaveOut->Write(&m_outHeader);
    ReportWaveError(written, told);
    if (written != kWaveOk) {
        ClosePlayback();
        return 0;
    }
    return 1;
}

void CWaveDevice::StopPlayback(Warnings& told) {
    if (!m_hWaveOut) {
        return;
    }
    ReportWaveError(m_hWaveOut->Reset(), told);
    ReportWaveError(m_hWaveOut->Close(), told);
    m_hWaveOut.reset();
}

void CWaveDevice::ClosePlayback() {
    if (!m_hWaveOut) {
        return;
    }
    m_hWaveOut->Reset();
    m_hWaveOut->Close();
    m_hWaveOut.reset();
}

void CWaveDevice::ReportWaveError(int result, Warnings& told) {
    const char* name = result == kWaveInvalidHandle ? "MMSYSERR_INVALHANDLE"
                       : result == kWaveNoDriver    ? "MMSYSERR_NODRIVER"
                       : result == kWaveNoMemory    ? "MMSYSERR_NOMEM"
                                                    : nullptr;
    if (name != nullptr) {
        told.push_back({WarningCode::AudioError, name});
    }
}

}  // namespace velto

#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/WaveService.h"
#include "base/CaptureFormat.h"
#include "base/Geometry.h"
#include "base/SystemTime.h"
#include "health/Warning.h"

namespace velto {

inline constexpr int WAVE_MAPPER = -1;

struct DeviceSpec {
    std::string name;
    int deviceId = WAVE_MAPPER;
    // When set, capture replays this recording in real time instead of
    // opening a sound card.
    std::string replayFile;
    // Capture: 96000 or 192000 (a CaptureFormat's rate). The monitor's
    // playback always runs at the base rate, whatever this says.
    std::uint32_t sampleRate = kSampleRate;
    std::uint16_t bitsPerSample = kBitsPerSample;
    // Capture: the station received (what the simulated device sends).
    StationId station = StationId::Jjy40;
};

// Told once per completed capture buffer, on the audio service's thread. The
// receiver's hand-over implements it by posting an event to its own thread.
class INotifyTarget {
public:
    virtual ~INotifyTarget() = default;
    virtual void PostCaptureData() = 0;
    // Told once when the capture device stops delivering (unplugged, sound
    // server gone), on the audio service's thread. No buffer follows; the
    // owner closes the capture with StopCapture, which then stays quiet.
    virtual void PostCaptureLost() {}
    // Told once when the capture's input has come to its end (a replayed
    // recording), on the audio service's thread. No buffer follows.
    virtual void PostCaptureEnded() {}
};

// The capture ring and the looping playback block over the audio service.
// The capture thread fills the ring and tells `notifyWnd`; the owner's thread
// reads completed buffers and rewrites the playback block while it plays.
//
// Failures are not shown here: each call that may fail adds what the user is
// to be told to `told` (a text and its code), and the caller shows it.
class CWaveDevice {
public:
    CWaveDevice();
    ~CWaveDevice();
    CWaveDevice(const CWaveDevice&) = delete;
    CWaveDevice& operator=(const CWaveDevice&) = delete;

    // 1 when capture runs, else 0.
    int StartCapture(const DeviceSpec& spec, INotifyTarget* notifyWnd, Warnings& told);
    void StopCapture(Warnings& told);
    // 1 when playback runs, else 0.
    int StartPlayback(const DeviceSpec& spec, INotifyTarget* notifyWnd, Warnings& told);
    void StopPlayback(Warnings& told);
    int EnsurePlaybackBlock();
    // The named errors of a call's result (5, 6 and 7) for the user; others say nothing.
    static void ReportWaveError(int result, Warnings& told);

    // The spec of the device opened last, capture or playback.
    const DeviceSpec& Spec() const { return m_spec; }
    // The format of the capture ring, as the last StartCapture set it up.
    CaptureFormat InFormat() const { return m_inFormat; }
    bool IsCaptureOpen() const { return m_hWaveIn != nullptr; }
    bool IsPlaybackOpen() const { return m_hWaveOut != nullptr; }
    // The sample of the playback block the device is handed next; -1 when
    // no playback is open or it cannot tell.
    std::int64_t PlaybackPosition() const { return m_hWaveOut ? m_hWaveOut->Position() : -1; }
    // The open capture device has stopped delivering.
    bool IsCaptureLost() const { return m_inLost.load() != 0; }
    // The open capture device's input has come to its end.
    bool IsCaptureEnded() const { return m_inEnded.load() != 0; }
    // Samples the open capture stream has lost so far (the service's thread
    // late, the card's buffer overrun); 0 when none is open.
    std::uint64_t DroppedSamples() const { return m_hWaveIn ? m_hWaveIn->DroppedSamples() : 0; }

    // The last completed capture buffer, 0..79: the one before the buffer
    // being filled, or 79 once the ring has wrapped; -1 while this run has
    // completed none.
    int LastBuffer() const;
    // The ring has wrapped in this run.
    bool Wrapped() const { return m_inWrapped.load() == 1; }
    // Completed capture buffers since the last start, not capped: buffer n of
    // the run lies in ring slot n % 80. Lets a reader that must see every
    // buffer (the decoder) keep its own cursor.
    std::int64_t CompletedBuffers() const { return m_inTotal.load(); }
    // The InFormat().BufferSamples() samples of ring slot b; null before the
    // first start.
    const std::int16_t* BufferSamples(int b) const;
    // When ring slot b last came back full, by the system clock.
    SystemTime BufferStamp(int b) const;
    // The samples the stream lost before ring slot b's buffer and in it: the
    // buffer's first sample has the running index 9600 n + before (n its
    // number in the run), and `within` samples went missing before its
    // sample `at`.
    struct Loss {
        std::int64_t before = 0;
        int at = 0;
        std::int64_t within = 0;
    };
    Loss BufferLoss(int b) const;
    // The looping playback block, kRingSamples; null until obtained. Read by
    // the playback device while the owner rewrites slots: every access goes
    // through relaxed std::atomic_ref<std::int16_t>.
    std::int16_t* PlaybackBlock() const { return m_outData; }

private:
    static void WaveInCallback(void* instance, WaveHeader* header);
    void WaitForCompletions();
    void CloseCapture();
    void ClosePlayback();

    // Capture ring counters, written by the service thread, read by the owner's.
    std::atomic<int> m_inIndex{0};
    std::atomic<int> m_inWrapped{0};
    // System time (CLOCK_REALTIME, ns) at which capture buffer k came back
    // full; written before m_inIndex moves past it. Ties sample indices to
    // the system clock for feeding it.
    std::array<std::atomic<std::int64_t>, kRingBuffers> m_inStampNs{};
    std::atomic<std::int64_t> m_inTotal{0};
    // Of each ring slot, as BufferLoss tells it; written with its stamp.
    std::array<std::atomic<std::int64_t>, kRingBuffers> m_inLostBefore{};
    std::array<std::atomic<int>, kRingBuffers> m_inLostAt{};
    std::array<std::atomic<std::int64_t>, kRingBuffers> m_inLostWithin{};
    // The callback's own: samples lost in this run so far.
    std::int64_t m_inLostTotal = 0;
    // Capture: 80 buffers of the format's size, allocated again only when
    // the format changes; playback: 80 x 9600 samples at the base rate,
    // allocated once. Null until obtained.
    CaptureFormat m_inFormat = kBaseFormat;
    std::int16_t* m_inData = nullptr;
    std::int16_t* m_outData = nullptr;
    std::array<WaveHeader, kRingBuffers> m_inHeaders{};
    WaveHeader m_outHeader{};
    std::unique_ptr<std::int16_t[]> m_inBlock;
    std::unique_ptr<std::int16_t[]> m_outBlock;
    std::atomic<INotifyTarget*> m_notifyWnd{nullptr};
    DeviceSpec m_spec;
    std::atomic<std::int16_t> m_capturing{0};
    std::atomic<int> m_inLost{0};
    std::atomic<int> m_inEnded{0};
    // Completions inside WaveInCallback right now; StopCapture waits for 0.
    std::atomic<int> m_inCompletions{0};
    // Declared last: destroyed first, while the blocks still exist.
    std::unique_ptr<IWaveIn> m_hWaveIn;
    std::unique_ptr<IWaveOut> m_hWaveOut;
};

}  // namespace velto

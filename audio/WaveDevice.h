#pragma once

// Contract of the audio object as the rest of the program uses it. The audio
// layer owns this file and may add private members; the public names below
// are what the frame, the strips and the tests rely on.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/WaveService.h"
#include "dsp/Constants.h"

namespace velto {

inline constexpr int WAVE_MAPPER = -1;

struct DeviceSpec {
    std::string name;
    int deviceId = WAVE_MAPPER;
    // When set, capture replays this recording in real time instead of
    // opening a sound card.
    std::string replayFile;
    std::uint32_t sampleRate = kSampleRate;
    std::uint16_t bitsPerSample = kBitsPerSample;
};

// Told once per completed capture buffer, on the audio service's thread. The
// frame implements it by posting an event to itself.
class INotifyTarget {
public:
    virtual ~INotifyTarget() = default;
    virtual void PostCaptureData() = 0;
    // Told once when the capture device stops delivering (unplugged, sound
    // server gone), on the audio service's thread. No buffer follows; the
    // owner closes the capture with StopCapture, which then stays quiet.
    virtual void PostCaptureLost() {}
};

class CWaveDevice {
public:
    CWaveDevice();
    ~CWaveDevice();
    CWaveDevice(const CWaveDevice&) = delete;
    CWaveDevice& operator=(const CWaveDevice&) = delete;

    int StartCapture(const DeviceSpec& spec, INotifyTarget* notifyWnd);
    void StopCapture();
    int StartPlayback(const DeviceSpec& spec, INotifyTarget* notifyWnd);
    void StopPlayback();
    int EnsurePlaybackBlock();
    static void ReportWaveError(int result);

    // The spec of the device opened last, capture or playback.
    const DeviceSpec& Spec() const { return m_spec; }
    bool IsCaptureOpen() const { return m_hWaveIn != nullptr; }
    bool IsPlaybackOpen() const { return m_hWaveOut != nullptr; }
    // The sample of the playback block the device is handed next; -1 when
    // no playback is open or it cannot tell.
    std::int64_t PlaybackPosition() const { return m_hWaveOut ? m_hWaveOut->Position() : -1; }
    // The open capture device has stopped delivering.
    bool IsCaptureLost() const { return m_inLost.load() != 0; }
    // Samples the open capture stream has lost so far (the service's thread
    // late, the card's buffer overrun); 0 when none is open.
    std::uint64_t DroppedSamples() const { return m_hWaveIn ? m_hWaveIn->DroppedSamples() : 0; }

    // Capture ring counters, written by the service thread, read by the window thread.
    std::atomic<int> m_inIndex{0};
    std::atomic<int> m_inWrapped{0};
    std::atomic<int> m_inCount{0};
    // System time (CLOCK_REALTIME, ns) at which capture buffer k came back
    // full; written before m_inIndex moves past it. Ties sample indices to
    // the system clock for feeding it.
    std::array<std::atomic<std::int64_t>, kRingBuffers> m_inStampNs{};
    // Completed capture buffers since the last start, not capped: buffer n of
    // the run lies in ring slot n % 80. Lets a reader that must see every
    // buffer (the decoder) keep its own cursor.
    std::atomic<std::int64_t> m_inTotal{0};
    // 80 x 9600 samples each, allocated once; null until obtained.
    std::int16_t* m_inData = nullptr;
    // Read by the playback device while the window thread rewrites slots:
    // every access goes through relaxed std::atomic_ref<std::int16_t>.
    std::int16_t* m_outData = nullptr;

private:
    static void WaveInCallback(void* instance, WaveHeader* header);
    void WaitForCompletions();
    void CloseCapture();
    void ClosePlayback();

    std::array<WaveHeader, kRingBuffers> m_inHeaders{};
    WaveHeader m_outHeader{};
    std::unique_ptr<std::int16_t[]> m_inBlock;
    std::unique_ptr<std::int16_t[]> m_outBlock;
    std::atomic<INotifyTarget*> m_notifyWnd{nullptr};
    DeviceSpec m_spec;
    std::atomic<std::int16_t> m_capturing{0};
    std::atomic<int> m_inLost{0};
    // Completions inside WaveInCallback right now; StopCapture waits for 0.
    std::atomic<int> m_inCompletions{0};
    // Declared last: destroyed first, while the blocks still exist.
    std::unique_ptr<IWaveIn> m_hWaveIn;
    std::unique_ptr<IWaveOut> m_hWaveOut;
};

}  // namespace velto

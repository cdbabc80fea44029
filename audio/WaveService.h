#pragma once

// The audio service CWaveDevice runs on: a small interface after the
// waveform-audio calls, so that the real sound system, the built-in simulator
// and the tests' fake can stand behind the same capture and playback code.

#include <cstdint>
#include <memory>
#include <string>

#include "station/Station.h"

namespace velto {

// Results of every call: 0 is success, the three named errors keep their
// waveform-audio numbers, and anything else is another failure.
inline constexpr int kWaveOk = 0;
inline constexpr int kWaveError = 1;
inline constexpr int kWaveBadDeviceId = 2;
inline constexpr int kWaveInvalidHandle = 5;
inline constexpr int kWaveNoDriver = 6;
inline constexpr int kWaveNoMemory = 7;
inline constexpr int kWaveBadFormat = 32;

// A device number that no service hands out.
inline constexpr int kNoWaveDevice = -2;

// Header flags.
inline constexpr std::uint32_t kWaveHdrDone = 0x01;
inline constexpr std::uint32_t kWaveHdrBeginLoop = 0x04;
inline constexpr std::uint32_t kWaveHdrEndLoop = 0x08;
// Set on the capture buffer a stream hands back when its device stopped
// delivering (unplugged, sound server gone); no buffer follows.
inline constexpr std::uint32_t kWaveHdrLost = 0x100;
// Set on the capture buffer a stream hands back, empty, when its input has
// come to its end (a replayed recording); no buffer follows.
inline constexpr std::uint32_t kWaveHdrEnd = 0x200;

struct WaveFormat {
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t bitsPerSample = 0;
    // Capture: the station the run receives, which the simulated device sends.
    StationId station = StationId::Jjy40;
};

// One buffer handed to a device. While a capture buffer is queued the service
// owns it and fills it from bytesRecorded on; it hands it back when full.
struct WaveHeader {
    std::int16_t* data = nullptr;
    std::uint32_t bufferLength = 0;  // bytes
    std::uint32_t bytesRecorded = 0;
    std::uint32_t flags = 0;
    std::uint32_t loops = 0;
    // Capture: `lost` samples the stream lost between samples lostAt - 1 and
    // lostAt of this buffer (lostAt 0: before its first); 0 when none.
    std::uint32_t lostAt = 0;
    std::uint64_t lost = 0;
};

// Called when a queued capture buffer comes back: full, partly filled by a
// reset, or partly filled and flagged kWaveHdrLost when the device was lost.
// Runs on a thread of the service, except for the buffer a reset returns,
// which may come on the thread that called Reset.
using WaveInProc = void (*)(void* instance, WaveHeader* header);

// An open capture stream. Destroying it closes it; once Reset, Close or the
// destructor has returned, no callback of this stream is running.
class IWaveIn {
public:
    virtual ~IWaveIn() = default;
    // Queues one buffer; the stream holds at most one at a time.
    virtual int AddBuffer(WaveHeader* header) = 0;
    virtual int Start() = 0;
    // Stops capturing and returns the queued buffer through the callback.
    virtual int Reset() = 0;
    virtual int Close() = 0;
    // Samples that arrived while no buffer was queued, or that the stream
    // could not keep up with.
    virtual std::uint64_t DroppedSamples() const = 0;
};

// An open playback stream.
class IWaveOut {
public:
    virtual ~IWaveOut() = default;
    // Plays the header's block from its first sample, wrapping at its end,
    // until Reset. The block is read with relaxed atomic loads, so the
    // application may rewrite it (with relaxed atomic stores) while it plays.
    virtual int Write(WaveHeader* header) = 0;
    virtual int Reset() = 0;
    virtual int Close() = 0;
    // The sample of the block the stream hands to the device next, or -1
    // when the stream cannot tell.
    virtual std::int64_t Position() const { return -1; }
};

class IWaveService {
public:
    virtual ~IWaveService() = default;

    // Capture devices are numbered 0..InGetNumDevs()-1, playback devices
    // 0..OutGetNumDevs()-1; WAVE_MAPPER (-1) opens the system's default. A
    // name that cannot be read is empty.
    virtual int InGetNumDevs() = 0;
    virtual std::string InGetDevName(int deviceId) = 0;
    virtual int OutGetNumDevs() = 0;
    virtual std::string OutGetDevName(int deviceId) = 0;
    // Number of the built-in simulated capture device, kNoWaveDevice if none.
    virtual int InSimulatorId() { return kNoWaveDevice; }
    // Whether capture device deviceId (or WAVE_MAPPER) takes one 16-bit
    // channel at this rate, as far as the service can tell without opening
    // it; a service that cannot tell promises the base rate only.
    virtual bool InSupportsRate(int /*deviceId*/, int rate) { return rate == 96000; }
    // Looks for the devices there are now (a card plugged in or removed since);
    // device numbers may change. Does nothing and returns false while a stream
    // of the service is open.
    virtual bool Refresh() { return true; }

    // On success *handle holds the open stream; on failure it is left null.
    virtual int InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId, const WaveFormat& format,
                       WaveInProc callback, void* instance) = 0;
    virtual int OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId,
                        const WaveFormat& format) = 0;
};

// The service in use: the system's sound devices and the simulator, unless a
// test has installed its own. Used from the window thread only.
IWaveService& WaveService();
// Installs a service (not owned; it must outlive every device it opens);
// nullptr goes back to the system's.
void SetWaveService(IWaveService* service);

}  // namespace velto

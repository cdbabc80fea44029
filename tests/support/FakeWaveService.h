#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveInQueue.h"
#include "audio/WaveService.h"
#include "base/Geometry.h"

namespace velto {

enum class FakeCall {
    InOpen,
    InAddBuffer,
    InStart,
    InReset,
    InClose,
    OutOpen,
    OutWrite,
    OutReset,
    OutClose,
    Refresh
};

// A scripted audio service: records the calls, returns a chosen result for each kind, and
// completes capture buffers when a test says, even during a reset or close, as a driver.
class CFakeWaveService : public IWaveService {
public:
    std::vector<std::string> m_inNames{"Line In", "Microphone"};
    std::vector<std::string> m_outNames{"Speakers"};
    // What the open playback stream says of its position.
    std::atomic<std::int64_t> m_outPosition{-1};
    // The last capture open's device, and the block last given to playback.
    std::atomic<int> m_openedIn{kNoWaveDevice};
    std::atomic<std::uint32_t> m_openedInRate{0};
    std::atomic<const std::int16_t*> m_played{nullptr};

    // Every later call of this kind returns `result` (and fails to open).
    void SetResult(FakeCall call, int result) {
        m_results[static_cast<std::size_t>(call)] = result;
    }
    std::vector<FakeCall> Calls() const {
        const std::lock_guard lock(m_logMutex);
        return m_calls;
    }
    int PlaybackOpens() const {
        return static_cast<int>(std::ranges::count(Calls(), FakeCall::OutOpen));
    }

    // Fills the queued capture buffer with `value` and hands it back; false if none.
    bool CompleteBuffer(std::int16_t value);
    // The same with the buffer's samples (9600 unless told; fewer: part of a buffer).
    bool CompleteBuffer(const std::int16_t* samples, std::size_t count = kBufferSamples);
    // Runs `call` on a driver thread of its own, as a sound card calls back.
    static bool OnDriver(const std::function<bool()>& call) {
        bool result = false;
        std::thread([&] { result = call(); }).join();
        return result;
    }
    bool CompleteOnDriver(std::int16_t value) {
        return OnDriver([&] { return CompleteBuffer(value); });
    }
    bool CompleteOnDriver(const std::int16_t* samples, std::size_t count = kBufferSamples) {
        return OnDriver([&] { return CompleteBuffer(samples, count); });
    }
    // The device goes away: its buffer comes back flagged lost; false if none.
    bool LoseDevice();
    // The started stream loses `count` samples here; false if none was started.
    bool DropSamples(std::size_t count) {
        const std::shared_ptr<CWaveInQueue> queue = Started();
        if (queue) queue->Lose(count);
        return queue != nullptr;
    }

    int InGetNumDevs() override { return static_cast<int>(m_inNames.size()); }
    std::string InGetDevName(int deviceId) override { return NameAt(m_inNames, deviceId); }
    int OutGetNumDevs() override { return static_cast<int>(m_outNames.size()); }
    std::string OutGetDevName(int deviceId) override { return NameAt(m_outNames, deviceId); }
    bool Refresh() override { return Record(FakeCall::Refresh) == kWaveOk; }
    int InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId, const WaveFormat& format,
               WaveInProc callback, void* instance) override;
    int OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId, const WaveFormat& format) override;

    // For the fake's streams: logs the call and returns its scripted result.
    int Record(FakeCall call) {
        const std::lock_guard lock(m_logMutex);
        m_calls.push_back(call);
        return m_results[static_cast<std::size_t>(call)];
    }
    // The queue of the started capture stream, which CompleteBuffer fills.
    void SetStarted(std::shared_ptr<CWaveInQueue> queue) {
        const std::lock_guard lock(m_inMutex);
        m_started = std::move(queue);
    }

private:
    mutable std::mutex m_logMutex;
    std::vector<FakeCall> m_calls;
    std::array<std::atomic<int>, 10> m_results{};

    std::shared_ptr<CWaveInQueue> Started() {
        const std::lock_guard lock(m_inMutex);
        return m_started;
    }
    static std::string NameAt(const std::vector<std::string>& names, int deviceId) {
        return deviceId >= 0 && deviceId < static_cast<int>(names.size()) ? names[deviceId] : "";
    }

    std::mutex m_inMutex;
    std::shared_ptr<CWaveInQueue> m_started;
};

}  // namespace velto

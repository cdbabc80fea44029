#include "tests/audio/FakeWaveService.h"

#include <algorithm>

#include "dsp/Constants.h"

namespace velto {
namespace {

class CFakeWaveIn : public IWaveIn {
public:
    CFakeWaveIn(CFakeWaveService& service, std::shared_ptr<CFakeWaveService::InState> state)
        : m_service(service), m_state(std::move(state)) {
        m_service.SetCurrentIn(m_state);
    }
    ~CFakeWaveIn() override { m_service.SetCurrentIn(nullptr); }

    int AddBuffer(WaveHeader* header) override {
        m_service.RecordQueued(header->data);
        const int result = m_service.Record(FakeCall::InAddBuffer);
        return result != kWaveOk ? result : m_state->queue.Add(header);
    }
    int Start() override {
        const int result = m_service.Record(FakeCall::InStart);
        if (result == kWaveOk) {
            m_state->started = true;
        }
        return result;
    }
    int Reset() override {
        m_state->started = false;
        m_state->queue.ReturnQueued();
        return m_service.Record(FakeCall::InReset);
    }
    int Close() override {
        m_state->started = false;
        m_service.SetCurrentIn(nullptr);
        return m_service.Record(FakeCall::InClose);
    }
    std::uint64_t DroppedSamples() const override { return m_state->queue.Dropped(); }

private:
    CFakeWaveService& m_service;
    std::shared_ptr<CFakeWaveService::InState> m_state;
};

class CFakeWaveOut : public IWaveOut {
public:
    explicit CFakeWaveOut(CFakeWaveService& service) : m_service(service) {}

    int Write(WaveHeader* header) override {
        const int result = m_service.Record(FakeCall::OutWrite);
        if (result == kWaveOk) {
            m_service.SetPlaying(header);
        }
        return result;
    }
    int Reset() override {
        m_service.SetPlaying(nullptr);
        return m_service.Record(FakeCall::OutReset);
    }
    int Close() override { return m_service.Record(FakeCall::OutClose); }

private:
    CFakeWaveService& m_service;
};

std::string NameAt(const std::vector<std::string>& names, int deviceId) {
    return deviceId >= 0 && deviceId < static_cast<int>(names.size()) ? names[deviceId]
                                                                      : std::string();
}

}  // namespace

void CFakeWaveService::SetResult(FakeCall call, int result) {
    m_results[static_cast<std::size_t>(call)] = result;
}

int CFakeWaveService::Record(FakeCall call) {
    const std::lock_guard lock(m_logMutex);
    m_calls.push_back(call);
    return m_results[static_cast<std::size_t>(call)];
}

void CFakeWaveService::RecordQueued(std::int16_t* data) {
    const std::lock_guard lock(m_logMutex);
    m_queued.push_back(data);
}

std::vector<FakeCall> CFakeWaveService::Calls() const {
    const std::lock_guard lock(m_logMutex);
    return m_calls;
}

std::vector<std::int16_t*> CFakeWaveService::Queued() const {
    const std::lock_guard lock(m_logMutex);
    return m_queued;
}

WaveHeader* CFakeWaveService::Playing() const { return m_playing.load(); }
void CFakeWaveService::SetPlaying(WaveHeader* header) { m_playing.store(header); }

void CFakeWaveService::SetCurrentIn(std::shared_ptr<InState> state) {
    const std::lock_guard lock(m_inMutex);
    m_in = std::move(state);
}

std::string CFakeWaveService::InGetDevName(int deviceId) { return NameAt(m_inNames, deviceId); }
std::string CFakeWaveService::OutGetDevName(int deviceId) { return NameAt(m_outNames, deviceId); }

int CFakeWaveService::InOpen(std::unique_ptr<IWaveIn>* handle, int, const WaveFormat&,
                             WaveInProc callback, void* instance) {
    const int result = Record(FakeCall::InOpen);
    if (result == kWaveOk) {
        *handle =
            std::make_unique<CFakeWaveIn>(*this, std::make_shared<InState>(callback, instance));
    }
    return result;
}

int CFakeWaveService::OutOpen(std::unique_ptr<IWaveOut>* handle, int, const WaveFormat&) {
    const int result = Record(FakeCall::OutOpen);
    if (result == kWaveOk) {
        *handle = std::make_unique<CFakeWaveOut>(*this);
    }
    return result;
}

// The stream's state is held for the whole completion, so the completion may
// still be running after the stream was closed, as with a real driver.
bool CFakeWaveService::CompleteBuffer(std::int16_t value) {
    std::shared_ptr<InState> state;
    {
        const std::lock_guard lock(m_inMutex);
        state = m_in;
    }
    if (!state || !state->started) {
        return false;
    }
    const std::vector<std::int16_t> samples(kBufferSamples, value);
    const std::uint64_t dropped = state->queue.Dropped();
    state->queue.Deliver(samples.data(), samples.size());
    return state->queue.Dropped() == dropped;
}

}  // namespace velto

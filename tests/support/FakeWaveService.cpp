#include "tests/support/FakeWaveService.h"

#include "base/Geometry.h"

namespace velto {
namespace {

class CFakeWaveIn : public IWaveIn {
public:
    CFakeWaveIn(CFakeWaveService& service, WaveInProc callback, void* instance)
        : m_service(service), m_queue(std::make_shared<CWaveInQueue>(callback, instance)) {}
    ~CFakeWaveIn() override { m_service.SetStarted(nullptr); }

    int AddBuffer(WaveHeader* header) override {
        const int result = m_service.Record(FakeCall::InAddBuffer);
        return result != kWaveOk ? result : m_queue->Add(header);
    }
    int Start() override {
        const int result = m_service.Record(FakeCall::InStart);
        if (result == kWaveOk) m_service.SetStarted(m_queue);
        return result;
    }
    int Reset() override {
        m_service.SetStarted(nullptr);
        m_queue->ReturnQueued();
        return m_service.Record(FakeCall::InReset);
    }
    int Close() override {
        m_service.SetStarted(nullptr);
        return m_service.Record(FakeCall::InClose);
    }
    std::uint64_t DroppedSamples() const override { return m_queue->Dropped(); }

private:
    CFakeWaveService& m_service;
    std::shared_ptr<CWaveInQueue> m_queue;
};

class CFakeWaveOut : public IWaveOut {
public:
    explicit CFakeWaveOut(CFakeWaveService& service) : m_service(service) {}
    int Write(WaveHeader* header) override {
        m_service.m_played = header->data;
        return m_service.Record(FakeCall::OutWrite);
    }
    int Reset() override { return m_service.Record(FakeCall::OutReset); }
    int Close() override { return m_service.Record(FakeCall::OutClose); }
    std::int64_t Position() const override { return m_service.m_outPosition.load(); }

private:
    CFakeWaveService& m_service;
};

}  // namespace

int CFakeWaveService::InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId,
                             const WaveFormat& format, WaveInProc callback, void* instance) {
    m_openedIn = deviceId;
    m_openedInRate = format.samplesPerSec;
    const int result = Record(FakeCall::InOpen);
    if (result == kWaveOk) *handle = std::make_unique<CFakeWaveIn>(*this, callback, instance);
    return result;
}

int CFakeWaveService::OutOpen(std::unique_ptr<IWaveOut>* handle, int, const WaveFormat&) {
    const int result = Record(FakeCall::OutOpen);
    if (result == kWaveOk) *handle = std::make_unique<CFakeWaveOut>(*this);
    return result;
}

// The queue is held for the whole completion, so the completion may still be
// running after the stream was reset or closed, as with a real driver.
bool CFakeWaveService::CompleteBuffer(std::int16_t value) {
    const std::vector<std::int16_t> samples(kBufferSamples, value);
    return CompleteBuffer(samples.data());
}

bool CFakeWaveService::CompleteBuffer(const std::int16_t* samples, std::size_t count) {
    const std::shared_ptr<CWaveInQueue> queue = Started();
    if (!queue) return false;
    const std::uint64_t dropped = queue->Dropped();
    queue->Deliver(samples, count);
    return queue->Dropped() == dropped;
}

bool CFakeWaveService::LoseDevice() {
    const std::shared_ptr<CWaveInQueue> queue = Started();
    if (!queue) return false;
    SetStarted(nullptr);
    queue->ReturnQueued(kWaveHdrLost);
    return true;
}

}  // namespace velto

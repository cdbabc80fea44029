#include "audio/WaveService.h"

#include <atomic>

#include "audio/SystemWaveService.h"

namespace velto {
namespace {

std::atomic<IWaveService*> g_installed{nullptr};

// Built on first use only, so that a test with its own service never starts
// the sound system.
IWaveService& SystemService() {
    static CSystemWaveService service;
    return service;
}

}  // namespace

IWaveService& WaveService() {
    IWaveService* installed = g_installed.load();
    return installed != nullptr ? *installed : SystemService();
}

void SetWaveService(IWaveService* service) { g_installed.store(service); }

}  // namespace velto

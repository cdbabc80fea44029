#include "headless/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <utility>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) { RequestStop(); }

}  // namespace

bool InstallStopSignals(std::initializer_list<int> stopSignals, IgnoredSignals ignored) {
    if (g_stopPipe[0] < 0 && ::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : stopSignals) {
        struct sigaction before {};
        if (ignored == IgnoredSignals::Kept && sigaction(signal, nullptr, &before) == 0 &&
            before.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    return true;
}

void RequestStop() {
    g_stopRequested = 1;
    if (g_stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    }
}

bool StopRequested() { return g_stopRequested != 0; }

// The pipe is emptied each time, so that one stop is told once.
CStopWatch::CStopWatch(std::function<void()> stop)
    : m_notifier(g_stopPipe[0], QSocketNotifier::Read) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier,
                     [stop = std::move(stop)] {
                         char bytes[64];
                         while (::read(g_stopPipe[0], bytes, sizeof bytes) > 0) {
                         }
                         stop();
                     });
}

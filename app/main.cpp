#include <cstdio>
#include <cstring>
#include <optional>

#include "app/ReceiverApp.h"
#include "audio/WaveService.h"

namespace {

constexpr const char* kUsage =
    "Usage: velto [--simulate]\n"
    "Velto receives the JJY 40 kHz time signal through a sound card sampling at 96 kHz.\n"
    "\n"
    "  --simulate   receive from the built-in JJY simulator instead of a sound card\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Press Space in the window to start and stop reception.\n";

}  // namespace

// The options are read before the application object exists, so that --help
// and --version answer on a console without a display.
int main(int argc, char** argv) {
    bool simulate = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("Velto %s\n", VELTO_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--simulate") == 0) {
            simulate = true;
        }
    }
    CReceiverApp app(argc, argv);
    if (simulate) {
        app.SetCaptureOverride(velto::WaveService().InSimulatorId());
    }
    if (!app.InitInstance()) {
        return 1;
    }
    return app.exec();
}

#include <QGuiApplication>
#include <cstdio>
#include <cstring>

#include "app/ReceiverApp.h"
#include "audio/WaveService.h"
#include "headless/Headless.h"
#include "headless/HeadlessOptions.h"
#include "plot/SpectrumPng.h"

namespace {

constexpr const char* kUsage =
    "Usage: velto [--simulate]\n"
    "       velto --headless [--simulate | --device NAME | --input FILE | --input -] [--json]\n"
    "             [--record FILE.wav] [--chrony-sock PATH] [--shm UNIT] [--latency-ms MS]\n"
    "             [--log DIR [--log-days N]] [--spectrum OUT.png]\n"
    "       velto --list-devices\n"
    "Velto receives the JJY 40 kHz time signal through a sound card sampling at 96 kHz.\n"
    "\n"
    "  --simulate         receive from the built-in JJY simulator instead of a sound card\n"
    "  --headless         run without a window, printing what is received on standard output\n"
    "  --device NAME      capture from the device of this name (headless)\n"
    "  --list-devices     print the names of the capture devices and exit\n"
    "  --input FILE       decode a mono 96000 Hz recording (WAV, FLAC, ...) as fast as possible "
    "(headless)\n"
    "  --input -          decode raw signed 16-bit little-endian mono 96000 Hz samples from "
    "standard input (headless)\n"
    "  --json             print one JSON object per line (headless)\n"
    "  --record FILE.wav  record the input to a 96 kHz 16-bit mono WAV file (headless)\n"
    "  --chrony-sock PATH feed the system clock: a sample a second to chronyd's\n"
    "                     \"refclock SOCK PATH\" while a received time is valid (headless)\n"
    "  --shm UNIT         the same samples through NTP shared-memory unit UNIT, for ntpd\n"
    "                     or chronyd's \"refclock SHM UNIT\" (headless)\n"
    "  --latency-ms MS    the sound card's and receiver's delay, taken off the samples'\n"
    "                     capture times (default 0; see the README to measure it)\n"
    "  --log DIR          append a line a minute to the reception log, a CSV file a day\n"
    "                     in DIR (headless; the window keeps it in ~/.local/share/Velto/log)\n"
    "  --log-days N       delete the log's days older than N days (default 365; 0 keeps\n"
    "                     every day)\n"
    "  --spectrum OUT.png draw the band of the --input recording, its averaged spectrum\n"
    "                     and its waterfalls, into a PNG image (headless)\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Press Space in the window to start and stop reception.\n";

// The console draws a recording's band with Qt Gui on the offscreen
// platform, once its own application object is gone.
bool WriteSpectrum(const velto::CSpectrumAnalyser& analyser, const std::string& path,
                   std::string* error) {
    char name[] = "velto";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char* args[] = {name, platform, offscreen, nullptr};
    int count = 3;
    QGuiApplication app(count, args);
    QString problem;
    if (!spectrumpng::Write(analyser, QString::fromStdString(path), &problem)) {
        *error = problem.toStdString();
        return false;
    }
    return true;
}

}  // namespace

// The options are read before the application object exists, so that --help,
// --version and the console front end work without a display.
int main(int argc, char** argv) {
    bool simulate = false;
    bool headless = false;
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
        // The console's own options need no --headless of their own.
        headless = headless || IsConsoleOption(argv[i]);
    }
    if (headless) {
        return RunHeadless(argc, argv,
                           SpectrumPicture{spectrumpng::kMaxWaterfallRows, WriteSpectrum});
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

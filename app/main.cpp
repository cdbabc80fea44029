#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ReceiverApp.h"
#include "audio/WaveService.h"
#include "base/NumericLocale.h"
#include "headless/CommandLine.h"
#include "headless/Headless.h"
#include "language/UiLanguage.h"
#include "plot/SpectrumPng.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kNoDisplay =
    "velto: there is no display to open the window on; velto --headless receives without one "
    "(velto --help lists its options).\n";

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Qt's own platforms (offscreen, vnc, ...) need no display server; X11 and
// Wayland need one named in the environment.
bool DisplayNamed() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool server = platform == nullptr || *platform == '\0' ||
                        std::strncmp(platform, "xcb", 3) == 0 ||
                        std::strncmp(platform, "wayland", 7) == 0;
    return !server || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

// A display that is named but cannot be reached ends Qt with abort(); the
// user gets the one sentence and status 1 instead.
QtMessageHandler g_qtHandler = nullptr;
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(kExitFailure);
    }
    g_qtHandler(type, context, text);
}

// The offscreen platform asks for a runtime folder that a service or root
// often lacks; Qt's note on it says nothing about the picture.
QtMessageHandler g_drawingNext = nullptr;
void OnDrawingMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths:"))) {
        return;
    }
    g_drawingNext(type, context, text);
}

// The console draws a recording's band with Qt Gui on the offscreen
// platform, once its own application object is gone.
bool WriteSpectrum(const velto::CSpectrumAnalyser& analyser, const std::string& path,
                   std::string* error) {
    g_drawingNext = qInstallMessageHandler(OnDrawingMessage);
    char name[] = "velto";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char* args[] = {name, platform, offscreen, nullptr};
    int count = 3;
    QGuiApplication app(count, args);
    velto::KeepNumbersInCNotation();
    const CUiTranslations language(UiLanguageFromEnvironment());
    QString problem;
    if (!spectrumpng::Write(analyser, QString::fromStdString(path), &problem)) {
        *error = problem.toStdString();
        return false;
    }
    return true;
}

}  // namespace

// The command line is read before the application object exists, so that
// --help, --version, its mistakes and the console front end need no display.
// Standard streams that came closed are opened on /dev/null, so that no
// descriptor opened later (the event loop's, a recording's) takes their
// numbers and gets what is written to them.
void OpenClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}

int main(int argc, char** argv) {
    OpenClosedStandardStreams();
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(ArgumentsOf(argc, argv), &line, &error)) {
        std::fprintf(stderr, "velto: %s Try velto --help.\n", error.c_str());
        return kExitUsage;
    }
    switch (line.mode) {
        case RunMode::Help:
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        case RunMode::Version:
            std::printf("Velto %s\n", VELTO_VERSION);
            return 0;
        case RunMode::Console:
            return RunHeadless(line.options, argc, argv,
                               SpectrumPicture{spectrumpng::kMaxWaterfallRows, WriteSpectrum});
        case RunMode::Window:
            break;
    }
    if (!DisplayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return kExitFailure;
    }
    g_qtHandler = qInstallMessageHandler(OnQtMessage);
    CReceiverApp app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    if (line.options.simulate) {
        app.SetCaptureOverride(velto::WaveService().InSimulatorId());
    }
    if (line.options.choice) {
        app.SetStationOverride(*line.options.choice);
    }
    if (!app.InitInstance()) {
        return kExitFailure;
    }
    return app.exec();
}

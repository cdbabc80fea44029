#include "headless/Headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "audio/RawSampleReader.h"
#include "audio/SoundFileReader.h"
#include "audio/Warning.h"
#include "audio/WavFileWriter.h"
#include "audio/WaveService.h"
#include "headless/EventPrinter.h"
#include "headless/HeadlessOptions.h"
#include "receiver/ChronySock.h"
#include "receiver/ClockFeed.h"
#include "receiver/DeviceProfile.h"
#include "receiver/Receiver.h"
#include "receiver/ShmRefclock.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Unpaced input is read and decoded one second at a time.
constexpr std::size_t kReadSamples = velto::kSampleRate;

volatile std::sig_atomic_t g_stopRequested = 0;
int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    g_stopRequested = 1;
    if (g_stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    }
}

// SIGINT and SIGTERM end the run in order. They do not restart an
// interrupted read, so a wait on standard input ends too. A file size limit
// fails the recording's writes instead of ending the process.
bool InstallSignals() {
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}

void Fail(const std::string& sentence) { std::fprintf(stderr, "velto: %s\n", sentence.c_str()); }

// What the audio layer last had to say; a failed start quotes it.
std::string g_audioWarning;

// Hands each capture notification from the audio thread to the event loop.
// A lost device ends the run and the loop.
class CCaptureHandOver : public QObject, public velto::INotifyTarget {
public:
    static constexpr QEvent::Type kCaptureData = static_cast<QEvent::Type>(QEvent::User + 1000);
    static constexpr QEvent::Type kCaptureLost = static_cast<QEvent::Type>(QEvent::User + 1001);

    void SetReceiver(velto::CReceiver* receiver) { m_receiver = receiver; }
    void PostCaptureData() override { QCoreApplication::postEvent(this, new QEvent(kCaptureData)); }
    void PostCaptureLost() override { QCoreApplication::postEvent(this, new QEvent(kCaptureLost)); }
    bool Lost() const { return m_lost; }

protected:
    bool event(QEvent* e) override {
        if (e->type() == kCaptureData) {
            if (m_receiver != nullptr) {
                m_receiver->OnCaptureData();
            }
            return true;
        }
        if (e->type() == kCaptureLost) {
            if (m_receiver != nullptr && m_receiver->OnCaptureLost()) {
                m_lost = true;
                QCoreApplication::quit();
            }
            return true;
        }
        return QObject::event(e);
    }

private:
    velto::CReceiver* m_receiver = nullptr;
    bool m_lost = false;
};

int ListDevices() {
    velto::IWaveService& service = velto::WaveService();
    for (int id = 0; id < service.InGetNumDevs(); ++id) {
        std::printf("%s\n", TrimTrailingSpaces(QString::fromStdString(service.InGetDevName(id)))
                                .toStdString()
                                .c_str());
    }
    return 0;
}

// The device `velto --list-devices` prints under this name; -1 if none.
int DeviceByName(const std::string& name) {
    velto::IWaveService& service = velto::WaveService();
    const QString wanted = TrimTrailingSpaces(QString::fromStdString(name));
    for (int id = 0; id < service.InGetNumDevs(); ++id) {
        if (TrimTrailingSpaces(QString::fromStdString(service.InGetDevName(id))) == wanted) {
            return id;
        }
    }
    return -1;
}

// Reads unpaced input to its end (or to a stop signal) and decodes it.
template <typename Reader>
int DecodeAll(Reader& reader, velto::CReceiver& receiver) {
    std::vector<std::int16_t> samples(kReadSamples);
    receiver.BeginInput();
    while (g_stopRequested == 0) {
        const std::size_t n = reader.Read(samples.data(), samples.size());
        if (n == 0) {
            break;
        }
        receiver.FeedInput(samples.data(), n);
    }
    receiver.EndInput();
    receiver.StopRecording();
    if (g_stopRequested != 0) {
        return 0;
    }
    const std::string problem = reader.EndProblem();
    if (!problem.empty()) {
        Fail(problem);
        return kExitFailure;
    }
    return 0;
}

int RunInput(const std::string& input, velto::CReceiver& receiver) {
    if (input == "-") {
        velto::CRawSampleReader reader(STDIN_FILENO, "standard input");
        return DecodeAll(reader, receiver);
    }
    velto::CSoundFileReader reader;
    std::string error;
    if (!reader.Open(input, &error)) {
        Fail(error);
        return kExitFailure;
    }
    return DecodeAll(reader, receiver);
}

int RunLive(const HeadlessOptions& options, QCoreApplication& app, velto::CReceiver& receiver,
            const CCaptureHandOver& handOver) {
    velto::DeviceSpec spec = ReadDeviceSpec();
    if (options.simulate) {
        spec.deviceId = velto::WaveService().InSimulatorId();
    } else if (options.device) {
        spec.deviceId = DeviceByName(*options.device);
        if (spec.deviceId < 0) {
            Fail("there is no capture device named \"" + *options.device +
                 "\"; velto --list-devices shows their names.");
            return kExitFailure;
        }
    } else {
        spec.deviceId = StoredCaptureDevice();
    }
    // The audio layer tells why an open failed as the window would; here it
    // is part of the one sentence.
    velto::SetWarningFunction(
        [](const std::string& text, const std::string&) { g_audioWarning = text; });
    const int started = receiver.Start(spec, spec);
    velto::SetWarningFunction([](const std::string& text, const std::string&) { Fail(text); });
    if (started != 1) {
        Fail("the capture device could not be started" +
             (g_audioWarning.empty() ? std::string() : " (" + g_audioWarning + ")") + ".");
        return kExitFailure;
    }
    if (!options.simulate && !options.device && spec.deviceId == velto::WAVE_MAPPER &&
        !spec.name.empty()) {
        receiver.RaiseWarning(velto::WarningCode::StoredDeviceMissing,
                              velto::StoredDeviceMissingText(spec.name));
    }
    QSocketNotifier stop(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    if (g_stopRequested == 0) {
        app.exec();
    }
    receiver.Stop();
    return handOver.Lost() ? kExitFailure : 0;
}

// The feed of the system clock the options ask for; null when the shared
// memory cannot be had (CShmRefclock has said why).
std::unique_ptr<velto::CClockFeed> MakeClockFeed(const HeadlessOptions& options,
                                                 const velto::CReceiver& receiver) {
    auto feed = std::make_unique<velto::CClockFeed>(velto::LiveSampleTime(receiver));
    feed->SetLatencyMs(options.latencyMs);
    if (options.shmUnit) {
        auto shm = std::make_unique<velto::CShmRefclock>(*options.shmUnit);
        if (!shm->Attached()) {
            return nullptr;
        }
        feed->AddSink(std::move(shm));
    }
    if (options.chronySock) {
        feed->AddSink(std::make_unique<velto::CChronySock>(*options.chronySock));
    }
    return feed;
}

}  // namespace

int RunHeadless(int argc, char** argv) {
    HeadlessOptions options;
    std::string error;
    if (!ParseHeadlessOptions(argc, argv, &options, &error)) {
        Fail(error + " Try velto --help.");
        return kExitUsage;
    }
    QCoreApplication app(argc, argv);
    // The same profile as the window's.
    QCoreApplication::setOrganizationName(QStringLiteral("Velto"));
    QCoreApplication::setApplicationName(QStringLiteral("Velto"));
    velto::SetWarningFunction([](const std::string& text, const std::string&) { Fail(text); });
    if (options.listDevices) {
        return ListDevices();
    }
    if (!InstallSignals()) {
        Fail("cannot set up signal handling.");
        return kExitFailure;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    CCaptureHandOver handOver;
    velto::CReceiver receiver(handOver);
    handOver.SetReceiver(&receiver);
    // A console has no one listening to the monitor.
    receiver.SetAutoMonitor(false);
    CEventPrinter printer(stdout, options.json, receiver);
    receiver.AddObserver(&printer);
    std::unique_ptr<velto::CClockFeed> clockFeed;
    if (options.chronySock || options.shmUnit) {
        clockFeed = MakeClockFeed(options, receiver);
        if (!clockFeed) {
            receiver.RemoveObserver(&printer);
            return kExitFailure;
        }
        receiver.AddObserver(clockFeed.get());
    }

    if (options.record) {
        std::unique_ptr<velto::CWavFileWriter> writer =
            velto::CWavFileWriter::Create(*options.record, &error);
        if (!writer || !receiver.StartRecording(std::move(writer), &error)) {
            Fail(error);
            return kExitFailure;
        }
    }
    const int status = options.input ? RunInput(*options.input, receiver)
                                     : RunLive(options, app, receiver, handOver);
    if (clockFeed) {
        receiver.RemoveObserver(clockFeed.get());
    }
    receiver.RemoveObserver(&printer);
    return status;
}

#include "headless/Headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "audio/FileId.h"
#include "audio/RawSampleReader.h"
#include "audio/SoundFileReader.h"
#include "audio/StreamHead.h"
#include "audio/WavFileWriter.h"
#include "audio/WaveService.h"
#include "base/NumericLocale.h"
#include "clock/ClockFeedSettings.h"
#include "headless/DeviceMatch.h"
#include "headless/EventPrinter.h"
#include "headless/StopSignals.h"
#include "language/LibraryTexts.h"
#include "language/UiLanguage.h"
#include "logfeed/ReceptionLogFeed.h"
#include "receiver/DeviceProfile.h"
#include "receiver/Receiver.h"
#include "receiver/StationChoice.h"
#include "spectrum/SpectrumAnalyser.h"

namespace {

constexpr int kExitFailure = 1;

// SIGINT and SIGTERM end the run in order, and so does SIGHUP (a closed
// terminal) unless nohup asked for it to be ignored. A file size limit fails
// the recording's writes instead of ending the process, and a closed
// standard output fails the printer's writes.
bool InstallSignals() {
    if (!InstallStopSignals({SIGINT, SIGTERM}, IgnoredSignals::Caught) ||
        !InstallStopSignals({SIGHUP}, IgnoredSignals::Kept)) {
        return false;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

std::string ErrorLine(const std::string& sentence) { return "velto: " + sentence + "\n"; }

void Fail(const std::string& sentence) { std::fputs(ErrorLine(sentence).c_str(), stderr); }

std::string CannotWriteOutput(int error) {
    return std::string("cannot write standard output (") + std::strerror(error) + ")";
}

// Values of the profile that would not do, in one line.
void TellFallbacks(const velto::ProfileFallbacks& found) {
    if (found.empty()) {
        return;
    }
    std::string lines;
    for (const velto::ProfileFallback& fallback : found) {
        lines += (lines.empty() ? "" : "; ") + velto::FallbackLine(fallback);
    }
    Fail("these values of the profile " + ProfilePath().toStdString() +
         " will not do; what follows each arrow is used instead: " + lines + ".");
}

std::string Told(const velto::Warning& warning) { return ToldWarningText(warning.text); }

// What the audio layer and the clock feed have to tell goes to standard
// error, one sentence each.
void Tell(const velto::Warnings& told) {
    for (const velto::Warning& warning : told) {
        Fail(Told(warning));
    }
}

// A lost device ends the run and the loop.
class CLossWatch : public velto::IReceiverObserver {
public:
    void OnCaptureLost() override {
        m_lost = true;
        QCoreApplication::quit();
    }
    bool Lost() const { return m_lost; }

private:
    bool m_lost = false;
};

// A recording asked for and stopped early (a full disk) makes the run a
// failure, whatever else went well.
class CRecordingWatch : public velto::IReceiverObserver {
public:
    void OnWarning(const velto::Warning& warning) override {
        m_stopped = m_stopped || warning.code == velto::WarningCode::RecordingStopped;
    }
    bool Stopped() const { return m_stopped; }

private:
    bool m_stopped = false;
};

// The band of the input: the analyser follows it, and its noise floor goes
// to the reception log. A station or rate other than the analyser's gets an
// analyser of its own, which the printer then reads.
class CBandFeed : public velto::IReceiverObserver {
public:
    CBandFeed(std::unique_ptr<velto::CSpectrumAnalyser>& analyser, CEventPrinter& printer,
              velto::CReceptionLogFeed* log)
        : m_analyser(analyser), m_printer(printer), m_log(log) {}
    void OnConfigured(const velto::Station& station, velto::CaptureFormat format) override {
        velto::SpectrumOptions options = m_analyser->Options();
        options.sampleRate = format.rate;
        options.carrierHz = static_cast<int>(station.carrierHz);
        if (options.sampleRate != m_analyser->Options().sampleRate ||
            options.carrierHz != m_analyser->Options().carrierHz) {
            try {
                m_analyser = std::make_unique<velto::CSpectrumAnalyser>(options);
            } catch (const std::exception& e) {
                Fail(std::string("the band is measured as before: ") + e.what());
            }
            m_printer.SetSpectrum(m_analyser.get());
        }
    }
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override {
        m_analyser->FeedInput(first, samples, n);
        if (m_log != nullptr) {
            m_log->SetNoiseDb(m_analyser->NoiseDb());
        }
    }

private:
    std::unique_ptr<velto::CSpectrumAnalyser>& m_analyser;
    CEventPrinter& m_printer;
    velto::CReceptionLogFeed* m_log;
};

// A device that offers 192 kHz says so after a tab, so that the name stays
// the first field of its line.
int ListDevices() {
    velto::IWaveService& service = velto::WaveService();
    for (int id = 0; id < service.InGetNumDevs(); ++id) {
        std::printf(
            "%s%s\n",
            ShownDeviceName(TrimTrailingSpaces(QString::fromStdString(service.InGetDevName(id))))
                .toStdString()
                .c_str(),
            service.InSupportsRate(id, 2 * velto::kSampleRate) ? "\t192 kHz" : "");
    }
    return 0;
}

// The station of the options, else the one a recording names, else the
// stored one, at `rate` when one is asked for (--rate, a file's own);
// nothing after saying why it will not do. A recording's station that will
// not do (a newer Velto's, or one its rate cannot carry) is said and passed by.
// The stored values that would not do go into *found when given, else are
// told.
std::optional<velto::StationChoice> ChooseFor(const HeadlessOptions& options,
                                              std::optional<long long> rate,
                                              const std::string& source,
                                              const std::string& recorded = {},
                                              velto::ProfileFallbacks* found = nullptr) {
    std::string error;
    if (!options.choice && !recorded.empty()) {
        if (std::optional<velto::StationChoice> choice =
                velto::ChooseStation(recorded, rate, &error)) {
            return choice;
        }
    }
    velto::ProfileFallbacks stored;
    const velto::StationChoice base =
        options.choice ? *options.choice : velto::LoadStoredStation(found ? found : &stored);
    TellFallbacks(stored);
    if (!rate) {
        if (options.choice) {
            return options.choice;
        }
        rate = options.rate.value_or(base.format.rate);
    }
    const std::optional<velto::StationChoice> choice =
        velto::ChooseStation(base.station->name, rate, &error);
    if (!choice) {
        Fail(source.empty() ? error : source + ": " + error);
    } else if (!options.choice && !recorded.empty()) {
        Fail(source + " names " + recorded +
             " as its station, which Velto cannot receive from it; it is read as " +
             std::string(choice->station->name) + ".");
    }
    return choice;
}

// Sets the receiver to the choice; false after saying why not.
bool Configure(velto::CReceiver& receiver, const std::optional<velto::StationChoice>& choice) {
    if (!choice) {
        return false;
    }
    if (!receiver.Configure(*choice->station, choice->format)) {
        Fail("cannot receive " + std::string(choice->station->name) + " at " +
             std::to_string(choice->format.rate) + " samples per second.");
        return false;
    }
    return true;
}

// The device that --device names, or -1 after saying why there is none.
int DeviceByName(const std::string& wanted) {
    velto::IWaveService& service = velto::WaveService();
    std::vector<std::string> names;
    std::vector<std::string> shown;
    for (int id = 0; id < service.InGetNumDevs(); ++id) {
        const QString name = TrimTrailingSpaces(QString::fromStdString(service.InGetDevName(id)));
        names.push_back(name.toStdString());
        shown.push_back(ShownDeviceName(name).toStdString());
    }
    // The list printed the simulator's name in the user's language, and a
    // script may hold its Japanese one: either means it.
    const std::string asked = TrimTrailingSpaces(QString::fromStdString(wanted)).toStdString();
    DeviceMatch match = DeviceMatch::Find(names, asked);
    if (match.id < 0 && match.candidates.empty()) {
        match = DeviceMatch::Find(shown, asked);
    }
    if (match.id < 0) {
        Fail(match.Problem(wanted));
    }
    return match.id;
}

// Begins the recording once the input is known to be good. Its target is
// never the input itself, and an existing file is kept unless --force.
bool StartRecording(const HeadlessOptions& options, const std::optional<velto::FileId>& input,
                    velto::CReceiver& receiver) {
    if (!options.record) {
        return true;
    }
    std::string error;
    std::unique_ptr<velto::CWavFileWriter> writer = velto::CWavFileWriter::Create(
        {*options.record, options.force, input, receiver.Format().rate,
         std::string(receiver.ReceivedStation().name)},
        &error);
    if (!writer || !receiver.StartRecording(std::move(writer), &error)) {
        Fail(error);
        return false;
    }
    return true;
}

// The band's picture is drawn once the recording has been read, so what
// would stop it is told before: it never replaces the input or the
// recording, and its folder must take a file.
std::string SpectrumTargetProblem(const HeadlessOptions& options) {
    namespace fs = std::filesystem;
    const std::string& path = *options.spectrum;
    const std::optional<velto::FileId> target = velto::FileId::OfPath(path);
    const std::optional<velto::FileId> input = *options.input == "-"
                                                   ? velto::FileId::OfDescriptor(STDIN_FILENO)
                                                   : velto::FileId::OfPath(*options.input);
    if (target && target == input) {
        return path + " is the input itself; drawing the band into it would destroy it.";
    }
    if (options.record) {
        std::error_code a, b;
        const fs::path mine = fs::weakly_canonical(path, a);
        const fs::path record = fs::weakly_canonical(*options.record, b);
        if ((target && target == velto::FileId::OfPath(*options.record)) ||
            (!a && !b && mine == record)) {
            return path + " is the recording too; the picture would replace it.";
        }
    }
    std::error_code e;
    const fs::path folder = fs::absolute(path, e).parent_path();
    if (e || ::access(folder.c_str(), W_OK) != 0) {
        return "cannot write " + path + " (" + std::strerror(e ? e.value() : errno) + ").";
    }
    if (fs::is_directory(path, e)) {
        return path + " is a folder; --spectrum takes the name of the picture.";
    }
    return {};
}

// Whether the station's carrier was found at all: any state but no signal.
class CSignalWatch : public velto::IReceiverObserver {
public:
    void OnStatus(const velto::DecoderStatus& status) override {
        m_found = m_found || status.state != velto::ReceptionState::NoSignal;
    }
    bool Found() const { return m_found; }

private:
    bool m_found = false;
};

// Reads unpaced input to its end (or to a stop) and decodes it. A 192 kHz
// recording holds the whole band, so one without a sign of the station
// looked for may well hold another: the user who named none is told how
// to name one.
template <typename Reader>
int DecodeAll(const HeadlessOptions& options, Reader& reader, velto::CReceiver& receiver,
              const std::string& source, const std::string& recorded = {}) {
    CSignalWatch watch;
    receiver.AddObserver(&watch);
    // A second at a time.
    std::vector<std::int16_t> samples(static_cast<std::size_t>(receiver.Format().rate));
    receiver.BeginInput();
    while (!StopRequested()) {
        const std::size_t n = reader.Read(samples.data(), samples.size());
        if (n == 0) {
            break;
        }
        receiver.FeedInput(samples.data(), n);
    }
    receiver.EndInput();
    receiver.StopRecording();
    receiver.RemoveObserver(&watch);
    if (StopRequested()) {
        return 0;
    }
    const std::string problem = reader.EndProblem();
    if (!problem.empty()) {
        Fail(problem);
        return kExitFailure;
    }
    if (!watch.Found() && !options.choice && recorded.empty() &&
        receiver.Format().rate > velto::kSampleRate) {
        Fail("no signal of " + std::string(receiver.ReceivedStation().title) + " was found in " +
             source + "; to read another station from it, name it with --station " +
             "(velto --list-stations).");
    }
    return 0;
}

// Standard input: a sound file's stream (WAV, AU, ...) through libsndfile,
// else raw samples. Nothing is recorded from input that never came.
int RunStandardInput(const HeadlessOptions& options, velto::CReceiver& receiver) {
    const std::string name = "standard input";
    const velto::StreamHead head = velto::StreamHead::Peek(STDIN_FILENO);
    switch (head.content) {
        case velto::StreamHead::Content::Empty:
        case velto::StreamHead::Content::Interrupted:
            return 0;
        case velto::StreamHead::Content::Unreadable:
            Fail("cannot read " + name + ": " + head.problem + ".");
            return kExitFailure;
        case velto::StreamHead::Content::SoundFile: {
            velto::CSoundFileReader reader;
            std::string error;
            if (!reader.OpenStream(STDIN_FILENO, name + " (" + head.format + ")", &error)) {
                Fail(error);
                return kExitFailure;
            }
            if (options.rate && *options.rate != reader.SampleRate()) {
                Fail(name + " carries " + std::to_string(reader.SampleRate()) +
                     " samples per second by its header, not the " + std::to_string(*options.rate) +
                     " of --rate.");
                return kExitFailure;
            }
            if (!Configure(receiver,
                           ChooseFor(options, reader.SampleRate(), name, reader.Station()))) {
                return kExitFailure;
            }
            if (!StartRecording(options, velto::FileId::OfDescriptor(STDIN_FILENO), receiver)) {
                return kExitFailure;
            }
            return DecodeAll(options, reader, receiver, name, reader.Station());
        }
        case velto::StreamHead::Content::Raw:
            break;
    }
    if (!Configure(receiver, ChooseFor(options, std::nullopt, {}))) {
        return kExitFailure;
    }
    if (!StartRecording(options, velto::FileId::OfDescriptor(STDIN_FILENO), receiver)) {
        return kExitFailure;
    }
    velto::CRawSampleReader reader(STDIN_FILENO, name);
    return DecodeAll(options, reader, receiver, name);
}

int RunInput(const HeadlessOptions& options, velto::CReceiver& receiver) {
    const std::string& input = *options.input;
    if (input == "-") {
        return RunStandardInput(options, receiver);
    }
    velto::CSoundFileReader reader;
    std::string error;
    if (StopRequested()) {
        return 0;
    }
    if (!reader.Open(input, &error)) {
        // A stop while a FIFO waited for its writer is no failure.
        if (reader.Interrupted() && StopRequested()) {
            return 0;
        }
        Fail(error);
        return kExitFailure;
    }
    if (!Configure(receiver, ChooseFor(options, reader.SampleRate(), input, reader.Station()))) {
        return kExitFailure;
    }
    if (!StartRecording(options, velto::FileId::OfPath(input), receiver)) {
        return kExitFailure;
    }
    return DecodeAll(options, reader, receiver, input, reader.Station());
}

int RunLive(const HeadlessOptions& options, QCoreApplication& app, velto::CReceiver& receiver) {
    velto::ProfileFallbacks found;
    const std::optional<velto::StationChoice> choice =
        ChooseFor(options, std::nullopt, {}, {}, &found);
    if (!options.simulate && !options.device) {
        LoadStoredDevice(&found);
    }
    TellFallbacks(found);
    if (!Configure(receiver, choice)) {
        return kExitFailure;
    }
    velto::DeviceSpec spec = ReadDeviceSpec();
    if (options.simulate) {
        spec.deviceId = velto::WaveService().InSimulatorId();
        if (!velto::WaveService().InSupportsRate(spec.deviceId, receiver.Format().rate)) {
            Fail("the built-in simulator sends at 96000 or 192000 samples per second only.");
            return kExitFailure;
        }
    } else if (options.device) {
        spec.deviceId = DeviceByName(*options.device);
        if (spec.deviceId < 0) {
            return kExitFailure;
        }
    } else {
        spec.deviceId = StoredCaptureDevice();
    }
    // Why an open failed is part of the one sentence.
    velto::Warnings told;
    if (!receiver.Start(spec, spec, told)) {
        // What a newcomer without a card set up needs next.
        Fail((told.empty() ? std::string("the capture device could not be started.")
                           : Told(told.back())) +
             " \"velto --list-devices\" lists the capture devices for --device, and "
             "--simulate receives the built-in simulator.");
        return kExitFailure;
    }
    if (!StartRecording(options, std::nullopt, receiver)) {
        receiver.Stop(told);
        return kExitFailure;
    }
    if (!options.simulate && !options.device && spec.deviceId == velto::WAVE_MAPPER &&
        !spec.name.empty()) {
        receiver.RaiseWarning(velto::WarningCode::StoredDeviceMissing,
                              velto::StoredDeviceMissingText(spec.name));
    }
    CLossWatch loss;
    receiver.AddObserver(&loss);
    const CStopWatch stop([&app] { app.quit(); });
    // A pipe or socket on standard output reports its reader's end at once,
    // not only at the next line written.
    struct stat out {};
    std::unique_ptr<QSocketNotifier> reader;
    if (::fstat(STDOUT_FILENO, &out) == 0 && (S_ISFIFO(out.st_mode) || S_ISSOCK(out.st_mode))) {
        reader = std::make_unique<QSocketNotifier>(STDOUT_FILENO, QSocketNotifier::Read);
        QObject::connect(reader.get(), &QSocketNotifier::activated, &app, [&app, &reader] {
            reader->setEnabled(false);
            RequestStop();
            app.quit();
        });
    }
    if (!StopRequested()) {
        app.exec();
    }
    receiver.Stop(told);
    Tell(told);
    receiver.RemoveObserver(&loss);
    return loss.Lost() ? kExitFailure : 0;
}

// The band's analyser, when something shows it: a recording's picture
// (everything averaged, a waterfall line a second, up to the picture's
// lines), the status lines in JSON and the log's noise column (a 2 s average
// and no waterfall to keep). A text run without a log measures nothing.
std::unique_ptr<velto::CSpectrumAnalyser> MakeBand(const HeadlessOptions& options,
                                                   const SpectrumPicture& picture) {
    velto::SpectrumOptions band;
    if (options.spectrum) {
        band.bandAverageSeconds = 0.0;
        band.waterfallLines = std::max(picture.maxLines, 1);
    } else if (options.json || options.log.enabled) {
        band.waterfallLines = 1;
    } else {
        return nullptr;
    }
    return std::make_unique<velto::CSpectrumAnalyser>(band);
}

// Reception as the options ask, reported on standard output, with the band
// measured by `band` when given.
int Receive(const HeadlessOptions& options, QCoreApplication& app,
            std::unique_ptr<velto::CSpectrumAnalyser>& band) {
    velto::CReceiver receiver;
    // Nobody watches the strips or listens to the monitor of a console.
    receiver.SetUnattended(true);
    // When standard output goes, the run ends quietly: nobody reads it. A
    // live run's reader that stops reading holds up neither reception nor
    // the clock feed.
    const bool json = options.json;
    // The clock feed's word during the run goes to standard error, which a
    // stopped terminal must not let hold up reception either.
    COutputLines errors(STDERR_FILENO, !options.input);
    COutputLines out(
        STDOUT_FILENO, !options.input, [] { RequestStop(); },
        [json](std::uint64_t lines) { return CEventPrinter::LeftOutLine(json, lines); },
        COutputLines::kMostBytes,
        [&errors](int error) {
            errors.Write(ErrorLine(CannotWriteOutput(error) +
                                   "; its lines are left out and counted while reception goes on"));
        });
    CEventPrinter printer(out, options.json);
    printer.SetSpectrum(band.get());
    receiver.AddObserver(&printer);
    std::string error;
    std::unique_ptr<velto::CClockFeed> clockFeed;
    if (options.clock.enabled) {
        clockFeed = velto::MakeClockFeed(
            options.clock, [&errors](const velto::Warning& w) { errors.Write(ErrorLine(Told(w))); },
            &error);
        if (!clockFeed) {
            Fail(error);
            receiver.RemoveObserver(&printer);
            return kExitFailure;
        }
        receiver.AddObserver(clockFeed.get());
    }
    std::unique_ptr<velto::CReceptionLogFeed> logFeed;
    if (options.log.enabled) {
        logFeed = std::make_unique<velto::CReceptionLogFeed>(
            options.log.directory, options.log.keepDays,
            [&printer](const velto::Warning& w) { printer.OnWarning(w); });
        receiver.AddObserver(logFeed.get());
        logFeed->Begin(options.input ? velto::CReceptionLogFeed::Time::Decoded
                                     : velto::CReceptionLogFeed::Time::System,
                       options.clock.latencyMs);
    }
    std::unique_ptr<CBandFeed> bandFeed;
    if (band != nullptr) {
        bandFeed = std::make_unique<CBandFeed>(band, printer, logFeed.get());
        receiver.AddObserver(bandFeed.get());
    }

    CRecordingWatch recording;
    receiver.AddObserver(&recording);
    const int status =
        options.input ? RunInput(options, receiver) : RunLive(options, app, receiver);
    if (logFeed) {
        logFeed->Finish();
    }
    for (velto::IReceiverObserver* observer : std::initializer_list<velto::IReceiverObserver*>{
             bandFeed.get(), logFeed.get(), clockFeed.get(), &printer, &recording}) {
        if (observer != nullptr) {
            receiver.RemoveObserver(observer);
        }
    }
    // A reader that went away ends a run quietly; output that could not be
    // written (a recording's lines on a full disk) is a failure.
    if (const int error = out.Error(); error != 0 && error != EPIPE && error != EINTR) {
        Fail(CannotWriteOutput(error) + ".");
        return kExitFailure;
    }
    return recording.Stopped() ? kExitFailure : status;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options, int argc, char** argv,
                const SpectrumPicture& picture) {
    if (options.spectrum && !picture.write) {
        Fail("this build of Velto cannot draw pictures (--spectrum needs the window's libraries).");
        return kExitFailure;
    }
    if (options.spectrum) {
        const std::string problem = SpectrumTargetProblem(options);
        if (!problem.empty()) {
            Fail(problem);
            return kExitFailure;
        }
    }
    std::unique_ptr<velto::CSpectrumAnalyser> band;
    try {
        band = MakeBand(options, picture);
    } catch (const std::bad_alloc&) {
        Fail("there is not enough memory for the spectrum.");
        return kExitFailure;
    }
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        velto::KeepNumbersInCNotation();
        // The same profile as the window's.
        QCoreApplication::setOrganizationName(QStringLiteral("Velto"));
        QCoreApplication::setApplicationName(QStringLiteral("Velto"));
        const CUiTranslations language(UiLanguageFromEnvironment());
        if (options.listDevices) {
            return ListDevices();
        }
        if (options.listStations) {
            std::fputs(velto::StationList().c_str(), stdout);
            return 0;
        }
        if (!InstallSignals()) {
            Fail("cannot set up signal handling.");
            return kExitFailure;
        }
        status = Receive(options, app, band);
    }
    // A recording read to its end (or to a stop) is drawn.
    std::string error;
    if (status == 0 && options.spectrum) {
        // Checked again: the recording's file exists now.
        error = SpectrumTargetProblem(options);
        if (!error.empty()) {
            Fail(error);
            return kExitFailure;
        }
    }
    if (status == 0 && options.spectrum && !picture.write(*band, *options.spectrum, &error)) {
        Fail(error);
        return kExitFailure;
    }
    return status;
}

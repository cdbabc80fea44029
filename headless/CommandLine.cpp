#include "headless/CommandLine.h"

#include <QCommandLineParser>
#include <algorithm>

namespace {

constexpr const char* kSynopsis =
    "Usage: velto [--simulate] [--station NAME]\n"
    "       velto --headless [--station NAME] [--simulate | --device NAME | --input FILE |\n"
    "             --input - [--rate RATE]] [--json] [--record FILE.wav [--force]]\n"
    "             [--chrony-sock PATH] [--shm UNIT] [--latency-ms MS]\n"
    "             [--log DIR [--log-days N]] [--spectrum OUT.png]\n"
    "       velto --list-devices | --list-stations\n"
    "Velto receives long-wave time signals through a sound card: JJY 40 kHz at 96 kHz,\n"
    "JJY 60 kHz, DCF77, MSF and WWVB with a card sampling at 192 kHz.\n"
    "The options marked (console) run it without a window, as --headless does.\n"
    "\n";

constexpr const char* kTail =
    "\n"
    "Press Space in the window to start and stop reception.\n";

// The column at which the help of each option begins.
constexpr std::size_t kHelpColumn = 22;
constexpr std::size_t kLineWidth = 80;

std::vector<OptionEntry> MakeTable() {
    std::vector<OptionEntry> table = {
        {"--simulate", "", "", "receive from the built-in simulator instead of a sound card",
         false},
        {"--headless", "", "", "run without a window, printing what is received on standard output",
         true},
        {"--station", "", "NAME",
         "receive this station: jjy40 (the default), jjy60, dcf77, msf or wwvb, in any case; "
         "otherwise the window keeps the choice of its dialog, and a recording Velto made is "
         "read as the station it names",
         false},
        {"--list-stations", "", "",
         "print the stations with their carriers, civil time and rate, "
         "and exit",
         true},
        {"--list-devices", "", "",
         "print the names of the capture devices, with \"192 kHz\" after those that offer it, "
         "and exit",
         true},
        {"--device", "", "NAME",
         "capture from the device of this name, or the one device whose name contains NAME "
         "(such as hw:1,0)",
         true},
        {"--input", "", "FILE",
         "decode a mono 96000 or 192000 Hz recording (WAV, FLAC, ...) at its own rate as fast as "
         "possible; FILE - reads standard input: a WAV or AU stream, or raw signed 16-bit "
         "little-endian mono samples",
         true},
        {"--rate", "", "RATE",
         "samples per second of the sound card or of raw samples on standard input: 96000 or "
         "192000 (default: the station's, 96000 for jjy40, 192000 for the others)",
         true},
        {"--json", "", "", "print one JSON object per line", true},
        {"--record", "", "FILE.wav",
         "record the input to a 16-bit mono WAV file at the input's rate, naming the station "
         "in its comment",
         true},
        {"--force", "", "", "let --record overwrite a file that exists", true},
    };
    for (const velto::ClockFeedSettings::Option& o : velto::ClockFeedSettings::Options()) {
        table.push_back({o.name, "", o.value, o.help, true});
    }
    for (const velto::ReceptionLogSettings::Option& o : velto::ReceptionLogSettings::Options()) {
        table.push_back({o.name, "", o.value, o.help, true});
    }
    table.push_back({"--spectrum", "", "OUT.png",
                     "with --input, draw the recording's band (its averaged spectrum and "
                     "waterfalls) into a PNG image",
                     true});
    table.push_back({"--help", "-h", "", "show this help and exit", false});
    table.push_back({"--version", "-v", "", "show the version and exit", false});
    return table;
}

// The words of `text` in lines that fit beside the column.
std::string Wrapped(const std::string& text, std::size_t indent) {
    std::string out;
    std::size_t column = indent;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > kLineWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

std::string Bytes(const QString& latin1) { return latin1.toLatin1().toStdString(); }

// How an unknown option was written: -x or --name.
std::string Dashed(const QString& name) { return (name.size() == 1 ? "-" : "--") + Bytes(name); }

}  // namespace

const std::vector<OptionEntry>& OptionTable() {
    static const std::vector<OptionEntry> table = MakeTable();
    return table;
}

std::string HelpText() {
    std::string text = kSynopsis;
    for (const OptionEntry& o : OptionTable()) {
        std::string head = "  " + o.name;
        if (!o.shortName.empty()) {
            head += ", " + o.shortName;
        }
        if (!o.value.empty()) {
            head += " " + o.value;
        }
        head += head.size() + 1 > kHelpColumn ? "\n" + std::string(kHelpColumn, ' ')
                                              : std::string(kHelpColumn - head.size(), ' ');
        text += head + Wrapped(o.help + (o.console ? " (console)" : ""), kHelpColumn) + "\n";
    }
    return text + kTail;
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLatin1(argv[i]);
    }
    return arguments;
}

bool ParseCommandLine(const QStringList& arguments, CommandLine* line, std::string* error) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const OptionEntry& o : OptionTable()) {
        QStringList names{QString::fromStdString(o.name).mid(2)};
        if (!o.shortName.empty()) {
            names << QString::fromStdString(o.shortName).mid(1);
        }
        QCommandLineOption option(names);
        option.setValueName(QString::fromStdString(o.value));
        parser.addOption(option);
        // The parser would say "Missing value after ..." in its own words.
        if (!o.value.empty() && !arguments.isEmpty() &&
            arguments.back() == QString::fromStdString(o.name)) {
            *error = "option " + o.name + " needs a value.";
            return false;
        }
    }
    if (!parser.parse(QStringList{QStringLiteral("velto")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        *error = unknown.isEmpty() ? Bytes(parser.errorText())
                                   : "unknown option " + Dashed(unknown.front()) + ".";
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = "unexpected argument \"" + Bytes(parser.positionalArguments().front()) +
                 "\": every value belongs to an option.";
        return false;
    }

    // Given twice, one of the two would be dropped without a word: the
    // recording not made, the input not read. An option's value that is
    // another option's name is a forgotten value: `--record --json` would
    // record into a file named "--json" and print no JSON.
    for (const OptionEntry& e : OptionTable()) {
        const QStringList values = parser.values(QString::fromStdString(e.name).mid(2));
        if (e.value.empty() || values.isEmpty()) continue;
        if (values.size() > 1) {
            *error = e.name + " is given twice: each option is given once.";
            return false;
        }
        const std::string given = Bytes(values.front());
        const auto named = [&](const OptionEntry& other) {
            return given == other.name || (!other.shortName.empty() && given == other.shortName);
        };
        if (std::any_of(OptionTable().begin(), OptionTable().end(), named)) {
            *error = "option " + e.name + " needs a value.";
            return false;
        }
    }

    HeadlessOptions& o = line->options;
    const auto set = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char* name) {
        return std::optional<std::string>(Bytes(parser.value(QString::fromLatin1(name))));
    };
    o.simulate = set("simulate");
    o.listDevices = set("list-devices");
    o.listStations = set("list-stations");
    if (set("station")) o.station = value("station");
    if (set("rate")) {
        bool ok = false;
        const long long rate = parser.value(QStringLiteral("rate")).toLongLong(&ok);
        if (!ok || !velto::CaptureFormat::ForRate(rate)) {
            *error = "--rate takes 96000 or 192000.";
            return false;
        }
        o.rate = rate;
    }
    o.json = set("json");
    o.force = set("force");
    if (set("device")) o.device = value("device");
    if (set("input")) o.input = value("input");
    if (set("record")) o.record = value("record");
    if (set("spectrum")) o.spectrum = value("spectrum");
    for (const velto::ClockFeedSettings::Option& c : velto::ClockFeedSettings::Options()) {
        const QString name = QString::fromLatin1(c.name + 2);
        if (parser.isSet(name) && !o.clock.ParseOption(c.name, Bytes(parser.value(name)), error)) {
            return false;
        }
    }
    for (const velto::ReceptionLogSettings::Option& l : velto::ReceptionLogSettings::Options()) {
        const QString name = QString::fromLatin1(l.name + 2);
        if (parser.isSet(name) && !o.log.ParseOption(l.name, Bytes(parser.value(name)), error)) {
            return false;
        }
    }

    const int sources = (o.simulate ? 1 : 0) + (o.device ? 1 : 0) + (o.input ? 1 : 0);
    if (sources > 1) {
        *error = "choose one input: --simulate, --device or --input.";
        return false;
    }
    if (o.clock.enabled && o.input) {
        *error = "--chrony-sock and --shm need live reception (a sound card or --simulate): " +
                 std::string("a recording says nothing about the system clock.");
        return false;
    }
    if (o.rate && o.input && *o.input != "-") {
        *error =
            "--rate is for a sound card or raw samples on standard input: a file tells its "
            "own rate.";
        return false;
    }
    // Without --station, --rate goes with the stored station, known only once
    // the profile is read.
    if (o.station) {
        const std::optional<velto::StationChoice> choice =
            velto::ChooseStation(*o.station, o.rate, error);
        if (!choice) {
            return false;
        }
        o.choice = choice;
    }
    if (o.force && !o.record) {
        *error = "--force goes with --record: it lets the recording overwrite a file.";
        return false;
    }
    if (set("log-days") && !o.log.enabled) {
        *error = "--log-days goes with --log: it says how many days of the log to keep.";
        return false;
    }
    if (o.spectrum && o.spectrum->empty()) {
        *error = "--spectrum needs the name of the picture to write.";
        return false;
    }
    if (o.spectrum && !o.input) {
        *error = "--spectrum draws the band of a recording: it needs --input.";
        return false;
    }

    const bool console = std::ranges::any_of(OptionTable(), [&](const OptionEntry& e) {
        return e.console && parser.isSet(QString::fromStdString(e.name).mid(2));
    });
    line->mode = set("help")      ? RunMode::Help
                 : set("version") ? RunMode::Version
                 : console        ? RunMode::Console
                                  : RunMode::Window;
    return true;
}

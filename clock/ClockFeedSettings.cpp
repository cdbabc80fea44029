#include "clock/ClockFeedSettings.h"

#include <QSettings>
#include <QString>
#include <cmath>
#include <cstdlib>

#include "clock/ChronySock.h"
#include "clock/ShmRefclock.h"
#include "receiver/DeviceProfile.h"

namespace velto {
namespace {

const QString kEnabledKey = QStringLiteral("ClockFeed/Enabled");
const QString kSocketKey = QStringLiteral("ClockFeed/ChronySocket");
const QString kLatencyKey = QStringLiteral("ClockFeed/LatencyMs");

// A whole number or a decimal, nothing after it (strtod alone would also take
// hexadecimal, "0x10" as 16, and leading spaces).
bool ParseNumber(const std::string& text, double* value) {
    if (text.find_first_not_of("+-.0123456789eE") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value);
}

}  // namespace

bool ClockFeedSettings::LatencyFits(double ms) { return std::abs(ms) <= kMaxLatencyMs; }

bool ClockFeedSettings::ChronySockFits(const std::string& path) {
    return CChronySock::PathFits(path);
}

bool ClockFeedSettings::ShmUnitFits(double unit) {
    return unit == std::floor(unit) && unit >= 0 && unit <= CShmRefclock::kMaxUnit;
}

bool ClockFeedSettings::ShmModeFits(const std::string& octal, int* mode) {
    if (octal.empty() || octal.size() > 4 ||
        octal.find_first_not_of("01234567") != std::string::npos) {
        return false;
    }
    const long value = std::strtol(octal.c_str(), nullptr, 8);
    if ((value & 0600) != 0600 || (value & ~0666L) != 0) {
        return false;
    }
    *mode = static_cast<int>(value);
    return true;
}

ClockFeedSettings ClockFeedSettings::Load(ProfileFallbacks* fallbacks) {
    const QSettings settings;
    ClockFeedSettings s;
    s.enabled = ProfileFlag(settings, kEnabledKey, false, fallbacks);
    const std::string socket = settings.value(kSocketKey, QString::fromLatin1(kDefaultChronySock))
                                   .toString()
                                   .toStdString();
    const bool socketFits = ChronySockFits(socket);
    s.chronySock = socketFits ? socket : kDefaultChronySock;
    if (!socketFits && fallbacks != nullptr) {
        fallbacks->push_back({"ClockFeed",
                              {{"ChronySocket", ProfileText(settings, kSocketKey)}},
                              {kDefaultChronySock}});
    }
    bool ok = false;
    const double latency = settings.value(kLatencyKey, 0.0).toDouble(&ok);
    const bool latencyFits = ok && LatencyFits(latency);
    s.latencyMs = latencyFits ? latency : 0.0;
    if (!latencyFits && fallbacks != nullptr) {
        fallbacks->push_back(
            {"ClockFeed", {{"LatencyMs", ProfileText(settings, kLatencyKey)}}, {"0"}});
    }
    return s;
}

bool ClockFeedSettings::Save() const {
    QSettings settings;
    settings.setValue(kEnabledKey, enabled);
    settings.setValue(kSocketKey, QString::fromStdString(chronySock.value_or(kDefaultChronySock)));
    settings.setValue(kLatencyKey, latencyMs);
    return ::WriteProfile(settings);
}

const std::array<ClockFeedSettings::Option, 4>& ClockFeedSettings::Options() {
    static constexpr std::array<Option, 4> kOptions{{
        {"--chrony-sock", "PATH",
         "feed the system clock: a sample a second to chronyd's \"refclock SOCK PATH\" "
         "while a received time is valid"},
        {"--shm", "UNIT",
         "the same samples through NTP shared-memory unit UNIT (0-255), for ntpd or "
         "chronyd's \"refclock SHM UNIT\""},
        {"--shm-mode", "MODE",
         "the permissions a new shared-memory unit gets, in octal (default 600: Velto's user "
         "alone; 666 lets every local user write a false time into it)"},
        {"--latency-ms", "MS",
         "the sound card's and the receiver's delay, taken off the samples' capture times "
         "(default 0; the README tells how to measure it)"},
    }};
    return kOptions;
}

bool ClockFeedSettings::IsOption(const std::string& option) {
    for (const Option& o : Options()) {
        if (option == o.name) {
            return true;
        }
    }
    return false;
}

bool ClockFeedSettings::ParseOption(const std::string& option, const std::string& value,
                                    std::string* error) {
    double number = 0.0;
    if (option == "--chrony-sock") {
        if (!ChronySockFits(value)) {
            *error = "--chrony-sock needs the path of a socket, shorter than 108 bytes.";
            return false;
        }
        chronySock = value;
    } else if (option == "--shm") {
        if (!ParseNumber(value, &number) || !ShmUnitFits(number)) {
            *error = "--shm needs a unit number from 0 to " +
                     std::to_string(CShmRefclock::kMaxUnit) + ", not \"" + value + "\".";
            return false;
        }
        shmUnit = static_cast<int>(number);
    } else if (option == "--shm-mode") {
        if (!ShmModeFits(value, &shmMode)) {
            *error =
                "--shm-mode needs octal permissions with read and write for Velto's user "
                "and no execute, such as 600, 640 or 660, not \"" +
                value + "\".";
            return false;
        }
    } else if (option == "--latency-ms") {
        if (!ParseNumber(value, &number) || !LatencyFits(number)) {
            *error = "--latency-ms needs a number of milliseconds within +-" +
                     std::to_string(static_cast<int>(kMaxLatencyMs)) + ", not \"" + value + "\".";
            return false;
        }
        latencyMs = number;
    } else {
        *error = "unknown option " + option + ".";
        return false;
    }
    enabled = enabled || chronySock || shmUnit;
    return true;
}

std::unique_ptr<CClockFeed> MakeClockFeed(const ClockFeedSettings& settings, CClockFeed::Tell tell,
                                          std::string* problem) {
    if (!settings.enabled || !(settings.chronySock || settings.shmUnit)) {
        return nullptr;
    }
    auto feed = std::make_unique<CClockFeed>(settings.latencyMs, tell);
    if (settings.shmUnit) {
        std::unique_ptr<CShmRefclock> shm =
            CShmRefclock::Attach(*settings.shmUnit, settings.shmMode, problem);
        if (!shm) {
            return nullptr;
        }
        feed->AddSink(std::move(shm));
    }
    if (settings.chronySock) {
        std::string trouble;
        std::unique_ptr<CChronySock> sock = CChronySock::Open(*settings.chronySock, &trouble);
        std::optional<Warning> news =
            sock ? sock->Check() : Warning{WarningCode::ClockFeed, trouble};
        if (news) {
            feed->NoteTrouble(news->text);
            if (tell) {
                tell(*news);
            }
        }
        feed->AddSink(std::move(sock));
    }
    return feed;
}

}  // namespace velto

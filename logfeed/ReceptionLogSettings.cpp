#include "logfeed/ReceptionLogSettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <cmath>
#include <cstdlib>

namespace velto {
namespace {

const QString kEnabledKey = QStringLiteral("ReceptionLog/Enabled");
const QString kKeepDaysKey = QStringLiteral("ReceptionLog/KeepDays");

}  // namespace

bool ReceptionLogSettings::KeepDaysFit(double days) {
    return days == std::floor(days) && days >= 0 && days <= kMaxKeepDays;
}

ReceptionLogSettings ReceptionLogSettings::Load(ProfileFallbacks* fallbacks) {
    const QSettings settings;
    ReceptionLogSettings s;
    s.enabled = ProfileFlag(settings, kEnabledKey, true, fallbacks);
    s.directory = WindowDirectory();
    bool ok = false;
    const double days = settings.value(kKeepDaysKey, kDefaultKeepDays).toDouble(&ok);
    s.keepDays = ok && KeepDaysFit(days) ? static_cast<int>(days) : kDefaultKeepDays;
    if (!(ok && KeepDaysFit(days)) && fallbacks != nullptr) {
        fallbacks->push_back({"ReceptionLog",
                              {{"KeepDays", ProfileText(settings, kKeepDaysKey)}},
                              {std::to_string(kDefaultKeepDays)}});
    }
    return s;
}

std::filesystem::path ReceptionLogSettings::WindowDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::filesystem::path(data.toStdString()) / "Velto" / "log";
}

const std::array<ReceptionLogSettings::Option, 2>& ReceptionLogSettings::Options() {
    static constexpr std::array<Option, 2> kOptions{{
        {"--log", "DIR",
         "append a line a minute to the reception log, a CSV file a day in DIR (the window "
         "keeps it in ~/.local/share/Velto/log)"},
        {"--log-days", "N",
         "delete the log's days older than N days (default 365; 0 keeps every day)"},
    }};
    return kOptions;
}

bool ReceptionLogSettings::IsOption(const std::string& option) {
    for (const Option& o : Options()) {
        if (option == o.name) {
            return true;
        }
    }
    return false;
}

bool ReceptionLogSettings::ParseOption(const std::string& option, const std::string& value,
                                       std::string* error) {
    if (option == "--log") {
        if (value.empty()) {
            *error = "--log needs the directory to keep the reception log in.";
            return false;
        }
        directory = value;
        enabled = true;
        return true;
    }
    if (option == "--log-days") {
        char* end = nullptr;
        const double days = std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || !KeepDaysFit(days)) {
            *error = "--log-days needs a whole number of days from 0 (keep every day) to " +
                     std::to_string(kMaxKeepDays) + ", not \"" + value + "\".";
            return false;
        }
        keepDays = static_cast<int>(days);
        return true;
    }
    *error = "unknown option " + option + ".";
    return false;
}

}  // namespace velto

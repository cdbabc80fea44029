#include "receiver/StationChoice.h"

#include <QSettings>
#include <QString>
#include <cstdio>

#include "receiver/DeviceProfile.h"

namespace velto {
namespace {

const QString kNameKey = QStringLiteral("Station/Name");
const QString kRateKey = QStringLiteral("Station/Rate");

constexpr double kHighestShareOfRate = 0.45;

std::string Names() {
    std::string names;
    const auto all = Stations();
    for (std::size_t i = 0; i < all.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + std::string(all[i].name);
    }
    return names;
}

}  // namespace

bool RateCarries(const Station& station, long long rate) {
    return CaptureFormat::ForRate(rate) &&
           station.carrierHz < kHighestShareOfRate * static_cast<double>(rate);
}

std::vector<int> RatesFor(const Station& station) {
    std::vector<int> rates;
    for (int rate : {kSampleRate, 2 * kSampleRate}) {
        if (RateCarries(station, rate)) rates.push_back(rate);
    }
    return rates;
}

std::optional<StationChoice> ChooseStation(std::string_view name, std::optional<long long> rate,
                                           std::string* error) {
    // The stations are written DCF77, MSF and so on everywhere else: any
    // letter case names them.
    std::string lower(name);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const Station* station = FindStation(lower);
    if (station == nullptr) {
        *error = "unknown station \"" + std::string(name) + "\": choose " + Names() +
                 " (velto --list-stations).";
        return std::nullopt;
    }
    const long long wanted = rate.value_or(station->sampleRate);
    if (!CaptureFormat::ForRate(wanted)) {
        *error = "the rate " + std::to_string(wanted) +
                 " will not do: Velto captures at 96000 or "
                 "192000 samples per second.";
        return std::nullopt;
    }
    if (!RateCarries(*station, wanted)) {
        *error = std::string(station->name) + " sends on " + CarrierText(*station) + ", which " +
                 std::to_string(wanted) + " samples per second cannot carry; it " + "needs 192000.";
        return std::nullopt;
    }
    return StationChoice{station, *CaptureFormat::ForRate(wanted)};
}

StationChoice LoadStoredStation(ProfileFallbacks* fallbacks) {
    const QSettings settings;
    const std::string name = settings.value(kNameKey, QString()).toString().toStdString();
    bool ok = false;
    const long long rate = settings.value(kRateKey, 0).toLongLong(&ok);
    const bool rateGiven = settings.contains(kRateKey);
    std::string error;
    const std::optional<StationChoice> choice =
        ChooseStation(name, ok && rate != 0 ? std::optional(rate) : std::nullopt, &error);
    if (fallbacks == nullptr || (name.empty() && !rateGiven)) {
        return choice.value_or(StationChoice{});
    }
    const std::string rateText = ProfileText(settings, kRateKey);
    if (!choice) {
        const StationChoice stock;
        ProfileFallback fallback{"Station",
                                 {{"Name", ProfileText(settings, kNameKey)}},
                                 {std::string(stock.station->name)}};
        if (rateGiven) {
            fallback.given.emplace_back("Rate", rateText);
            fallback.used.push_back(std::to_string(stock.format.rate));
        }
        fallbacks->push_back(std::move(fallback));
        return stock;
    }
    if (rateGiven && !ok) {
        fallbacks->push_back(
            {"Station", {{"Rate", rateText}}, {std::to_string(choice->format.rate)}});
    }
    return *choice;
}

bool SaveStoredStation(const StationChoice& choice) {
    QSettings settings;
    settings.setValue(kNameKey,
                      QString::fromUtf8(choice.station->name.data(),
                                        static_cast<qsizetype>(choice.station->name.size())));
    settings.setValue(kRateKey, choice.format.rate);
    return ::WriteProfile(settings);
}

std::string StationList() {
    std::string text;
    for (const Station& st : Stations()) {
        char line[96];
        std::snprintf(line, sizeof line, "%-6s %-9s %-9s %d\n", std::string(st.name).c_str(),
                      CarrierText(st).c_str(), std::string(ZoneLabel(st.zone)).c_str(),
                      st.sampleRate);
        text += line;
    }
    return text;
}

}  // namespace velto

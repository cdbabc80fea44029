#include "log/ReceptionLogFormat.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "station/CivilTime.h"

namespace velto::receptionlog {
namespace {

constexpr const char* kHeader =
    "utc,jst,state,cn0_dbhz,carrier_db,noise_db_hz,decoded,clock_offset_s";
constexpr std::string_view kPrefix = "velto-";
constexpr std::string_view kSuffix = ".csv";

std::chrono::year_month_day Civil(std::int64_t day) {
    return std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{day}}};
}

std::string Date(std::int64_t day) {
    const auto ymd = Civil(day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

// "2026-12-07" -> days since the epoch.
std::optional<std::int64_t> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int y = 0;
    unsigned m = 0, d = 0;
    if (std::from_chars(text.data(), text.data() + 4, y).ptr != text.data() + 4 ||
        std::from_chars(text.data() + 5, text.data() + 7, m).ptr != text.data() + 7 ||
        std::from_chars(text.data() + 8, text.data() + 10, d).ptr != text.data() + 10) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{y}, std::chrono::month{m},
                                          std::chrono::day{d}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days{ymd}.time_since_epoch().count();
}

std::string Clock(std::int64_t seconds) {
    const std::int64_t inDay = seconds - DayOf(seconds) * kSecondsPerDay;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(inDay / 3600),
                  static_cast<int>(inDay / 60 % 60));
    return text;
}

std::string Number(const std::optional<double>& v, int decimals) {
    if (!v || !std::isfinite(*v)) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, *v);
    return text;
}

std::optional<double> ParseNumber(std::string_view field, bool* ok) {
    if (field.empty()) {
        return std::nullopt;
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (ec != std::errc{} || end != field.data() + field.size() || !std::isfinite(v)) {
        *ok = false;
    }
    return v;
}

}  // namespace

std::int64_t DayOf(std::int64_t utc) {
    return utc / kSecondsPerDay - (utc % kSecondsPerDay < 0 ? 1 : 0);
}

std::string FileName(std::int64_t day) {
    return std::string(kPrefix) + Date(day) + std::string(kSuffix);
}

std::optional<std::int64_t> DayOfFileName(std::string_view name) {
    if (name.size() != kPrefix.size() + 10 + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    return ParseDate(name.substr(kPrefix.size(), 10));
}

std::string HeaderLine() { return kHeader; }

std::string FormatLine(const ReceptionRecord& r) {
    const std::int64_t jst = r.minuteUtc + CivilTimeAt(CivilZone::Japan, r.minuteUtc).offsetSeconds;
    return Date(DayOf(r.minuteUtc)) + 'T' + Clock(r.minuteUtc) + "Z," + Date(DayOf(jst)) + 'T' +
           Clock(jst) + "+09:00," + ReceptionStateName(r.state) + ',' + Number(r.cn0DbHz, 1) + ',' +
           Number(r.carrierDb, 1) + ',' + Number(r.noiseDb, 1) + ',' + (r.decoded ? '1' : '0') +
           ',' + Number(r.clockOffsetSeconds, 4);
}

std::optional<ReceptionRecord> ParseLine(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t comma = line.find(',', at);
        fields.push_back(line.substr(at, comma - at));
        if (comma == std::string_view::npos) {
            break;
        }
        at = comma + 1;
    }
    if (fields.size() != 8 || fields[0].size() != 17 || fields[0][10] != 'T' ||
        fields[0][16] != 'Z' || fields[0][13] != ':') {
        return std::nullopt;
    }
    const auto day = ParseDate(fields[0].substr(0, 10));
    int hour = -1, minute = -1;
    std::from_chars(fields[0].data() + 11, fields[0].data() + 13, hour);
    std::from_chars(fields[0].data() + 14, fields[0].data() + 16, minute);
    if (!day || hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        return std::nullopt;
    }
    ReceptionRecord r;
    r.minuteUtc = *day * kSecondsPerDay + hour * 3600 + minute * 60;
    const auto state = ReceptionStateNamed(fields[2]);
    r.state = state.value_or(ReceptionState::NoSignal);
    bool ok = state && (fields[6] == "0" || fields[6] == "1");
    r.decoded = fields[6] == "1";
    r.cn0DbHz = ParseNumber(fields[3], &ok);
    r.carrierDb = ParseNumber(fields[4], &ok);
    r.noiseDb = ParseNumber(fields[5], &ok);
    r.clockOffsetSeconds = ParseNumber(fields[7], &ok);
    if (!ok) {
        return std::nullopt;
    }
    return r;
}

}  // namespace velto::receptionlog

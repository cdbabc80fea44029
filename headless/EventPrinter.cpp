#include "headless/EventPrinter.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "base/Geometry.h"
#include "language/LibraryTexts.h"
#include "spectrum/SpectrumAnalyser.h"
#include "station/CivilTime.h"

namespace {

constexpr std::int64_t kStatusEvery = std::int64_t{10} * velto::kSampleRate;

const char* Bool(bool value) { return value ? "true" : "false"; }

// printf's formatting into a string.
[[gnu::format(printf, 2, 3)]] void Append(std::string& line, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const std::size_t at = line.size();
        line.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(line.data() + at, static_cast<std::size_t>(n) + 1, format, again);
        line.resize(at + static_cast<std::size_t>(n));
    }
    va_end(again);
}

// A JSON number, or null for what JSON cannot carry (an estimate not yet made).
std::string Number(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Seconds since the epoch to the microsecond.
std::string UnixText(const velto::SystemTime& t) {
    const velto::SystemTime us = velto::SystemTime::Normalised(t.sec, (t.nsec + 500) / 1000 * 1000);
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, us.sec, us.nsec / 1000);
    return text;
}

// The length of the UTF-8 sequence at text[i], or 0 when none starts there
// (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t n = 0;
    unsigned lowest = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    unsigned code = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || code > 0x10FFFF || surrogate ? 0 : n;
}

}  // namespace

CEventPrinter::CEventPrinter(COutputLines& out, bool json) : m_out(out), m_json(json) {}

// The code is for programs; the sentence, for people, in their language.
std::string CEventPrinter::WarningLine(bool json, velto::WarningCode code,
                                       const std::string& text) {
    if (json) {
        return "{\"type\":\"warning\",\"code\":" + JsonString(velto::WarningCodeName(code)) +
               ",\"text\":" + JsonString(text) + "}\n";
    }
    return "warning: " + text + "\n";
}

std::string CEventPrinter::LeftOutLine(bool json, std::uint64_t lines) {
    return WarningLine(json, velto::WarningCode::OutputLeftOut,
                       ToldWarningText(velto::OutputLeftOutText(lines)));
}

std::string CEventPrinter::JstText(const velto::DecoderMinute& m) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:00+09:00", m.year, m.month, m.day,
                  m.hour, m.minute);
    return text;
}

std::string CEventPrinter::UtcText(std::int64_t utc) {
    const velto::CivilTime t = velto::CivilTimeAt(velto::CivilZone::Utc, utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void CEventPrinter::OnConfigured(const velto::Station& station, velto::CaptureFormat) {
    m_station = &station;
}

std::string CEventPrinter::JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        const std::size_t n = Utf8Length(text, i);
        char escaped[8];
        if (n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\\\x%02x", u);
            out += escaped;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += text.substr(i, n);
        }
        i += n;
    }
    return out + "\"";
}

void CEventPrinter::OnMinute(const velto::DecoderMinute& m,
                             const std::optional<velto::SystemTime>& captured) {
    if (m_out.Gone()) {
        return;
    }
    // The station's civil time: JST for JJY, as the decoder has it.
    const velto::CivilTime civil = velto::CivilTimeOf(*m_station, m.utcUnix);
    std::string line;
    if (!m_json) {
        Append(line, "%04d-%02d-%02d %02d:%02d %s  at sample %.1f%s\n", civil.year, civil.month,
               civil.day, civil.hour, civil.minute, std::string(civil.zone).c_str(), m.onTimeSample,
               m.flywheel ? "  (flywheel)" : "");
        m_out.Write(std::move(line));
        return;
    }
    Append(line, "{\"type\":\"minute\"");
    if (m_station->zone == velto::CivilZone::Japan) {
        Append(line, ",\"jst\":\"%s\"", JstText(m).c_str());
    }
    Append(line, ",\"station\":%s,\"utc\":\"%s\",\"time\":\"%s\",\"sample\":%.1f",
           JsonString(std::string(m_station->name)).c_str(), UtcText(m.utcUnix).c_str(),
           velto::IsoText(civil).c_str(), m.onTimeSample);
    // The system clock's reading of the on-time point, not the decoded time.
    if (captured) {
        Append(line, ",\"system_unix\":%s", UnixText(*captured).c_str());
    }
    Append(line,
           ",\"day_of_year\":%d,\"weekday\":%d,\"pa1\":%s,\"pa2\":%s,\"ls1\":%s,\"ls2\":%s,"
           "\"call_sign\":%s,\"flywheel\":%s,\"confidence\":%s,\"seconds\":%d}\n",
           m.dayOfYear, m.weekday, Bool(m.pa1Ok), Bool(m.pa2Ok), Bool(m.ls1), Bool(m.ls2),
           Bool(m.callSignMinute), Bool(m.flywheel), Number(m.confidence, 3).c_str(),
           m.secondsInMinute);
    m_out.Write(std::move(line));
}

// ,"noise_db":N,"carriers":[{"offset_hz":F,"level_db":L},...]
std::string CEventPrinter::BandFields() const {
    if (m_spectrum == nullptr) {
        return {};
    }
    const auto noise = m_spectrum->NoiseDb();
    std::string text =
        ",\"noise_db\":" + (noise ? Number(*noise, 1) : std::string("null")) + ",\"carriers\":[";
    const char* comma = "";
    for (const velto::SteadyCarrier& c : m_spectrum->Carriers()) {
        text += comma;
        text += "{\"offset_hz\":" + Number(c.offsetHz, 2) +
                ",\"level_db\":" + Number(c.levelDb, 1) + "}";
        comma = ",";
    }
    return text + "]";
}

void CEventPrinter::OnStatus(const velto::DecoderStatus& s) {
    if (m_out.Gone()) {
        return;
    }
    const bool changed = !m_lastState || *m_lastState != s.state;
    // A person reads changes only; a program also gets the figures every 10 s.
    if (!changed && (!m_json || s.sample - m_lastStatusSample < kStatusEvery)) {
        return;
    }
    m_lastState = s.state;
    m_lastStatusSample = s.sample;
    std::string line;
    if (m_json) {
        Append(line,
               "{\"type\":\"status\",\"state\":\"%s\",\"cn0_dbhz\":%s,\"carrier\":%s,"
               "\"drift_ppm\":%s%s,\"sample\":%" PRId64 "}\n",
               velto::ReceptionStateName(s.state), Number(s.cn0DbHz, 1).c_str(),
               Number(s.carrierLevel, 1).c_str(), Number(s.driftPpm, 2).c_str(),
               BandFields().c_str(), s.sample);
    } else {
        // 0 is the decoder's "no estimate"; a person reads it as the window shows it.
        char cn0[16] = "--.-";
        if (s.cn0DbHz != 0.0) std::snprintf(cn0, sizeof cn0, "%.1f", s.cn0DbHz);
        Append(line, "state: %s (C/N0 %s dB-Hz, carrier %.0f)\n",
               velto::ReceptionStateName(s.state), cn0, s.carrierLevel);
    }
    m_out.Write(std::move(line));
}

void CEventPrinter::OnWarning(const velto::Warning& w) {
    if (!m_out.Gone()) {
        m_out.Write(WarningLine(m_json, w.code, ToldWarningText(w.text)));
    }
}

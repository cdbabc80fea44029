#include "headless/EventPrinter.h"

#include <cinttypes>
#include <cmath>

#include "base/Geometry.h"
#include "spectrum/SpectrumAnalyser.h"

namespace {

constexpr std::int64_t kStatusEvery = std::int64_t{10} * velto::kSampleRate;

const char* Bool(bool value) { return value ? "true" : "false"; }

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

}  // namespace

CEventPrinter::CEventPrinter(std::FILE* out, bool json) : m_out(out), m_json(json) {}

std::string CEventPrinter::JstText(const velto::DecoderMinute& m) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:00+09:00", m.year, m.month, m.day,
                  m.hour, m.minute);
    return text;
}

std::string CEventPrinter::JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void CEventPrinter::OnMinute(const velto::DecoderMinute& m,
                             const std::optional<velto::SystemTime>& captured) {
    if (!m_json) {
        std::fprintf(m_out, "%04d-%02d-%02d %02d:%02d JST  at sample %.1f%s\n", m.year, m.month,
                     m.day, m.hour, m.minute, m.onTimeSample, m.flywheel ? "  (flywheel)" : "");
        std::fflush(m_out);
        return;
    }
    std::fprintf(m_out, "{\"type\":\"minute\",\"jst\":\"%s\",\"sample\":%.1f", JstText(m).c_str(),
                 m.onTimeSample);
    // The system clock's reading of the on-time point, not the decoded time.
    if (captured) {
        std::fprintf(m_out, ",\"system_unix\":%s", UnixText(*captured).c_str());
    }
    std::fprintf(m_out,
                 ",\"day_of_year\":%d,\"weekday\":%d,\"pa1\":%s,\"pa2\":%s,\"ls1\":%s,\"ls2\":%s,"
                 "\"call_sign\":%s,\"flywheel\":%s,\"confidence\":%s,\"seconds\":%d}\n",
                 m.dayOfYear, m.weekday, Bool(m.pa1Ok), Bool(m.pa2Ok), Bool(m.ls1), Bool(m.ls2),
                 Bool(m.callSignMinute), Bool(m.flywheel), Number(m.confidence, 3).c_str(),
                 m.secondsInMinute);
    std::fflush(m_out);
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
    const bool changed = !m_lastState || *m_lastState != s.state;
    // A person reads changes only; a program also gets the figures every 10 s.
    if (!changed && (!m_json || s.sample - m_lastStatusSample < kStatusEvery)) {
        return;
    }
    m_lastState = s.state;
    m_lastStatusSample = s.sample;
    if (m_json) {
        std::fprintf(m_out,
                     "{\"type\":\"status\",\"state\":\"%s\",\"cn0_dbhz\":%s,\"carrier\":%s,"
                     "\"drift_ppm\":%s%s,\"sample\":%" PRId64 "}\n",
                     velto::ReceptionStateName(s.state), Number(s.cn0DbHz, 1).c_str(),
                     Number(s.carrierLevel, 1).c_str(), Number(s.driftPpm, 2).c_str(),
                     BandFields().c_str(), s.sample);
    } else {
        // 0 is the decoder's "no estimate"; a person reads it as the window shows it.
        char cn0[16] = "--.-";
        if (s.cn0DbHz != 0.0) std::snprintf(cn0, sizeof cn0, "%.1f", s.cn0DbHz);
        std::fprintf(m_out, "state: %s (C/N0 %s dB-Hz, carrier %.0f)\n",
                     velto::ReceptionStateName(s.state), cn0, s.carrierLevel);
    }
    std::fflush(m_out);
}

void CEventPrinter::OnWarning(const velto::Warning& w) {
    if (m_json) {
        std::fprintf(m_out, "{\"type\":\"warning\",\"code\":%s,\"text\":%s}\n",
                     JsonString(velto::WarningCodeName(w.code)).c_str(),
                     JsonString(w.text).c_str());
    } else {
        std::fprintf(m_out, "warning: %s\n", w.text.c_str());
    }
    std::fflush(m_out);
}

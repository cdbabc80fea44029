#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "headless/OutputLines.h"
#include "receiver/ReceiverObserver.h"

namespace velto {
class CSpectrumAnalyser;
}

// Writes what the receiver reports to standard output, one line per event:
// plain text for a person, or one JSON object per line for a program.
// Status lines come on each change of state, and in JSON also every 10 s
// of input; with a spectrum analyser they carry its noise floor and the
// steady carriers beside the station's. Once `out` has gone (the reader of a
// pipe has ended) nothing more is made.
class CEventPrinter : public velto::IReceiverObserver {
public:
    CEventPrinter(COutputLines& out, bool json);

    void OnConfigured(const velto::Station& station, velto::CaptureFormat format) override;
    // The analyser that measures the band of the same input; nullptr: none.
    void SetSpectrum(const velto::CSpectrumAnalyser* analyser) { m_spectrum = analyser; }

    void OnMinute(const velto::DecoderMinute& minute,
                  const std::optional<velto::SystemTime>& captured) override;
    void OnStatus(const velto::DecoderStatus& status) override;
    void OnWarning(const velto::Warning& warning) override;

    // "2027-03-01T00:00:00+09:00" for the JST time of a minute's second 0.
    static std::string JstText(const velto::DecoderMinute& minute);
    // "2027-02-28T15:00:00Z".
    static std::string UtcText(std::int64_t utc);
    // A JSON string of text in any encoding: what is not UTF-8 is written
    // byte by byte as \xNN, so that every line is valid UTF-8.
    static std::string JsonString(const std::string& text);
    // A warning line: its code and its sentence, as JSON or for a person.
    static std::string WarningLine(bool json, velto::WarningCode code, const std::string& text);
    // The warning line that `lines` lines were left out.
    static std::string LeftOutLine(bool json, std::uint64_t lines);

private:
    std::string BandFields() const;

    COutputLines& m_out;
    bool m_json;
    const velto::Station* m_station = &velto::Stations().front();
    std::optional<velto::ReceptionState> m_lastState;
    std::int64_t m_lastStatusSample = 0;
    const velto::CSpectrumAnalyser* m_spectrum = nullptr;
};

#pragma once

#include <array>
#include <climits>
#include <cstdint>

#include "station/FrameEncoder.h"
#include "station/Station.h"
#include "timecode/CarrierTracker.h"
#include "timecode/Decimator.h"
#include "timecode/DecoderEvents.h"
#include "timecode/FrameDecoder.h"
#include "timecode/MinuteSync.h"
#include "timecode/SecondTracker.h"
#include "timecode/SignalMonitor.h"

namespace velto {

// The decoder's stages in a row, and what ties them together: the history of
// scored seconds, the minute records, the time and its confirmation.
class CDecoderChain : public IBasebandSink, public IDetectedSink, public IScoredSink {
public:
    // The station's signal at `rate` samples per second.
    CDecoderChain(IDecoderSink& sink, const Station& station, int rate);
    void Feed(std::int64_t firstSample, const std::int16_t* samples, std::size_t n);
    void LoseUnsaid(std::int64_t after);
    void Reset();
    DecoderStatus Status() const;

    void OnBaseband(const BasebandSample& s) override;
    void OnDetected(const DetectedSample& s) override;
    void OnScored(const ScoredSecond& s) override;
    void OnRisen(const RisenSecond& s) override;

private:
    ReceptionState State() const;
    void ReportState(std::int64_t sample, bool always);
    void ClearMinutes();
    // Gives up the held time and all evidence older than `keepFrom`
    // (running second).
    void DropHeldTime(std::int64_t keepFrom);
    void Rebuild();
    MinuteRecord& StartRecord(std::int64_t number, std::int64_t firstSecond);
    void Place(const ScoredSecond& s);
    void Evaluate();
    // The time at which the latest weighing says the current record began
    // leads from now on.
    void Lead(std::int64_t unix);
    // contradicted: the minute's own bits fit another time plainly better.
    void EmitMinute(const MinuteRecord& r, bool contradicted);
    void EmitSecond(const ScoredSecond& s, int secondInMinute, const MinuteRecord* r);
    std::int64_t RecordUnix(std::int64_t number) const;
    // UTC and second of the minute of a running second not yet placed, under
    // the held time.
    bool Label(std::int64_t second, std::int64_t& unix, int& inMinute) const;
    // Whether a second carries the call sign's Morse under the held time.
    bool CallSignSecond(std::int64_t second);
    // Whether this second of a call-sign minute is the call sign's (JJY).
    bool MorseSecond(int secondInMinute) const;
    // The frame the station sends in a UTC minute, from a small cache.
    const Frame& FrameOf(std::int64_t utcMinute);
    // How much better than the frame of `utcMinute` the best frame of any
    // time fits a record, over the bits that carry the time, in nats.
    double Disagreement(const MinuteRecord& r, std::int64_t utcMinute);
    void WatchSignal(const ScoredSecond& s);
    // Weighs whether the seconds are counted a whole second off the held
    // time (a splice of whole seconds shows in the frame, not in the rise).
    void WatchCount(const ScoredSecond& s, std::int64_t unix);
    // Tells the second tracker where the call sign's Morse comes next, or
    // the second without an on-time edge.
    void QuietMorse(std::int64_t second);
    // The rise jumped (a splice): nothing from before `from` (running
    // second) is combined with what follows, and a held time is not shown
    // until the signal after the jump confirms it.
    void OnSplice(std::int64_t from);
    // The held time as the reports carry it: held, and not awaiting the
    // signal's confirmation after a splice.
    bool TimeShown() const { return m_valid && !m_spliced; }
    MinuteRecord* Record(std::int64_t number);
    const MinuteRecord* Record(std::int64_t number) const;

    IDecoderSink& m_sink;
    const Station& m_station;
    int m_rate;
    CSymbolModel m_model;
    CDecimator m_decimator;
    CCarrierTracker m_carrier;
    CSecondTracker m_seconds;
    CMinuteSync m_minutes;
    CFrameDecoder m_frame;
    CSignalMonitor m_presence;
    int m_edgeless;  // the second of the minute without an on-time edge, -1: none

    std::array<ScoredSecond, timecode::kHistorySeconds> m_history{};
    std::int64_t m_historyCount = 0;  // entries written since the last clear
    std::array<MinuteRecord, timecode::kMaxRecords + 1> m_records{};
    MinuteRecord m_boundary{};    // the oldest record weighed, cut at m_cutFrom
    std::int64_t m_current = -1;  // number of the record being filled
    int m_epoch = -1;
    int m_generation = -1;
    bool m_wasLocked = false;

    // The time: record m_anchorNumber began at m_anchorUnix (UTC).
    bool m_valid = false;
    bool m_spliced = false;        // carried across a splice, awaiting confirmation
    int m_splicesSeen = 0;         // of the second tracker's, in this epoch
    int m_changesSeen = 0;         // of the carrier tracker's
    std::int64_t m_refoldAt = -1;  // input index at which to fold the second afresh
    std::int64_t m_anchorNumber = 0, m_anchorUnix = 0;
    int m_leap = 0;
    bool m_confirmed = false;  // the last evaluation was decisive and agreed
    double m_confidence = 0.0;
    std::int64_t m_confirmSample = 0;
    int m_contradictions = 0;  // minutes in a row that plainly contradict the held time
    // Evidence, in nats, that the seconds are counted a second or a minute
    // off the held time, summed while positive since running second `from`.
    struct CountWatch {
        double off = 0.0;
        std::int64_t from = 0;
    };
    static constexpr std::size_t kCountWatches = 3;
    std::array<CountWatch, kCountWatches> m_countWatch{};
    // The time (record m_candidateNumber began at m_candidateUnix) that has
    // led every evaluation since m_candidateSample.
    bool m_haveCandidate = false;
    std::int64_t m_candidateNumber = 0, m_candidateUnix = 0, m_candidateSample = 0;

    double m_newestOnTime = 0.0;      // of the newest scored second
    std::int64_t m_newestSecond = 0;  // ... and its running count
    std::int64_t m_sample = 0;        // centre of the newest baseband sample
    std::int64_t m_presentSince = 0;  // m_sample when the signal last came back
    // First running second whose evidence may be combined with newer: the
    // signal's return under the flywheel, until the held time is confirmed
    // again (what came back may carry another time).
    std::int64_t m_evidenceFrom = kAllEvidence;
    // ... and first running second after a splice (or a count found off):
    // what came before it is not weighed even within the oldest minute.
    std::int64_t m_cutFrom = kAllEvidence;
    static constexpr std::int64_t kAllEvidence = INT64_MIN;
    std::int64_t m_nextStatus = 0;
    ReceptionState m_reported = ReceptionState::NoSignal;

    struct CachedFrame {
        std::int64_t utcMinute = -1;
        Frame frame;
    };
    std::array<CachedFrame, 4> m_frames{};
    std::size_t m_nextFrame = 0;
};

}  // namespace velto

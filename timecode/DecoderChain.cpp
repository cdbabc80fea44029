#include "timecode/DecoderChain.h"

#include <algorithm>
#include <cmath>

#include "station/Calendar.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

using namespace timecode;

// Noise variance of one component of a baseband sample per unit of input
// noise variance: the triangle's sum of squared weights, scaled (1/72 for
// blocks of 96).
double NoisePerBaseband(int block) { return 4.0 / (3.0 * block); }
constexpr double kNoShift = 1e9;

// A scored second into its place in a minute's record; the record's first
// second also gives the minute's on-time point, unless its rise is in doubt.
void Keep(MinuteRecord& r, std::int64_t pos, const ScoredSecond& s) {
    r.log[pos] = s.log;
    r.present[pos] = !s.erasure;
    if (pos == 0) {
        r.onTime0 = s.onTimeSample;
        r.edge0 = s.edge;
        r.haveOnTime0 = !s.spliced && !s.riseDoubted;
    }
}

// What a second is reported as: MSF's two bits by its A bit.
TimeSymbol ToTimeSymbol(Symbol symbol) {
    switch (symbol) {
        case Symbol::Zero:
        case Symbol::ZeroOne:
            return TimeSymbol::Zero;
        case Symbol::One:
        case Symbol::OneOne:
            return TimeSymbol::One;
        case Symbol::Marker:
            return TimeSymbol::Marker;
    }
    return TimeSymbol::Erasure;
}

// Whether second s of a record reads as the bit 1 of its role.
bool HardOne(const MinuteRecord& r, const SecondRole& role, int s) {
    return r.present[s] && LogOf(r.log[s], role.ifOne) > LogOf(r.log[s], role.ifZero);
}

// Whether a parity rule holds in the record's hard bits.
bool ParityOk(const MinuteRecord& r, const FrameLayout& layout, int rule) {
    if (rule >= layout.parityCount) return true;
    const ParityRule& p = layout.parities[rule];
    int ones = 0;
    for (int s = 0; s < 60; ++s) {
        const SecondRole& role = layout.seconds[s];
        if (role.field == Field::Fixed || role.field == Field::Parity) continue;
        const bool covered = std::find(p.fields.begin(), p.fields.begin() + p.fieldCount,
                                       role.field) != p.fields.begin() + p.fieldCount;
        if (covered) ones += HardOne(r, role, s) ? 1 : 0;
    }
    return ((ones % 2 == 1) != p.odd) == HardOne(r, layout.seconds[p.second], p.second);
}

// Whether a UTC minute is the last of its month (where a leap second goes).
bool LastMinuteOfMonth(std::int64_t utcMinute) {
    const std::int64_t next = utcMinute + 60;
    if (next % kSecondsPerDay != 0) return false;
    int year = 0, month = 0, day = 0;
    CivilFromDays(next / kSecondsPerDay, year, month, day);
    return day == 1;
}

// Whether the time code's seconds carry what the decoder weighs as the time:
// the time of day and the date, and the fixed seconds among them.
// The second of the minute that the station sends at the full carrier
// throughout, without an on-time edge (DCF77's 59th); -1: none.
int EdgelessSecond(const Station& station) {
    for (int s = 0; s < 60; ++s) {
        const SecondRole& role = station.layout.seconds[s];
        const SymbolKeying& k = station.Keying(role.ifZero);
        if (role.ifZero == role.ifOne && k.used && k.parts == 0) return s;
    }
    return -1;
}

bool TimeSecond(const FrameLayout& layout, int s) {
    int first = 60, last = -1;
    for (int k = 0; k < 60; ++k) {
        const FieldGroup g = GroupOfSecond(layout, k);
        if (g == FieldGroup::TimeOfDay || g == FieldGroup::Date) {
            first = std::min(first, k);
            last = std::max(last, k);
        }
    }
    const FieldGroup g = GroupOfSecond(layout, s);
    if (g == FieldGroup::TimeOfDay || g == FieldGroup::Date) return true;
    return g == FieldGroup::Fixed && layout.seconds[s].ifZero != Symbol::Marker && s > first &&
           s < last;
}

}  // namespace

CDecoderChain::CDecoderChain(IDecoderSink& sink, const Station& station, int rate)
    : m_sink(sink),
      m_station(station),
      m_rate(rate),
      m_model(station),
      m_decimator(station.carrierHz, rate),
      m_carrier(station.carrierHz, rate, station.phaseFlips),
      m_seconds(station, m_decimator.Block()),
      m_minutes(station),
      m_frame(station),
      m_edgeless(EdgelessSecond(station)) {}

const Frame& CDecoderChain::FrameOf(std::int64_t utcMinute) {
    utcMinute = FloorDiv(utcMinute, 60) * 60;
    for (const CachedFrame& c : m_frames) {
        if (c.utcMinute == utcMinute) return c.frame;
    }
    CachedFrame& c = m_frames[m_nextFrame];
    m_nextFrame = (m_nextFrame + 1) % m_frames.size();
    c.utcMinute = utcMinute;
    c.frame = EncodeFrame(m_station, utcMinute);
    return c.frame;
}

double CDecoderChain::Disagreement(const MinuteRecord& r, std::int64_t utcMinute) {
    // How much better than the frame of `utcMinute` the best frame of any
    // time fits a record, over the bits that carry the time, in nats.
    const Frame& frame = FrameOf(utcMinute);
    const FrameLayout& layout = frame.callSign ? m_station.callSignLayout : m_station.layout;
    double gap = 0.0;
    for (int s = 0; s < 60; ++s) {
        if (!r.present[s] || !TimeSecond(layout, s)) continue;
        const SecondRole& role = layout.seconds[s];
        const SymbolLogs& l = r.log[s];
        const bool fixed = role.ifZero == role.ifOne;
        // A fixed second weighs its symbol against the station's 0 or 1.
        const double other = fixed ? std::max(LogOf(l, Symbol::Zero), LogOf(l, Symbol::One))
                                   : std::max(LogOf(l, role.ifZero), LogOf(l, role.ifOne));
        gap += std::max<double>(other, LogOf(l, frame.symbols[s])) - LogOf(l, frame.symbols[s]);
    }
    return gap;
}

void CDecoderChain::Reset() {
    m_decimator.Reset();
    m_carrier.Reset();
    m_seconds.Reset();
    ClearMinutes();
    m_epoch = -1;
    m_wasLocked = false;
    m_changesSeen = m_carrier.Changes();
    m_refoldAt = -1;
    m_sample = 0;
    m_nextStatus = 0;
    m_reported = ReceptionState::NoSignal;
}

void CDecoderChain::ClearMinutes() {
    m_minutes.Reset();
    m_generation = -1;
    m_historyCount = 0;
    for (auto& r : m_records) r.number = -1;
    m_current = -1;
    m_valid = false;
    m_spliced = false;
    m_countWatch = {};
    m_leap = 0;
    m_confirmed = false;
    m_confidence = 0.0;
    m_haveCandidate = false;
    m_contradictions = 0;
    m_presence.Reset();
    m_presentSince = 0;
    m_evidenceFrom = m_cutFrom = kAllEvidence;
    m_carrier.HoldFrequency(false);
    m_seconds.HoldFold(false);
}

void CDecoderChain::DropHeldTime(std::int64_t keepFrom) {
    m_valid = false;
    m_spliced = false;
    m_countWatch = {};
    m_confirmed = false;
    m_contradictions = 0;
    if (m_evidenceFrom != kAllEvidence) {
        // What came back after a loss carries another time, perhaps in
        // another phase of the minute: find the phase anew from it alone, as
        // data sorted under the held phase can fit a wrong time well enough.
        m_minutes.Reset();
    }
    m_evidenceFrom = std::max(m_evidenceFrom, keepFrom);
    for (auto& r : m_records) {
        if (r.number >= 0 && r.firstSecond + r.length <= m_evidenceFrom) r.number = -1;
    }
}

void CDecoderChain::Feed(std::int64_t firstSample, const std::int16_t* samples, std::size_t n) {
    if (n == 0 || samples == nullptr) return;
    if (m_decimator.Started()) {
        const std::int64_t expected = m_decimator.NextSample();
        if (firstSample > expected && firstSample - expected <= kMaxBridgedGapSeconds * m_rate) {
            // The flywheel carries the held time across the samples lost,
            // counting them; it is the signal's again once a weighing after
            // them confirms it.
            if (m_valid) m_presentSince = std::max(m_presentSince, firstSample);
            m_decimator.Bridge(firstSample, *this);
        } else if (firstSample != expected) {
            Reset();
        }
    }
    m_decimator.Push(firstSample, samples, n, *this);
}

void CDecoderChain::OnBaseband(const BasebandSample& s) {
    m_sample = m_decimator.Block() * s.index - kBasebandDelay;
    std::int64_t span = 0;
    const bool known = m_seconds.FlipSpan(s.index, m_carrier.SamplesPerSecond(), span);
    m_carrier.FlipSpan(known, span);
    m_carrier.Process(s, *this);
    if (m_carrier.Changes() != m_changesSeen) {
        // Until the second is found, what was folded belongs to whatever was
        // detected before; detection is a phase window's half behind.
        m_changesSeen = m_carrier.Changes();
        m_refoldAt = m_sample + std::int64_t{m_decimator.Block()} * (kPhaseHalfWindow + 1);
    }
    if (m_refoldAt >= 0 && m_sample >= m_refoldAt) {
        m_refoldAt = -1;
        if (!m_seconds.Locked()) m_seconds.Reset();
    }
    if (m_wasLocked && !m_seconds.Locked()) {
        ClearMinutes();  // the second was lost: nothing after it holds
    }
    m_wasLocked = m_seconds.Locked();
    if (m_valid && m_sample - m_confirmSample > kFlywheelSeconds * m_rate) {
        m_valid = false;
        m_spliced = false;
    }
    ReportState(m_sample, m_sample >= m_nextStatus);
}

void CDecoderChain::OnDetected(const DetectedSample& s) {
    m_seconds.Process(s, m_carrier.SamplesPerSecond(), m_carrier.NoiseVariance(),
                      m_carrier.CarrierFound(), *this);
    if (m_seconds.Epoch() == m_epoch && m_seconds.Splices() != m_splicesSeen) {
        m_splicesSeen = m_seconds.Splices();
        OnSplice(m_seconds.SpliceFrom());
    }
}

void CDecoderChain::LoseUnsaid(std::int64_t after) {
    if (m_historyCount == 0) return;  // no second counted yet, none to count off
    // From the second the samples went missing in.
    const double seconds =
        std::floor((static_cast<double>(after) - m_newestOnTime) / m_carrier.SamplesPerSecond());
    OnSplice(m_newestSecond + static_cast<std::int64_t>(seconds));
}

void CDecoderChain::OnSplice(std::int64_t from) {
    // The seconds after the jump may be counted a whole second off from
    // those before (a jump of 0.7 s looks like one of -0.3 s): the held time
    // is carried across only until the signal after the jump confirms or
    // contradicts it, and is not shown meanwhile.
    if (m_valid) m_spliced = true;
    m_evidenceFrom = std::max(m_evidenceFrom, from);
    m_cutFrom = std::max(m_cutFrom, from);
    m_haveCandidate = false;
    m_minutes.Weaken(kSpliceMinuteKeep);
    // Seconds judged already from `from` on were judged at the old phase.
    const SymbolLogs erased = m_model.Erased();
    const std::int64_t kept = std::min<std::int64_t>(m_historyCount, kHistorySeconds);
    for (std::int64_t i = m_historyCount - kept; i < m_historyCount; ++i) {
        ScoredSecond& h = m_history[i % kHistorySeconds];
        if (h.second < from) continue;
        h.erasure = h.spliced = true;
        h.log = erased;
    }
    for (MinuteRecord& r : m_records) {
        if (r.number < 0) continue;
        for (std::int64_t pos = std::max<std::int64_t>(from - r.firstSecond, 0); pos < r.length;
             ++pos) {
            r.present[pos] = false;
            r.log[pos] = erased;
            if (pos == 0) r.haveOnTime0 = false;
        }
    }
    ReportState(m_sample, false);
}

ReceptionState CDecoderChain::State() const {
    if (TimeShown()) {
        // After a loss, only an evaluation with the signal back confirms.
        const bool signal = m_presence.Present() && m_confirmSample > m_presentSince;
        return signal ? ReceptionState::TimeValid : ReceptionState::Flywheel;
    }
    if (!m_seconds.Locked()) return ReceptionState::NoSignal;
    return m_minutes.Locked() ? ReceptionState::MinuteLocked : ReceptionState::SecondLocked;
}

void CDecoderChain::ReportState(std::int64_t sample, bool always) {
    const ReceptionState state = State();
    if (!always && state == m_reported) return;
    m_reported = state;
    m_nextStatus = sample + m_rate;
    m_sink.OnStatus(Status());
}

DecoderStatus CDecoderChain::Status() const {
    DecoderStatus st;
    st.state = State();
    st.carrierLevel = m_seconds.Locked() ? std::max(m_seconds.Level(), 0.0) : 0.0;
    const double noise = m_carrier.NoiseVariance() / NoisePerBaseband(m_decimator.Block());
    st.cn0DbHz = st.carrierLevel > 0.0 && noise > 0.0
                     ? 10.0 * std::log10(st.carrierLevel * st.carrierLevel * m_rate / (4.0 * noise))
                     : 0.0;
    // The level of a carrier that is gone is the noise's: no estimate then.
    if (st.cn0DbHz < 0.0 || (m_valid && !m_presence.Present())) st.cn0DbHz = 0.0;
    st.driftPpm = m_carrier.CarrierFound() ? m_carrier.DriftPpm() : 0.0;
    st.sample = m_sample;
    return st;
}

const MinuteRecord* CDecoderChain::Record(std::int64_t number) const {
    if (number < 0) return nullptr;
    const MinuteRecord& r = m_records[static_cast<std::size_t>(number % m_records.size())];
    return r.number == number ? &r : nullptr;
}

MinuteRecord* CDecoderChain::Record(std::int64_t number) {
    if (number < 0) return nullptr;
    MinuteRecord& r = m_records[static_cast<std::size_t>(number % m_records.size())];
    return r.number == number ? &r : nullptr;
}

MinuteRecord& CDecoderChain::StartRecord(std::int64_t number, std::int64_t firstSecond) {
    MinuteRecord& r = m_records[static_cast<std::size_t>(number % m_records.size())];
    r = MinuteRecord{};
    r.number = number;
    r.firstSecond = firstSecond;
    r.length = 60;
    if (m_valid && m_leap != 0 && LastMinuteOfMonth(RecordUnix(number))) {
        r.length = m_leap == 1 ? 61 : 59;
    }
    return r;
}

std::int64_t CDecoderChain::RecordUnix(std::int64_t number) const {
    return m_anchorUnix + 60 * (number - m_anchorNumber);
}

void CDecoderChain::Rebuild() {
    // The minute's phase is new: sort the history into minutes under it.
    for (auto& r : m_records) r.number = -1;
    std::int64_t kept = std::min<std::int64_t>(m_historyCount, kHistorySeconds);
    while (kept > 1 &&
           m_history[(m_historyCount - kept) % kHistorySeconds].second < m_evidenceFrom) {
        --kept;
    }
    const std::int64_t newest = m_history[(m_historyCount - 1) % kHistorySeconds].second;
    const std::int64_t oldestSecond = m_history[(m_historyCount - kept) % kHistorySeconds].second;
    const std::int64_t currentFirst = newest - m_minutes.SecondInMinute(newest);
    const std::int64_t back =
        std::min<std::int64_t>((currentFirst - oldestSecond + 59) / 60, kMaxRecords);
    const std::int64_t base = m_current + 1 + back;  // numbers keep growing
    m_current = -1;
    for (std::int64_t k = back; k >= 0; --k) {
        StartRecord(base - k, currentFirst - 60 * k);
    }
    m_current = base;
    for (std::int64_t i = m_historyCount - kept; i < m_historyCount; ++i) {
        const ScoredSecond& s = m_history[i % kHistorySeconds];
        const std::int64_t k = (currentFirst - s.second + 59) / 60;  // records back
        MinuteRecord* r = Record(base - k);
        if (r == nullptr) continue;
        const std::int64_t pos = s.second - r->firstSecond;
        if (pos < 0 || pos >= r->length) continue;
        Keep(*r, pos, s);
    }
    m_haveCandidate = false;
}

bool CDecoderChain::MorseSecond(int secondInMinute) const {
    return m_station.callSignMinutes && secondInMinute >= 0 && secondInMinute < 60 &&
           m_station.callSignLayout.seconds[secondInMinute].field == Field::CallSign;
}

bool CDecoderChain::CallSignSecond(std::int64_t second) {
    const MinuteRecord* r = m_valid ? Record(m_current) : nullptr;
    if (r == nullptr || !m_station.callSignMinutes) return false;
    std::int64_t pos = second - r->firstSecond, number = r->number;
    if (pos >= r->length) {
        pos -= r->length;
        ++number;
    }
    return FrameOf(RecordUnix(number)).callSign && MorseSecond(static_cast<int>(pos));
}

void CDecoderChain::WatchSignal(const ScoredSecond& s) {
    const bool was = m_presence.Present();
    if (s.contrastSigma > 0.0 && !CallSignSecond(s.contrastSecond)) {
        m_presence.Add(s.contrast, s.contrastSigma);
    }
    if (!was && m_presence.Present()) {
        m_presentSince = m_sample;
        if (m_valid) m_evidenceFrom = s.contrastSecond;
    }
    const bool hold = m_valid && !m_presence.Present();
    m_carrier.HoldFrequency(hold);
    m_seconds.HoldFold(hold);
}

void CDecoderChain::QuietMorse(std::int64_t second) {
    if (m_edgeless >= 0) {
        // The second sent at the full carrier throughout (DCF77's 59th) shows
        // no on-time edge: its absence there is no sign that the edge moved.
        std::int64_t at = second;
        while (m_minutes.Locked() && m_minutes.SecondInMinute(at) != m_edgeless) ++at;
        m_seconds.QuietSeconds(m_minutes.Locked() ? at : 0, m_minutes.Locked() ? at : -1);
        return;
    }
    if (!m_minutes.Locked() || !m_station.callSignMinutes) {
        m_seconds.QuietSeconds(0, -1);
        return;
    }
    // The call sign's seconds (JJY: 40..48) of the minute now going on or the
    // next; under a held time only in the call-sign minutes, else in every
    // minute.
    int first = 0, last = 0;
    while (first < 59 && !MorseSecond(first)) ++first;
    while (last + 1 < 60 && (last < first || MorseSecond(last + 1))) ++last;
    std::int64_t from = second - (last - first);
    while (m_minutes.SecondInMinute(from) != first) ++from;
    const MinuteRecord* r = m_valid ? Record(m_current) : nullptr;
    if (r != nullptr) {
        const std::int64_t ahead = from - r->firstSecond;
        const std::int64_t minutes = ahead >= 0 ? ahead / 60 : -((59 - ahead) / 60);
        const std::int64_t unix = RecordUnix(r->number + minutes);
        if (!FrameOf(unix).callSign) {
            m_seconds.QuietSeconds(0, -1);
            return;
        }
    }
    m_seconds.QuietSeconds(from, from + (last - first));
}

void CDecoderChain::OnScored(const ScoredSecond& scored) {
    if (scored.epoch != m_epoch) {
        ClearMinutes();
        m_epoch = scored.epoch;
        m_splicesSeen = m_seconds.Splices();
    }
    WatchSignal(scored);
    QuietMorse(scored.second);
    m_newestOnTime = scored.onTimeSample;
    m_newestSecond = scored.second;
    ScoredSecond s = scored;
    if (m_valid && !m_presence.Present()) {
        // A second without the signal is noise: it must neither add to the
        // evidence nor contradict the time the flywheel carries on.
        s.erasure = true;
        s.log = m_model.Erased();
        s.quality = 0.0f;
    }
    m_history[m_historyCount % kHistorySeconds] = s;
    ++m_historyCount;
    m_minutes.Add(s);
    if (!m_minutes.Locked()) {
        EmitSecond(s, -1, nullptr);
        ReportState(static_cast<std::int64_t>(s.onTimeSample), false);
        return;
    }
    if (m_minutes.Generation() != m_generation) {
        m_generation = m_minutes.Generation();
        m_valid = m_spliced = false;  // a held time cannot survive a new minute phase
        Rebuild();
        Evaluate();
        const MinuteRecord* r = Record(m_current);
        EmitSecond(s, r != nullptr ? static_cast<int>(s.second - r->firstSecond) : -1, r);
        ReportState(static_cast<std::int64_t>(s.onTimeSample), false);
        return;
    }
    Place(s);
    ReportState(static_cast<std::int64_t>(s.onTimeSample), false);
}

void CDecoderChain::Place(const ScoredSecond& s) {
    MinuteRecord* r = Record(m_current);
    while (r != nullptr && s.second - r->firstSecond >= r->length) {
        const std::int64_t next = r->firstSecond + r->length;
        const int shift = 60 - r->length;
        if (shift != 0) m_minutes.Shift(shift);
        r = &StartRecord(m_current + 1, next);
        ++m_current;
    }
    if (r == nullptr) return;
    const int pos = static_cast<int>(s.second - r->firstSecond);
    if (pos < 0) return;
    Keep(*r, pos, s);
    EmitSecond(s, pos, r);
    if (m_valid && pos < 60) {
        WatchCount(s, RecordUnix(r->number) + pos);
        if (!m_valid) return;
    }
    if (pos % 10 == 9 || pos == r->length - 1) {
        Evaluate();
    }
    if (pos == r->length - 1 && m_valid) {
        // A held time that the minute just received plainly contradicts,
        // twice in a row, is given up rather than carried on.
        const bool contradicts = Disagreement(*r, RecordUnix(r->number)) >= kContradictionNats;
        m_contradictions = contradicts ? m_contradictions + 1 : 0;
        if (m_contradictions >= 2) {
            m_haveCandidate = false;
            DropHeldTime(r->firstSecond);
            return;
        }
        // A minute whose start lies where the rise jumped has no on-time
        // point to report, nor one that the signal since places elsewhere
        // (a jump too small to tell at once); the flywheel's stands as held.
        // Nor one that the minute's bits lean to place a minute off.
        const bool minuteDoubted =
            std::max(m_countWatch[1].off, m_countWatch[2].off) >= kMinuteDoubtNats;
        if (!m_spliced && !minuteDoubted && r->haveOnTime0 &&
            (State() == ReceptionState::Flywheel || m_seconds.RecentlyAt(r->edge0))) {
            EmitMinute(*r, contradicts);
        }
    }
}

void CDecoderChain::Evaluate() {
    std::array<const MinuteRecord*, kMaxRecords> run{};
    int count = 0;
    for (std::int64_t n = m_current; n >= 0 && count < kMaxRecords; --n) {
        const MinuteRecord* r = Record(n);
        if (r == nullptr || r->firstSecond + r->length <= m_evidenceFrom) break;
        run[count++] = r;
    }
    if (count == 0) return;
    if (run[count - 1]->firstSecond < m_cutFrom) {
        // Of the oldest minute, only what came after the splice: what came
        // before it may be counted a second off.
        m_boundary = *run[count - 1];
        for (std::int64_t pos = 0; pos < m_cutFrom - m_boundary.firstSecond; ++pos) {
            m_boundary.present[pos] = false;
            m_boundary.log[pos] = m_model.Erased();
        }
        run[count - 1] = &m_boundary;
    }
    m_confirmed = false;
    if (m_valid && !m_presence.Present()) return;  // old evidence does not prolong the flywheel
    const FrameResult result = m_frame.Decode(run.data(), count);
    // The frame names a civil time; the newest record began at its UTC less
    // the frame's lead.
    const std::int64_t days = DaysFromCivil(result.year, 1, 1) + result.dayOfYear - 1;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    const std::int64_t unix = FrameStartUtc(m_station, year, month, day, result.minuteOfDay / 60,
                                            result.minuteOfDay % 60, result.summer);
    m_sink.OnEvaluation({m_newestOnTime, unix + (m_newestSecond - run[0]->firstSecond),
                         result.marginTime, result.marginDate, result.decisive});
    if (!m_valid) {
        // A time is taken once it is decisive and has led every weighing
        // for kConfirmSeconds: a weighing that one burst of noise tipped to
        // another time does not make it, and a decisive time is not held
        // back for a second weighing that its slowest field (the hour's
        // bits come once a minute) gives nothing new to.
        const bool leads =
            m_haveCandidate && m_candidateUnix + 60 * (m_current - m_candidateNumber) == unix;
        if (!leads) {
            Lead(unix);
            return;
        }
        if (!result.decisive || m_sample - m_candidateSample < kConfirmSeconds * m_rate) {
            return;
        }
        m_valid = true;
        m_countWatch = {};
        m_anchorNumber = m_current;
        m_anchorUnix = unix;
    } else {
        if (!result.decisive) return;
        if (RecordUnix(m_current) != unix) {
            // Decisive evidence against the held time: neither is valid
            // until the new one has led long enough, and the older evidence,
            // which fits the held time, is not combined with the new.
            DropHeldTime(run[count - 1]->firstSecond);
            Lead(unix);
            return;
        }
        m_evidenceFrom = m_cutFrom = kAllEvidence;  // the older evidence fits the held time too
        m_spliced = false;
    }
    m_confirmed = true;
    m_confidence = result.confidence;
    m_confirmSample = m_sample;
    const bool ls1 = result.ls1Evidence >= kLeapNoticeNats;
    m_leap = ls1 ? (result.ls2Evidence > 0.0 ? 1 : 2) : 0;
}

void CDecoderChain::Lead(std::int64_t unix) {
    m_haveCandidate = true;
    m_candidateNumber = m_current;
    m_candidateUnix = unix;
    m_candidateSample = m_sample;
}

bool CDecoderChain::Label(std::int64_t second, std::int64_t& unix, int& inMinute) const {
    const MinuteRecord* r = Record(m_current);
    if (r == nullptr || second < r->firstSecond) return false;
    std::int64_t number = r->number, pos = second - r->firstSecond;
    int length = r->length;
    while (pos >= length) {
        pos -= length;
        ++number;
        length =
            m_leap != 0 && LastMinuteOfMonth(RecordUnix(number)) ? (m_leap == 1 ? 61 : 59) : 60;
    }
    unix = RecordUnix(number) + pos;
    inMinute = static_cast<int>(pos);
    return true;
}

void CDecoderChain::OnRisen(const RisenSecond& s) {
    if (s.epoch != m_epoch) return;
    DecoderRise out;
    out.onTimeSample = s.onTimeSample;
    out.state = State();
    out.secondInMinute = m_minutes.Locked() ? m_minutes.SecondInMinute(s.second) : -1;
    out.timeValid = false;
    out.utcUnix = 0;
    out.leap = 0;
    std::int64_t unix = 0;
    int inMinute = 0;
    if (TimeShown() && !s.doubted && Label(s.second, unix, inMinute)) {
        out.timeValid = true;
        out.utcUnix = unix;
        out.secondInMinute = inMinute;
        out.leap = m_leap;
    }
    out.vouched = out.timeValid && out.state == ReceptionState::TimeValid && s.seen;
    m_sink.OnRise(out);
}

void CDecoderChain::WatchCount(const ScoredSecond& s, std::int64_t unix) {
    // The symbol the held time expects at `unix`, or none where it is not
    // known (the call sign's Morse and service notice, the leap-second bits).
    auto expected = [this](std::int64_t u, const ScoredSecond& x, double& log) {
        const std::int64_t minute = FloorDiv(u, 60) * 60;
        const auto second = static_cast<int>(u - minute);
        const Frame& frame = FrameOf(minute);
        const SecondRole& role =
            (frame.callSign ? m_station.callSignLayout : m_station.layout).seconds[second];
        if (GroupOf(role.field) == FieldGroup::Open || role.field == Field::LeapNotice ||
            role.field == Field::LeapInsert) {
            return false;
        }
        log = LogOf(x.log, frame.symbols[second]);
        return true;
    };
    double here = 0.0;
    if (s.erasure || !expected(unix, s, here)) return;
    // A second early or late (weighed together), a minute early, a minute
    // late: a minute's shift shows only in the bits that differ between
    // neighbouring minutes, and is weighed on its own so that noise on the
    // seconds does not add to it.
    constexpr std::array<std::array<int, 2>, kCountWatches> kShifts{
        {{-1, 1}, {-60, -60}, {60, 60}}};
    for (std::size_t w = 0; w < kCountWatches; ++w) {
        double best = -kNoShift;
        for (const int shift : kShifts[w]) {
            double shifted = 0.0;
            if (expected(unix + shift, s, shifted)) best = std::max(best, shifted);
        }
        if (best <= -kNoShift) continue;
        CountWatch& watch = m_countWatch[w];
        if (watch.off <= 0.0) watch.from = s.second;
        watch.off = std::max(0.0, watch.off + best - here);
        if (watch.off >= kCountOffNats) {
            // The seconds lost or gained a whole number: what follows the
            // change fits another minute phase and time, found anew.
            const std::int64_t from = watch.from;
            m_haveCandidate = false;
            m_cutFrom = std::max(m_cutFrom, from);
            DropHeldTime(from);
            return;
        }
    }
}

void CDecoderChain::EmitSecond(const ScoredSecond& s, int secondInMinute, const MinuteRecord* r) {
    DecoderSecond out;
    out.onTimeSample = s.onTimeSample;
    out.secondInMinute = secondInMinute;
    out.scoreZero = LogOf(s.log, Symbol::Zero);
    out.scoreOne = LogOf(s.log, Symbol::One);
    out.scoreMarker = LogOf(s.log, Symbol::Marker);
    out.quality = s.quality;
    if (s.erasure) {
        out.symbol = TimeSymbol::Erasure;
    } else {
        // The likeliest symbol; of equals the marker first, then the 1.
        constexpr Symbol kOrder[] = {Symbol::Marker, Symbol::Zero, Symbol::One, Symbol::ZeroOne,
                                     Symbol::OneOne};
        Symbol best = Symbol::Marker;
        for (Symbol k : kOrder) {
            if (LogOf(s.log, k) > LogOf(s.log, best)) best = k;
        }
        out.symbol = ToTimeSymbol(best);
    }
    out.state = State();
    // A second whose rise the signal lately showed elsewhere, or since leans
    // to have left, carries no time: the samples may have jumped, by more
    // than half a second too, which moves the count.
    out.timeValid =
        TimeShown() && r != nullptr && secondInMinute >= 0 && !s.riseDoubted && !s.riseUnsure;
    out.vouched = out.timeValid && out.state == ReceptionState::TimeValid && s.riseSeen;
    // A second whose samples were lost is carried on the sample clock.
    out.flywheel = out.state == ReceptionState::Flywheel || (out.timeValid && !s.heard);
    out.utcUnix = 0;
    out.leap = 0;
    if (out.timeValid) {
        const std::int64_t minuteUnix = RecordUnix(r->number);
        out.utcUnix = minuteUnix + secondInMinute;
        out.leap = m_leap;
        if (FrameOf(minuteUnix).callSign && MorseSecond(secondInMinute)) {
            out.symbol = TimeSymbol::CallSign;
        }
    }
    m_sink.OnSecond(out);
}

void CDecoderChain::EmitMinute(const MinuteRecord& r, bool contradicted) {
    DecoderMinute m;
    m.utcUnix = RecordUnix(r.number);
    const CivilTime t = CivilTimeOf(m_station, m.utcUnix);
    m.year = t.year;
    m.month = t.month;
    m.day = t.day;
    m.hour = t.hour;
    m.minute = t.minute;
    m.dayOfYear = t.dayOfYear;
    m.weekday = t.weekday;
    m.onTimeSample = r.haveOnTime0 ? r.onTime0 : 0.0;
    const Frame& frame = FrameOf(m.utcUnix);
    const FrameLayout& layout = frame.callSign ? m_station.callSignLayout : m_station.layout;
    m.pa1Ok = ParityOk(r, layout, 0);
    m.pa2Ok = ParityOk(r, layout, 1);
    m.paritiesOk = m.pa1Ok && m.pa2Ok;
    for (int rule = 2; rule < layout.parityCount; ++rule) {
        m.paritiesOk = m.paritiesOk && ParityOk(r, layout, rule);
    }
    m.ls1 = m_leap != 0;
    m.ls2 = m_leap == 1;
    m.callSignMinute = frame.callSign;
    m.flywheel = !m_confirmed || contradicted || State() == ReceptionState::Flywheel;
    m.confidence = m.flywheel ? 0.0 : m_confidence;
    m.secondsInMinute = r.length;
    m_sink.OnMinute(m);
}

}  // namespace velto

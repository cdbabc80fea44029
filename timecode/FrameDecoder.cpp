#include "timecode/FrameDecoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "station/Calendar.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

constexpr double kImpossible = -1e300;
constexpr int kDay = 1440;  // minutes
// A change between standard and summer time falls at 01:00 UTC.
constexpr int kChangeMinute = 60;

// The record's position of the layout's second s: in a leap-second minute
// the seconds after the inserted one move one later, those after the deleted
// one one earlier (-1: the second deleted).
int Pos(const Station& st, const MinuteRecord& r, int s) {
    if (r.length == 61 && s >= st.leapInsertAt) return s + 1;
    if (r.length == 59 && s == st.leapDeleteAt) return -1;
    if (r.length == 59 && s > st.leapDeleteAt) return s - 1;
    return s;
}

double BitScore(const Station& st, const MinuteRecord& r, const FrameLayout& layout, int s,
                bool one) {
    const int pos = Pos(st, r, s);
    if (pos < 0 || !r.present[pos]) return 0.0;
    const SecondRole& role = layout.seconds[s];
    return LogOf(r.log[pos], one ? role.ifOne : role.ifZero);
}

bool Covers(const ParityRule& rule, Field field) {
    return std::find(rule.fields.begin(), rule.fields.begin() + rule.fieldCount, field) !=
           rule.fields.begin() + rule.fieldCount;
}

bool Uses(const FrameLayout& layout, Field field) {
    return std::any_of(layout.seconds.begin(), layout.seconds.end(),
                       [&](const SecondRole& role) { return role.field == field; });
}

// The values a date field takes.
std::pair<int, int> Range(Field field) {
    switch (field) {
        case Field::DayOfYear:
            return {1, 366};
        case Field::DayOfMonth:
            return {1, 31};
        case Field::Month:
            return {1, 12};
        case Field::Year:
            return {0, 99};
        case Field::Weekday:
            return {0, 7};
        case Field::LeapYear:
            return {0, 1};
        case Field::UsDst:
            return {0, 3};
        default:
            return {0, -1};
    }
}

// log(sum(exp(x - best))) over all candidates but the best: how much the
// others weigh together against it; its negative is the margin in nats.
std::pair<int, double> BestAndMargin(const std::vector<double>& scores) {
    const int count = static_cast<int>(scores.size());
    int best = 0;
    for (int i = 1; i < count; ++i) {
        if (scores[i] > scores[best]) best = i;
    }
    double others = 0.0;
    for (int i = 0; i < count; ++i) {
        if (i != best) others += std::exp(scores[i] - scores[best]);
    }
    return {best, others > 0.0 ? -std::log(others) : 1e9};
}

int UtcMonthIndex(std::int64_t utc) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(FloorDiv(utc, kSecondsPerDay), y, m, d);
    return y * 12 + m;
}

struct Date {
    int month = 1, day = 1;
};

// Month and day of each day of the year, in common and leap years.
const std::array<std::array<Date, 367>, 2>& Dates() {
    static const auto table = [] {
        std::array<std::array<Date, 367>, 2> t{};
        for (int leap = 0; leap < 2; ++leap) {
            const int year = leap ? 2000 : 2001;
            for (int d = 1; d <= 365 + leap; ++d) {
                int y = 0;
                CivilFromDays(DaysFromCivil(year, 1, 1) + d - 1, y, t[leap][d].month,
                              t[leap][d].day);
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

CFrameDecoder::CFrameDecoder(const Station& station) : m_station(station) {
    // Standard and summer time's offsets, from a January and a July day.
    m_standardOffset =
        CivilTimeAt(station.zone, DaysFromCivil(2001, 1, 15) * kSecondsPerDay).offsetSeconds / 60;
    m_summerOffset =
        CivilTimeAt(station.zone, DaysFromCivil(2001, 7, 15) * kSecondsPerDay).offsetSeconds / 60;
    m_states = m_summerOffset != m_standardOffset ? kStates : 1;
    for (int s = 0; s < 60; ++s) {
        const SecondRole& role = station.layout.seconds[s];
        if (role.field == Field::Fixed || role.field == Field::Parity) continue;
        auto& ones = m_ones[static_cast<std::size_t>(role.field)];
        for (int v = 0; v < 367; ++v) ones[v] += FieldBit(role.field, v, role.weight) ? 1 : 0;
    }
    if (Uses(station.layout, Field::UsDst)) {
        m_usDst.resize(101);
        for (int y = 0; y <= 100; ++y) {
            const int year = 1999 + y;  // index 0 is 1999, for the day before 2000
            const int days = IsLeapYear(year) ? 366 : 365;
            for (int d = 1; d <= days; ++d) {
                int yy = 0, m = 0, dd = 0;
                CivilFromDays(DaysFromCivil(year, 1, 1) + d - 1, yy, m, dd);
                int ny = 0, nm = 0, nd = 0;
                CivilFromDays(DaysFromCivil(year, 1, 1) + d, ny, nm, nd);
                m_usDst[y][d] =
                    static_cast<std::uint8_t>((UsDstAtStartOfUtcDay(ny, nm, nd) ? 2 : 0) +
                                              (UsDstAtStartOfUtcDay(yy, m, dd) ? 1 : 0));
            }
        }
    }
    for (int k = 0; k < 2; ++k) {
        const FrameLayout& layout = k == 0 ? station.layout : station.callSignLayout;
        for (int s = 0; s < 60; ++s) {
            FieldSeconds& at = m_index[k][static_cast<std::size_t>(layout.seconds[s].field)];
            if (at.count < static_cast<int>(at.second.size())) {
                at.second[at.count++] = static_cast<std::int8_t>(s);
            }
        }
    }
    m_time.resize(static_cast<std::size_t>(kDay * m_states));
    m_date.resize(100 * 366);
}

bool CFrameDecoder::Named(int candidate, int a, int count, int& minute, bool& summer) const {
    const int state = candidate / kDay, c = candidate % kDay;
    if (state == kStandard || state == kSummer) {
        minute = c - a;
        summer = state == kSummer;
        return true;
    }
    // The run crosses a change: the newest record in the new state, the
    // oldest in the old one.
    const int now = state == kSpring ? m_summerOffset : m_standardOffset;
    const int before = state == kSpring ? m_standardOffset : m_summerOffset;
    const int utc = ((c - now) % kDay + kDay) % kDay;  // of the newest record
    if (utc < kChangeMinute || utc - (count - 1) >= kChangeMinute) return false;
    const int u = utc - a;
    const bool after = u >= kChangeMinute;
    summer = after == (state == kSpring);
    minute = c - (utc - u) + (after ? 0 : before - now);
    return true;
}

double CFrameDecoder::FieldScore(const MinuteRecord& r, const FrameLayout& layout, Field field,
                                 int value) const {
    const FieldSeconds& at =
        m_index[&layout == &m_station.layout ? 0 : 1][static_cast<std::size_t>(field)];
    double score = 0.0;
    for (int i = 0; i < at.count; ++i) {
        const int s = at.second[i];
        score +=
            BitScore(m_station, r, layout, s, FieldBit(field, value, layout.seconds[s].weight));
    }
    return score;
}

void CFrameDecoder::ScoreDate(const MinuteRecord& r, const FrameLayout& layout, Group& g) const {
    constexpr Field kDateFields[] = {Field::DayOfYear, Field::DayOfMonth, Field::Month, Field::Year,
                                     Field::Weekday,   Field::LeapYear,   Field::UsDst};
    for (Field field : kDateFields) {
        if (!Uses(layout, field)) continue;
        FieldTable* table = nullptr;
        for (int f = 0; f < g.count; ++f) {
            if (g.fields[f].field == field) table = &g.fields[f];
        }
        if (table == nullptr) {
            table = &g.fields[g.count++];
            table->field = field;
        }
        const auto [from, to] = Range(field);
        for (int v = from; v <= to; ++v) table->score[v] += FieldScore(r, layout, field, v);
    }
    for (int p = 0; p < layout.parityCount; ++p) {
        const ParityRule& rule = layout.parities[p];
        if (GroupOf(rule.fields[0]) != FieldGroup::Date) continue;
        for (int bit = 0; bit < 2; ++bit) {
            g.parity[p][bit] += BitScore(m_station, r, layout, rule.second, bit == 1);
        }
    }
}

double CFrameDecoder::DateScore(const Group& g, int y, int d) const {
    const int year = 2000 + y;
    const bool leap = IsLeapYear(year);
    const Date date = Dates()[leap ? 1 : 0][d];
    const int weekday = DayOfWeek(year, date.month, date.day);
    auto valueOf = [&](Field field) {
        switch (field) {
            case Field::DayOfYear:
                return d;
            case Field::DayOfMonth:
                return date.day;
            case Field::Month:
                return date.month;
            case Field::Year:
                return y;
            case Field::Weekday:
                return weekday == 0 ? m_station.sundayValue : weekday;
            case Field::LeapYear:
                return leap ? 1 : 0;
            case Field::UsDst:
                return m_usDst.empty() ? 0 : int{m_usDst[static_cast<std::size_t>(y + 1)][d]};
            default:
                return 0;
        }
    };
    double s = 0.0;
    for (int f = 0; f < g.count; ++f) s += g.fields[f].score[valueOf(g.fields[f].field)];
    const FrameLayout& layout = m_station.layout;
    for (int p = 0; p < layout.parityCount; ++p) {
        const ParityRule& rule = layout.parities[p];
        if (GroupOf(rule.fields[0]) != FieldGroup::Date) continue;
        int ones = 0;
        for (int f = 0; f < rule.fieldCount; ++f) {
            ones += m_ones[static_cast<std::size_t>(rule.fields[f])][valueOf(rule.fields[f])];
        }
        s += g.parity[p][((ones % 2 == 1) != rule.odd) ? 1 : 0];
    }
    return s;
}

void CFrameDecoder::AddTimeScores(const MinuteRecord& r, int a, int count) const {
    const Station& st = m_station;
    const FrameLayout& layout = st.layout;
    // A parity over one field goes into the field's table; one over several
    // (MSF's hour and minute) into each candidate's score.
    std::array<double, 60> minute{};
    std::array<double, 24> hour{};
    std::array<std::array<double, 2>, 4> parity{};
    bool multiParity = false;
    for (int v = 0; v < 60; ++v) minute[v] = FieldScore(r, layout, Field::Minute, v);
    for (int v = 0; v < 24; ++v) hour[v] = FieldScore(r, layout, Field::Hour, v);
    for (int p = 0; p < layout.parityCount; ++p) {
        const ParityRule& rule = layout.parities[p];
        if (GroupOf(rule.fields[0]) != FieldGroup::TimeOfDay) continue;
        if (rule.fieldCount == 1) {
            const bool isMinute = rule.fields[0] == Field::Minute;
            const auto& ones = m_ones[static_cast<std::size_t>(rule.fields[0])];
            for (int v = 0; v < (isMinute ? 60 : 24); ++v) {
                const bool bit = (ones[v] % 2 == 1) != rule.odd;
                (isMinute ? minute[v] : hour[v]) += BitScore(st, r, layout, rule.second, bit);
            }
        } else {
            multiParity = true;
            for (int bit = 0; bit < 2; ++bit) {
                parity[p][bit] = BitScore(st, r, layout, rule.second, bit == 1);
            }
        }
    }
    std::array<double, 2> summerScore{};
    if (m_states > 1) {
        for (int v = 0; v < 2; ++v) summerScore[v] = FieldScore(r, layout, Field::Summer, v);
    }
    const int candidates = static_cast<int>(m_time.size());
    for (int i = 0; i < candidates; ++i) {
        if (m_time[i] <= kImpossible) continue;
        int named = 0;
        bool summer = false;
        Named(i, a, count, named, summer);
        const int m = (named % kDay + kDay) % kDay;
        m_time[i] += minute[m % 60] + hour[m / 60];
        if (multiParity) {
            for (int p = 0; p < layout.parityCount; ++p) {
                const ParityRule& rule = layout.parities[p];
                if (rule.fieldCount < 2 || GroupOf(rule.fields[0]) != FieldGroup::TimeOfDay) {
                    continue;
                }
                const int ones = (Covers(rule, Field::Minute)
                                      ? m_ones[static_cast<std::size_t>(Field::Minute)][m % 60]
                                      : 0) +
                                 (Covers(rule, Field::Hour)
                                      ? m_ones[static_cast<std::size_t>(Field::Hour)][m / 60]
                                      : 0);
                m_time[i] += parity[p][((ones % 2 == 1) != rule.odd) ? 1 : 0];
            }
        }
        if (m_states > 1) m_time[i] += summerScore[summer ? 1 : 0];
    }
}

void CFrameDecoder::ScoreDates(const MinuteRecord* const* records, int count, int bestTime) const {
    const Station& st = m_station;
    // Records that name the newest record's day (group 0) and the day before
    // (group 1, when the run crosses midnight).
    for (auto& g : m_groups) g = Group{};
    for (int a = 0; a < count; ++a) {
        int named = 0;
        bool summer = false;
        Named(bestTime, a, count, named, summer);
        const int minuteOfHour = ((named % 60) + 60) % 60;
        const FrameLayout& own = CallSignFrame(st, minuteOfHour) ? st.callSignLayout : st.layout;
        ScoreDate(*records[a], own, m_groups[named < 0 ? 1 : 0]);
    }
    for (int y = 0; y < 100; ++y) {
        const int days = IsLeapYear(2000 + y) ? 366 : 365;
        const int prevDays = IsLeapYear(1999 + y) ? 366 : 365;
        for (int d = 1; d <= 366; ++d) {
            double& s = m_date[static_cast<std::size_t>(y * 366 + (d - 1))];
            if (d > days) {
                s = kImpossible;
                continue;
            }
            s = DateScore(m_groups[0], y, d);
            // The day before, perhaps in the year before.
            const int py = d > 1 ? y : (y + 99) % 100;
            const int pd = d > 1 ? d - 1 : prevDays;
            s += DateScore(m_groups[1], py, pd);
        }
    }
}

bool CFrameDecoder::StationNames(const FrameResult& result, int bestTime, int count,
                                 std::int64_t newest) const {
    const Date date = Dates()[IsLeapYear(result.year) ? 1 : 0][result.dayOfYear];
    for (int a = 0; a < count; ++a) {
        int named = 0;
        bool summer = false;
        Named(bestTime, a, count, named, summer);
        const CivilTime t = NamedTime(m_station, newest - 60 * a);
        const int expected =
            (t.hour * 60 + t.minute) + (t.day != date.day || t.month != date.month ? -kDay : 0);
        if (t.summer != summer || expected != named) return false;
    }
    const CivilTime t = NamedTime(m_station, newest);
    return t.year == result.year && t.month == date.month && t.day == date.day;
}

void CFrameDecoder::AddLeapNotice(const MinuteRecord* const* records, int count, int bestTime,
                                  std::int64_t newest, FrameResult& result) const {
    const Station& st = m_station;
    // From the records of the newest record's UTC month.
    for (int a = 0; a < count; ++a) {
        const MinuteRecord& r = *records[a];
        int named = 0;
        bool summer = false;
        Named(bestTime, a, count, named, summer);
        const FrameLayout& own =
            CallSignFrame(st, ((named % 60) + 60) % 60) ? st.callSignLayout : st.layout;
        if (UtcMonthIndex(newest - 60 * a) != UtcMonthIndex(newest)) continue;
        for (int s = 0; s < 60; ++s) {
            const Field field = own.seconds[s].field;
            if (field != Field::LeapNotice && field != Field::LeapInsert) continue;
            const double evidence = BitScore(st, r, own, s, true) - BitScore(st, r, own, s, false);
            (field == Field::LeapNotice ? result.ls1Evidence : result.ls2Evidence) += evidence;
        }
    }
    // A station that does not say which is taken to insert one.
    if (!Uses(st.layout, Field::LeapInsert)) result.ls2Evidence = 1.0;
}

FrameResult CFrameDecoder::Decode(const MinuteRecord* const* records, int count) const {
    FrameResult result;
    if (count <= 0) return result;

    // The time of day the newest record names, under each state.
    std::fill(m_time.begin(), m_time.end(), 0.0);
    const int candidates = static_cast<int>(m_time.size());
    for (int i = kDay; i < candidates; ++i) {
        int minute = 0;
        bool summer = false;
        if (!Named(i, 0, count, minute, summer)) m_time[i] = kImpossible;
    }
    for (int a = 0; a < count; ++a) AddTimeScores(*records[a], a, count);
    const auto [bestTime, marginTime] = BestAndMargin(m_time);
    result.minuteOfDay = bestTime % kDay;
    result.marginTime = marginTime;
    {
        int named = 0;
        Named(bestTime, 0, count, named, result.summer);
    }

    ScoreDates(records, count, bestTime);
    const auto [bestDate, marginDate] = BestAndMargin(m_date);
    result.year = 2000 + bestDate / 366;
    result.dayOfYear = bestDate % 366 + 1;
    result.marginDate = marginDate;
    result.decisive =
        marginTime >= timecode::kDecisiveNats && marginDate >= timecode::kDecisiveNats;
    result.confidence = 1.0 / (1.0 + std::exp(-marginTime)) / (1.0 + std::exp(-marginDate));

    // The time must be one the station names: its summer flag, or a change
    // within the run, as the date has it.
    const Date date = Dates()[IsLeapYear(result.year) ? 1 : 0][result.dayOfYear];
    const std::int64_t newest =
        FrameStartUtc(m_station, result.year, date.month, date.day, result.minuteOfDay / 60,
                      result.minuteOfDay % 60, result.summer);
    if (result.decisive && !StationNames(result, bestTime, count, newest)) {
        result.decisive = false;
    }
    AddLeapNotice(records, count, bestTime, newest, result);
    return result;
}

}  // namespace velto

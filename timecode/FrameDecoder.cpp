#include "timecode/FrameDecoder.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "station/JjyTimeCode.h"

namespace velto {
namespace {

struct Bit {
    int second;
    int weight;
};

constexpr Bit kMinuteBits[] = {{1, 40}, {2, 20}, {3, 10}, {5, 8}, {6, 4}, {7, 2}, {8, 1}};
constexpr Bit kHourBits[] = {{12, 20}, {13, 10}, {15, 8}, {16, 4}, {17, 2}, {18, 1}};
constexpr Bit kDayBits[] = {{22, 200}, {23, 100}, {25, 80}, {26, 40}, {27, 20},
                            {28, 10},  {30, 8},   {31, 4},  {32, 2},  {33, 1}};
constexpr Bit kYearBits[] = {{41, 80}, {42, 40}, {43, 20}, {44, 10},
                             {45, 8},  {46, 4},  {47, 2},  {48, 1}};
constexpr Bit kWeekdayBits[] = {{50, 4}, {51, 2}, {52, 1}};
constexpr int kPa1 = 36, kPa2 = 37, kLs1 = 53, kLs2 = 54;

double BitScore(const MinuteRecord& r, int second, bool one) {
    if (!r.present[second]) return 0.0;
    return one ? r.logOne[second] : r.logZero[second];
}

// Score of `value` coded in BCD bits (and the number of ones, for parity).
template <std::size_t N>
double FieldScore(const MinuteRecord& r, const Bit (&bits)[N], int value, int& ones) {
    double score = 0.0;
    ones = 0;
    int rest = value;
    for (const Bit& b : bits) {
        const bool one = rest >= b.weight;
        if (one) {
            rest -= b.weight;
            ++ones;
        }
        score += BitScore(r, b.second, one);
    }
    return score;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// log(sum(exp(x - best))) over all candidates but the best: how much the
// others weigh together against it; its negative is the margin in nats.
template <typename Range>
std::pair<int, double> BestAndMargin(const Range& scores, int count) {
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

}  // namespace

std::array<double, 1440> CFrameDecoder::TimeScores(const MinuteRecord* const* records, int count) {
    std::array<double, 1440> time{};
    for (int a = 0; a < count; ++a) {
        const MinuteRecord& r = *records[a];
        std::array<double, 60> minute{};
        std::array<double, 24> hour{};
        for (int v = 0; v < 60; ++v) {
            int ones = 0;
            minute[v] = FieldScore(r, kMinuteBits, v, ones);
            minute[v] += BitScore(r, kPa2, ones % 2 == 1);
        }
        for (int v = 0; v < 24; ++v) {
            int ones = 0;
            hour[v] = FieldScore(r, kHourBits, v, ones);
            hour[v] += BitScore(r, kPa1, ones % 2 == 1);
        }
        for (int c = 0; c < 1440; ++c) {
            const int m = ((c - a) % 1440 + 1440) % 1440;
            time[c] += minute[m % 60] + hour[m / 60];
        }
    }
    return time;
}

void CFrameDecoder::DateFields(const MinuteRecord* const* records, int count,
                               int minuteOfDay) const {
    for (auto& g : m_groups) g = Tables{};
    for (int a = 0; a < count; ++a) {
        const MinuteRecord& r = *records[a];
        const int m = minuteOfDay - a;
        Tables& g = m_groups[m < 0 ? 1 : 0];
        const bool callSign = JjyCallSignMinute((m + 1440) % 1440 % 60);
        for (int d = 1; d <= 366; ++d) {
            int ones = 0;
            g.day[d] += FieldScore(r, kDayBits, d, ones);
        }
        if (callSign) continue;  // year, weekday and leap bits are absent
        for (int y = 0; y < 100; ++y) {
            int ones = 0;
            g.year[y] += FieldScore(r, kYearBits, y, ones);
        }
        for (int w = 0; w < 7; ++w) {
            int ones = 0;
            g.weekday[w] += FieldScore(r, kWeekdayBits, w, ones);
        }
    }
}

void CFrameDecoder::DateScores() const {
    static const std::array<int, 101> kJan1Weekday = [] {
        std::array<int, 101> w{};
        for (int y = 0; y <= 100; ++y) w[y] = JjyDayOfWeek(1999 + y, 1, 1);  // index 0 is 1999
        return w;
    }();
    for (int y = 0; y < 100; ++y) {
        const int days = LeapYear(2000 + y) ? 366 : 365;
        const int prevDays = LeapYear(1999 + y) ? 366 : 365;
        for (int d = 1; d <= 366; ++d) {
            double& s = m_date[y * 366 + (d - 1)];
            if (d > days) {
                s = -1e300;
                continue;
            }
            const int wd = (kJan1Weekday[y + 1] + d - 1) % 7;
            s = m_groups[0].day[d] + m_groups[0].year[y] + m_groups[0].weekday[wd];
            // The day before, perhaps in the year before.
            const int py = d > 1 ? y : (y + 99) % 100;
            const int pd = d > 1 ? d - 1 : prevDays;
            const int pwd = (wd + 6) % 7;
            s += m_groups[1].day[pd] + m_groups[1].year[py] + m_groups[1].weekday[pwd];
        }
    }
}

void CFrameDecoder::LeapEvidence(const MinuteRecord* const* records, int count,
                                 FrameResult& result) {
    // A UTC month begins at 09:00 JST on the first; the run is shorter than a
    // day, so only a newest record on a first after 09:00 has older records
    // in the month before.
    const JjyTime newestDate = JjyDateOfDay(result.year, result.dayOfYear);
    const bool monthBegan = newestDate.day == 1 && result.minuteOfDay >= 9 * 60;
    for (int a = 0; a < count; ++a) {
        const MinuteRecord& r = *records[a];
        const int m = result.minuteOfDay - a;
        if (JjyCallSignMinute((m + 1440) % 1440 % 60) || (monthBegan && m < 9 * 60)) continue;
        result.ls1Evidence += BitScore(r, kLs1, true) - BitScore(r, kLs1, false);
        result.ls2Evidence += BitScore(r, kLs2, true) - BitScore(r, kLs2, false);
    }
}

FrameResult CFrameDecoder::Decode(const MinuteRecord* const* records, int count) const {
    FrameResult result;
    if (count <= 0) return result;
    // (hour, minute) of the newest record.
    const auto [bestTime, marginTime] = BestAndMargin(TimeScores(records, count), 1440);
    result.minuteOfDay = bestTime;
    result.marginTime = marginTime;
    // Then its date: the records of the newest day and of the day before.
    DateFields(records, count, bestTime);
    DateScores();
    const auto [bestDate, marginDate] = BestAndMargin(m_date, 100 * 366);
    result.year = 2000 + bestDate / 366;
    result.dayOfYear = bestDate % 366 + 1;
    result.marginDate = marginDate;
    result.decisive =
        marginTime >= timecode::kDecisiveNats && marginDate >= timecode::kDecisiveNats;
    result.confidence = 1.0 / (1.0 + std::exp(-marginTime)) / (1.0 + std::exp(-marginDate));
    // Leap-second notice, from the records of the newest record's UTC month.
    LeapEvidence(records, count, result);
    return result;
}

}  // namespace velto

#include "station/Station.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "base/Geometry.h"

namespace velto {
namespace {

// Writes a FrameLayout second by second; every second starts as a fixed 0.
class LayoutBuilder {
public:
    LayoutBuilder& Fixed(std::initializer_list<int> seconds, Symbol symbol) {
        for (int s : seconds) m_layout.seconds[s] = {Field::Fixed, 0, symbol, symbol};
        return *this;
    }
    // Consecutive seconds from `first` carry the bits of these weights; a
    // weight of 0 is a second that always sends `ifZero`.
    LayoutBuilder& Bits(Field field, int first, std::initializer_list<int> weights,
                        Symbol ifZero = Symbol::Zero, Symbol ifOne = Symbol::One) {
        for (int w : weights) {
            m_layout.seconds[first++] = w == 0 ? SecondRole{Field::Fixed, 0, ifZero, ifZero}
                                               : SecondRole{field, w, ifZero, ifOne};
        }
        return *this;
    }
    // Seconds first..last carry what a receiver leaves open.
    LayoutBuilder& Open(Field field, int first, int last, Symbol ifZero = Symbol::Zero,
                        Symbol ifOne = Symbol::One) {
        for (int s = first; s <= last; ++s) m_layout.seconds[s] = {field, 0, ifZero, ifOne};
        return *this;
    }
    LayoutBuilder& Parity(int second, std::initializer_list<Field> fields, bool odd,
                          Symbol ifZero = Symbol::Zero, Symbol ifOne = Symbol::One) {
        ParityRule& rule = m_layout.parities[m_layout.parityCount];
        rule.second = second;
        rule.odd = odd;
        for (Field f : fields) rule.fields[rule.fieldCount++] = f;
        m_layout.seconds[second] = {Field::Parity, m_layout.parityCount++, ifZero, ifOne};
        return *this;
    }
    FrameLayout Done() const { return m_layout; }

private:
    FrameLayout m_layout;
};

constexpr bool kEven = false, kOdd = true;

SymbolKeying Keyed(std::string_view name, std::initializer_list<KeyedPart> parts,
                   bool minuteMarkOnly = false) {
    SymbolKeying k;
    k.used = true;
    k.name = name;
    for (const KeyedPart& p : parts) k.reduced[k.parts++] = p;
    k.minuteMarkOnly = minuteMarkOnly;
    return k;
}

// JJY on either carrier: the frame of jjy-timecode.md.
Station Jjy(StationId id, std::string_view name, std::string_view title, double carrierHz,
            int sampleRate) {
    Station st;
    st.id = id;
    st.name = name;
    st.title = title;
    st.carrierHz = carrierHz;
    st.sampleRate = sampleRate;
    st.zone = CivilZone::Japan;
    st.edge = OnTimeEdge::Rise;
    st.reducedLevel = 0.1;
    st.symbols[0] = Keyed("0", {{0.8, 1.0}});
    st.symbols[1] = Keyed("1", {{0.5, 1.0}});
    st.symbols[2] = Keyed("M", {{0.2, 1.0}});
    st.leapNotice = LeapNoticeSpan::UtcMonth;
    st.leapInsertAt = 59;  // P0 moves to second 60
    st.leapDeleteAt = 58;  // P0 falls at second 58
    LayoutBuilder b;
    b.Fixed({0, 9, 19, 29, 39, 49, 59}, Symbol::Marker)
        .Bits(Field::Minute, 1, {40, 20, 10, 0, 8, 4, 2, 1})
        .Bits(Field::Hour, 12, {20, 10, 0, 8, 4, 2, 1})
        .Bits(Field::DayOfYear, 22, {200, 100, 0, 80, 40, 20, 10})
        .Bits(Field::DayOfYear, 30, {8, 4, 2, 1})
        .Parity(36, {Field::Hour}, kEven)
        .Parity(37, {Field::Minute}, kEven);
    st.layout = LayoutBuilder(b)
                    .Bits(Field::Year, 41, {80, 40, 20, 10, 8, 4, 2, 1})
                    .Bits(Field::Weekday, 50, {4, 2, 1})
                    .Bits(Field::LeapNotice, 53, {1})
                    .Bits(Field::LeapInsert, 54, {1})
                    .Done();
    st.callSignMinutes = true;
    st.callSignLayout = LayoutBuilder(b)
                            .Open(Field::CallSign, 40, 48, Symbol::Zero, Symbol::Zero)
                            .Bits(Field::Service, 50, {32, 16, 8, 4, 2, 1})  // ST1..ST6
                            .Done();
    st.callSignLevel = 0.0;
    return st;
}

Station Dcf77() {
    Station st;
    st.id = StationId::Dcf77;
    st.name = "dcf77";
    st.title = "DCF77";
    st.carrierHz = 77500.0;
    st.sampleRate = 192000;
    st.zone = CivilZone::CentralEurope;
    st.edge = OnTimeEdge::Drop;
    st.reducedLevel = 0.15;
    st.symbols[0] = Keyed("0", {{0.0, 0.1}});
    st.symbols[1] = Keyed("1", {{0.0, 0.2}});
    st.symbols[2] = Keyed("M", {}, true);  // second 59: no drop
    st.frameLeadSeconds = 60;
    st.sundayValue = 7;
    st.summerNoticeSeconds = 3600;         // A1
    st.leapNotice = LeapNoticeSpan::Hour;  // A2
    st.leapInsertAt = 59;                  // a 0 at 59, the second without a drop at 60
    st.leapDeleteAt = 58;                  // the date's parity gives way
    st.layout =
        LayoutBuilder()
            .Bits(Field::Service, 1,
                  {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384})
            .Bits(Field::SummerNotice, 16, {1})
            .Bits(Field::Summer, 17, {1})                             // Z1: CEST
            .Bits(Field::Summer, 18, {1}, Symbol::One, Symbol::Zero)  // Z2: CET
            .Bits(Field::LeapNotice, 19, {1})
            .Fixed({20}, Symbol::One)
            .Bits(Field::Minute, 21, {1, 2, 4, 8, 10, 20, 40})
            .Parity(28, {Field::Minute}, kEven)
            .Bits(Field::Hour, 29, {1, 2, 4, 8, 10, 20})
            .Parity(35, {Field::Hour}, kEven)
            .Bits(Field::DayOfMonth, 36, {1, 2, 4, 8, 10, 20})
            .Bits(Field::Weekday, 42, {1, 2, 4})
            .Bits(Field::Month, 45, {1, 2, 4, 8, 10})
            .Bits(Field::Year, 50, {1, 2, 4, 8, 10, 20, 40, 80})
            .Parity(58, {Field::DayOfMonth, Field::Weekday, Field::Month, Field::Year}, kEven)
            .Fixed({59}, Symbol::Marker)
            .Done();
    return st;
}

Station Msf() {
    Station st;
    st.id = StationId::Msf;
    st.name = "msf";
    st.title = "MSF";
    st.carrierHz = 60000.0;
    st.sampleRate = 192000;
    st.zone = CivilZone::UnitedKingdom;
    st.edge = OnTimeEdge::Drop;
    st.reducedLevel = 0.0;  // the carrier is switched off
    st.symbols[0] = Keyed("00", {{0.0, 0.1}});
    st.symbols[1] = Keyed("10", {{0.0, 0.2}});
    st.symbols[2] = Keyed("M", {{0.0, 0.5}}, true);
    st.symbols[3] = Keyed("01", {{0.0, 0.1}, {0.2, 0.3}});
    st.symbols[4] = Keyed("11", {{0.0, 0.3}});
    st.frameLeadSeconds = 60;
    st.sundayValue = 0;
    st.summerNoticeSeconds = 61 * 60;  // 53B
    st.leapNotice = LeapNoticeSpan::None;
    // Among the DUT1 bits: the time code keeps its place before the minute's
    // end.
    st.leapInsertAt = 17;
    st.leapDeleteAt = 16;
    // A bits with B = 0, then B bits with A = 1 (the minute identifier's
    // ones) or A = 0 (DUT1).
    st.layout =
        LayoutBuilder()
            .Fixed({0}, Symbol::Marker)
            .Open(Field::Dut1, 1, 16, Symbol::Zero, Symbol::ZeroOne)
            .Bits(Field::Year, 17, {80, 40, 20, 10, 8, 4, 2, 1})
            .Bits(Field::Month, 25, {10, 8, 4, 2, 1})
            .Bits(Field::DayOfMonth, 30, {20, 10, 8, 4, 2, 1})
            .Bits(Field::Weekday, 36, {4, 2, 1})
            .Bits(Field::Hour, 39, {20, 10, 8, 4, 2, 1})
            .Bits(Field::Minute, 45, {40, 20, 10, 8, 4, 2, 1})
            .Bits(Field::SummerNotice, 53, {1}, Symbol::One, Symbol::OneOne)
            .Parity(54, {Field::Year}, kOdd, Symbol::One, Symbol::OneOne)
            .Parity(55, {Field::Month, Field::DayOfMonth}, kOdd, Symbol::One, Symbol::OneOne)
            .Parity(56, {Field::Weekday}, kOdd, Symbol::One, Symbol::OneOne)
            .Parity(57, {Field::Hour, Field::Minute}, kOdd, Symbol::One, Symbol::OneOne)
            .Bits(Field::Summer, 58, {1}, Symbol::One, Symbol::OneOne)
            .Done();
    return st;
}

Station Wwvb() {
    Station st;
    st.id = StationId::Wwvb;
    st.name = "wwvb";
    st.title = "WWVB";
    st.carrierHz = 60000.0;
    st.sampleRate = 192000;
    st.zone = CivilZone::Utc;
    st.edge = OnTimeEdge::Drop;
    st.reducedLevel = 0.1413;  // 17 dB down
    st.symbols[0] = Keyed("0", {{0.0, 0.2}});
    st.symbols[1] = Keyed("1", {{0.0, 0.5}});
    st.symbols[2] = Keyed("M", {{0.0, 0.8}});
    st.phaseFlips = true;
    st.leapNotice = LeapNoticeSpan::UtcMonth;
    st.leapInsertAt = 59;  // as JJY: a 0, then the last marker at 60
    st.leapDeleteAt = 58;
    st.layout = LayoutBuilder()
                    .Fixed({0, 9, 19, 29, 39, 49, 59}, Symbol::Marker)
                    .Bits(Field::Minute, 1, {40, 20, 10, 0, 8, 4, 2, 1})
                    .Bits(Field::Hour, 12, {20, 10, 0, 8, 4, 2, 1})
                    .Bits(Field::DayOfYear, 22, {200, 100, 0, 80, 40, 20, 10})
                    .Bits(Field::DayOfYear, 30, {8, 4, 2, 1})
                    // The sign as 1 0 1 (+) or 0 1 0 (-).
                    .Bits(Field::Dut1Sign, 36, {1})
                    .Bits(Field::Dut1Sign, 37, {1}, Symbol::One, Symbol::Zero)
                    .Bits(Field::Dut1Sign, 38, {1})
                    .Bits(Field::Dut1, 40, {8, 4, 2, 1})
                    .Bits(Field::Year, 45, {80, 40, 20, 10})
                    .Bits(Field::Year, 50, {8, 4, 2, 1})
                    .Bits(Field::LeapYear, 55, {1})
                    .Bits(Field::LeapNotice, 56, {1})
                    .Bits(Field::UsDst, 57, {2, 1})
                    .Done();
    return st;
}

}  // namespace

std::span<const Station> Stations() {
    static const std::array<Station, 5> kStations = {
        Jjy(StationId::Jjy40, "jjy40", "JJY 40 kHz", kCarrierHz, kSampleRate),
        Jjy(StationId::Jjy60, "jjy60", "JJY 60 kHz", 60000.0, 192000),
        Dcf77(),
        Msf(),
        Wwvb(),
    };
    return kStations;
}

const Station& GetStation(StationId id) {
    for (const Station& st : Stations()) {
        if (st.id == id) return st;
    }
    return Stations().front();
}

const Station* FindStation(std::string_view name) {
    for (const Station& st : Stations()) {
        if (st.name == name) return &st;
    }
    return nullptr;
}

std::string CarrierText(const Station& station) {
    char text[32];
    std::snprintf(text, sizeof text, "%g kHz", station.carrierHz / 1000.0);
    return text;
}

std::string TitleWithCarrier(const Station& station) {
    const std::string carrier = CarrierText(station);
    std::string title(station.title);
    return title.find(carrier) != std::string::npos ? title : title + ' ' + carrier;
}

double KeyedLevel(const Station& station, Symbol symbol, double t) {
    const SymbolKeying& k = station.Keying(symbol);
    for (int i = 0; i < k.parts; ++i) {
        if (t >= k.reduced[i].from && t < k.reduced[i].to) return station.reducedLevel;
    }
    return 1.0;
}

CommonParts CommonKeying(const Station& station) {
    // Between any two neighbouring ends of keyed parts every symbol keeps
    // one level; where all of them keep the same, the part is common.
    std::array<double, 2 + 2 * 2 * kSymbolCount> ends{0.0, 1.0};
    int count = 2;
    for (const SymbolKeying& k : station.symbols) {
        if (!k.used || k.minuteMarkOnly) continue;
        for (int i = 0; i < k.parts; ++i) {
            ends[count++] = k.reduced[i].from;
            ends[count++] = k.reduced[i].to;
        }
    }
    std::sort(ends.begin(), ends.begin() + count);
    CommonParts common;
    for (int i = 0; i + 1 < count; ++i) {
        const double from = ends[i], to = ends[i + 1];
        if (to <= from) continue;
        const double mid = 0.5 * (from + to);
        double level = -1.0;
        bool same = true;
        for (int s = 0; s < kSymbolCount; ++s) {
            const SymbolKeying& k = station.symbols[s];
            if (!k.used || k.minuteMarkOnly) continue;
            const double l = KeyedLevel(station, static_cast<Symbol>(s), mid);
            same = same && (level < 0.0 || l == level);
            level = l;
        }
        if (!same) continue;
        CommonPart* last = common.count > 0 ? &common.parts[common.count - 1] : nullptr;
        if (last != nullptr && last->to == from && last->level == level) {
            last->to = to;
        } else if (common.count < static_cast<int>(common.parts.size())) {
            common.parts[common.count++] = {from, to, level};
        }
    }
    return common;
}

}  // namespace velto

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/Station.h"

namespace velto {
namespace {

std::string Parts(const Station& st) {
    std::string s;
    const CommonParts c = CommonKeying(st);
    for (int i = 0; i < c.count; ++i) {
        s += std::to_string(c.parts[i].from).substr(0, 3) + "-" +
             std::to_string(c.parts[i].to).substr(0, 3) + "@" +
             std::to_string(c.parts[i].level).substr(0, 4) + " ";
    }
    return s;
}

TEST(Stations, EachOnceByNameWithACarrierItsRateHearsDirectly) {
    std::vector<std::string> names;
    for (const Station& st : Stations()) {
        names.emplace_back(st.name);
        EXPECT_EQ(FindStation(st.name), &st);
        EXPECT_EQ(&GetStation(st.id), &st);
        EXPECT_LT(st.carrierHz, st.sampleRate / 2.0) << st.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"jjy40", "jjy60", "dcf77", "msf", "wwvb"}));
    EXPECT_EQ(FindStation("JJY40"), nullptr);
    EXPECT_EQ(FindStation(""), nullptr);
    EXPECT_EQ(GetStation(StationId::Jjy40).carrierHz, 40000.0);
    EXPECT_EQ(GetStation(StationId::Jjy40).sampleRate, 96000);
}

TEST(Stations, KeyingAsTheFormatPagesDescribeItAndTheTimeOfDayFoundApartFromTheDate) {
    // What every second shares, where the second is folded.
    EXPECT_EQ(Parts(GetStation(StationId::Jjy40)), "0.0-0.2@1.00 0.8-1.0@0.10 ");
    EXPECT_EQ(Parts(GetStation(StationId::Dcf77)), "0.0-0.1@0.15 0.2-1.0@1.00 ");
    EXPECT_EQ(Parts(GetStation(StationId::Msf)), "0.0-0.1@0.00 0.3-1.0@1.00 ");
    EXPECT_EQ(Parts(GetStation(StationId::Wwvb)), "0.0-0.2@0.14 0.8-1.0@1.00 ");
    // The on-time point is the station's edge in every symbol but a minute mark.
    for (const Station& st : Stations()) {
        for (int a = 0; a < kSymbolCount; ++a) {
            const auto sym = static_cast<Symbol>(a);
            if (!st.Keying(sym).used || st.Keying(sym).minuteMarkOnly) continue;
            const double after = KeyedLevel(st, sym, 0.001), before = KeyedLevel(st, sym, 0.999);
            EXPECT_EQ(after > before, st.edge == OnTimeEdge::Rise) << st.name << " " << a;
            EXPECT_NE(after, before) << st.name << " " << a;
        }
    }

    // A parity covers fields of one group, and the time of day's seconds are
    // the same in every minute, call-sign minutes too.
    for (const Station& st : Stations()) {
        for (const FrameLayout* layout : {&st.layout, &st.callSignLayout}) {
            for (int p = 0; p < layout->parityCount; ++p) {
                const ParityRule& rule = layout->parities[p];
                for (int f = 1; f < rule.fieldCount; ++f) {
                    EXPECT_EQ(GroupOf(rule.fields[f]), GroupOf(rule.fields[0])) << st.name;
                }
            }
        }
        if (!st.callSignMinutes) continue;
        for (int s = 0; s < 60; ++s) {
            const bool timeOfDay = GroupOfSecond(st.layout, s) == FieldGroup::TimeOfDay;
            EXPECT_EQ(GroupOfSecond(st.callSignLayout, s) == FieldGroup::TimeOfDay, timeOfDay);
            if (timeOfDay) {
                EXPECT_EQ(st.layout.seconds[s].field, st.callSignLayout.seconds[s].field) << s;
                EXPECT_EQ(st.layout.seconds[s].weight, st.callSignLayout.seconds[s].weight) << s;
            }
        }
    }
}

}  // namespace
}  // namespace velto

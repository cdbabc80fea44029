#include "station/FrameLayout.h"

namespace velto {

bool IsDecimalField(Field field) { return field >= Field::Minute && field <= Field::Weekday; }

FieldGroup GroupOf(Field field) {
    switch (field) {
        case Field::Fixed:
            return FieldGroup::Fixed;
        case Field::Minute:
        case Field::Hour:
            return FieldGroup::TimeOfDay;
        case Field::DayOfYear:
        case Field::DayOfMonth:
        case Field::Month:
        case Field::Year:
        case Field::Weekday:
        case Field::LeapYear:
            return FieldGroup::Date;
        case Field::Summer:
        case Field::SummerNotice:
        case Field::UsDst:
        case Field::LeapNotice:
        case Field::LeapInsert:
        case Field::Parity:  // as a whole: GroupOfSecond tells what it covers
            return FieldGroup::Flag;
        case Field::Dut1:
        case Field::Dut1Sign:
        case Field::Service:
        case Field::CallSign:
            return FieldGroup::Open;
    }
    return FieldGroup::Open;
}

FieldGroup GroupOfSecond(const FrameLayout& layout, int second) {
    const SecondRole& role = layout.seconds[second];
    if (role.field != Field::Parity) return GroupOf(role.field);
    return GroupOf(layout.parities[role.weight].fields[0]);
}

bool FieldBit(Field field, int value, int weight) {
    if (!IsDecimalField(field)) return (value & weight) != 0;
    const int place = weight >= 100 ? 100 : weight >= 10 ? 10 : 1;
    return ((value / place % 10) & (weight / place)) != 0;
}

std::array<Symbol, 60> LayOut(const FrameLayout& layout, const FieldValues& values) {
    std::array<Symbol, 60> out{};
    std::array<int, kFieldCount> ones{};
    for (int s = 0; s < 60; ++s) {
        const SecondRole& role = layout.seconds[s];
        const auto field = static_cast<std::size_t>(role.field);
        const bool bit = role.field != Field::Fixed && role.field != Field::Parity &&
                         FieldBit(role.field, values[field], role.weight);
        ones[field] += bit ? 1 : 0;
        out[s] = bit ? role.ifOne : role.ifZero;
    }
    for (int p = 0; p < layout.parityCount; ++p) {
        const ParityRule& rule = layout.parities[p];
        int count = 0;
        for (int f = 0; f < rule.fieldCount; ++f) count += ones[static_cast<int>(rule.fields[f])];
        const SecondRole& role = layout.seconds[rule.second];
        out[rule.second] = (count % 2 == 1) != rule.odd ? role.ifOne : role.ifZero;
    }
    return out;
}

}  // namespace velto

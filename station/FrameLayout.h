#pragma once

#include <array>
#include <cstdint>

// What each second of a station's minute carries, as data: the one
// description from which the frame encoder writes a minute and from which a
// decoder scores candidate times field by field (docs/stations.md).
namespace velto {

// The symbols of all stations. JJY, DCF77 and WWVB use Zero, One and Marker;
// MSF sends two bits a second, A and B: Zero is "00", One "10" (A set),
// ZeroOne "01" and OneOne "11", and Marker its minute mark. DCF77's Marker is
// its second without a drop.
enum class Symbol : std::uint8_t { Zero, One, Marker, ZeroOne, OneOne };
inline constexpr int kSymbolCount = 5;

// What a second's bit belongs to.
enum class Field : std::uint8_t {
    Fixed,  // no bit: the second always sends the same symbol
    // The time the frame names, in the station's civil time.
    Minute,
    Hour,
    DayOfYear,
    DayOfMonth,
    Month,
    Year,  // of the century
    Weekday,
    LeapYear,
    // Flags about that time.
    Summer,        // CEST or BST in force
    SummerNotice,  // a change between standard and summer time is near
    UsDst,         // WWVB: 2 = DST in force at the end of the UTC day, 1 = at its start
    LeapNotice,    // a leap second is near
    LeapInsert,    // JJY: it is inserted (else deleted)
    Parity,        // weight: index of the rule in FrameLayout::parities
    // Not time: a receiver leaves these open.
    Dut1,
    Dut1Sign,  // 1 = positive
    Service,   // JJY's ST1..ST6, DCF77's warnings and call bit
    CallSign,  // JJY's Morse call sign
};
inline constexpr int kFieldCount = static_cast<int>(Field::CallSign) + 1;

// The time fields are binary-coded decimal; the others plain binary.
bool IsDecimalField(Field field);

// How a decoder's search meets a field: the time of day is found first over
// its 1440 candidates, then the date over (year, day of year); flags are
// weighed once the time is known; open fields are left out.
enum class FieldGroup : std::uint8_t { Fixed, TimeOfDay, Date, Flag, Open };
FieldGroup GroupOf(Field field);

// A second's part: its bit is the bit of `weight` in the value of `field`,
// sent as `ifZero` or `ifOne` (the same symbol for a fixed second).
struct SecondRole {
    Field field = Field::Fixed;
    int weight = 0;
    Symbol ifZero = Symbol::Zero;
    Symbol ifOne = Symbol::Zero;
};

// A parity second: the bits of the fields it covers, with it, hold an even
// (or odd) number of ones.
struct ParityRule {
    int second = 0;
    std::array<Field, 4> fields{};
    int fieldCount = 0;
    bool odd = false;
};

struct FrameLayout {
    std::array<SecondRole, 60> seconds{};
    std::array<ParityRule, 4> parities{};
    int parityCount = 0;
};

// The group of what a second carries; a parity second's is that of the
// fields it covers (they are all of one group).
FieldGroup GroupOfSecond(const FrameLayout& layout, int second);

using FieldValues = std::array<int, kFieldCount>;

// The bit of `weight` in `value` as `field` codes it.
bool FieldBit(Field field, int value, int weight);

// The 60 symbols of an ordinary minute whose fields hold these values, the
// parities worked out.
std::array<Symbol, 60> LayOut(const FrameLayout& layout, const FieldValues& values);

}  // namespace velto

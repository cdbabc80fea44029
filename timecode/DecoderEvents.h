#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What the time-code decoder reports. Sample indexes are the running input
// index given to CDecoder::Feed (96000 per second of the sound card's clock).
namespace velto {

enum class ReceptionState { NoSignal, SecondLocked, MinuteLocked, TimeValid, Flywheel };

// A state's name for programs and files, one spelling for all (the console's
// status lines, the reception log): "no_signal", "second_locked",
// "minute_locked", "time_valid", "flywheel"; and the state a name names.
const char* ReceptionStateName(ReceptionState state);
std::optional<ReceptionState> ReceptionStateNamed(std::string_view name);
enum class TimeSymbol { Zero, One, Marker, Erasure, CallSign };

// One per received second once second-locked.
struct DecoderSecond {
    double onTimeSample;  // fractional input index of the second's on-time point (the rise
                          // through 55 %), the front end's delay removed
    int secondInMinute;   // 0..60, -1 before minute lock
    TimeSymbol symbol;
    float scoreZero, scoreOne, scoreMarker;  // log-probabilities of the three symbols (<= 0)
    float quality;                           // 0..1: probability of the chosen symbol
    ReceptionState state;
    bool timeValid;  // the decoder holds a valid time (TimeValid, or Flywheel)
    bool flywheel;
    std::int64_t utcUnix;  // when timeValid: UTC seconds since the epoch of this on-time point;
                           // an inserted leap second (secondInMinute 60) carries the same value
                           // as the second 0 that follows it, as POSIX time does
    int leap;              // when timeValid: 0 none, 1 insert, 2 delete announced for the end of
                           // this UTC month (chrony's codes)
};

// One per decoded minute, only while the time is valid.
struct DecoderMinute {
    int year, month, day, hour, minute;  // JST of second 0 (year 4 digits)
    int dayOfYear, weekday;              // weekday 0 = Sunday
    std::int64_t utcUnix;                // UTC seconds since the epoch of second 0
    double onTimeSample;                 // sample index of second 0's on-time point
    bool pa1Ok, pa2Ok, ls1, ls2, callSignMinute, flywheel;
    double confidence;    // 0..1
    int secondsInMinute;  // 60, or 61/59 in a leap-second minute
};

// One per weighing of the combined evidence (at every marker, seconds 9, 19,
// .. 59 of each minute once minute-locked, and when the minute's phase
// changes), whether or not it was decisive: what shows how close a wrong
// time ever came.
struct DecoderEvaluation {
    double onTimeSample;            // the newest second's on-time point
    std::int64_t utcUnix;           // that second's UTC time under the most likely candidate
    double marginTime, marginDate;  // nats: the best time of day and date against all others
    bool decisive;                  // both margins reached the decoder's threshold
};

struct DecoderStatus {
    ReceptionState state;
    double cn0DbHz;       // C/N0 = 10 log10(A^2 * 96000 / (4 sigma^2)), A the full carrier's
                          // amplitude, sigma the noise's standard deviation over 0..48 kHz
    double carrierLevel;  // full-carrier amplitude estimate, 16-bit units
    double driftPpm;      // sample clock against the station's second (positive: fast)
    std::int64_t sample;  // input index this status refers to
};

class IDecoderSink {
public:
    virtual ~IDecoderSink() = default;
    virtual void OnSecond(const DecoderSecond&) = 0;
    virtual void OnMinute(const DecoderMinute&) = 0;
    virtual void OnStatus(
        const DecoderStatus&) = 0;  // on each state change and about once a second
    virtual void OnEvaluation(const DecoderEvaluation&) {}
};

}  // namespace velto

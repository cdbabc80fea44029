#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What the time-code decoder reports. Sample indexes are the running input
// index given to CDecoder::Feed (the decoder's rate, 96000 or 192000 per second of
// the sound card's clock).
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
    bool timeValid;  // the decoder holds a valid time (TimeValid, or Flywheel) and shows it for
                     // this second: not while the signal lately showed the rise elsewhere, nor
                     // after a jump of the samples until the signal confirms the time again
    bool flywheel;   // the time is carried on the sample clock (state Flywheel), or this
                     // second's samples were lost
    std::int64_t utcUnix;  // when timeValid: UTC seconds since the epoch of this on-time point;
                           // an inserted leap second (secondInMinute 60) carries the same value
                           // as the second 0 that follows it, as POSIX time does
    int leap;              // when timeValid: 0 none, 1 insert, 2 delete announced for the end of
                           // this UTC month (chrony's codes)
    // The signal itself vouches for this second's on-time point: the time is
    // confirmed by the signal (state TimeValid: not the flywheel, nor carried
    // across a jump of the samples that the signal has not confirmed yet),
    // the second lay wholly in samples that were heard, the last seconds of
    // signal alone showed the rise where it is tracked since this second,
    // nothing suggests it has left, and the signal is strong enough for one
    // second's rise to show it (from about 22.5 dB-Hz). A clock feed sends
    // only such seconds.
    bool vouched;
};

// One per second once second-locked, as soon as the signal has shown where
// the second's rise lies: at the first look at the signal at least 1.2 s
// after its on-time point (1.2 to 2.2 s after it, as the input comes), where
// the DecoderSecond of the same second comes once it is judged, about 5 s
// after it. For a clock feed, which must write a sample within 3 s of its
// second: send the seconds that are vouched for. Nothing here is taken back
// later; a jump of the samples found afterwards is seen in the next ones.
struct DecoderRise {
    double onTimeSample;  // as DecoderSecond's, and the same value as the DecoderSecond of
                          // this second will carry
    int secondInMinute;   // 0..60, -1 before minute lock
    ReceptionState state;
    bool timeValid;        // the decoder holds a time that it shows
    std::int64_t utcUnix;  // when timeValid: UTC seconds of this on-time point, as DecoderSecond's
    int leap;              // when timeValid: as DecoderSecond's
    bool vouched;          // as DecoderSecond's, as far as the signal has shown so far
};

// One per decoded minute, only while the time is valid.
struct DecoderMinute {
    int year, month, day, hour, minute;  // the station's civil time of second 0 (JST,
                                         // CET/CEST, GMT/BST, UTC; year 4 digits)
    int dayOfYear, weekday;              // weekday 0 = Sunday
    std::int64_t utcUnix;                // UTC seconds since the epoch of second 0
    double onTimeSample;                 // sample index of second 0's on-time point
    bool pa1Ok, pa2Ok, ls1, ls2, callSignMinute, flywheel;
    double confidence;    // 0..1
    int secondsInMinute;  // 60, or 61/59 in a leap-second minute
    // Every parity rule of the station's frame holds (pa1Ok and pa2Ok are
    // the first two; WWVB has none).
    bool paritiesOk = true;
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
    double cn0DbHz;       // C/N0 = 10 log10(A^2 * rate / (4 sigma^2)), A the full carrier's
                          // amplitude, sigma the noise's standard deviation over 0..rate/2
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
    virtual void OnRise(const DecoderRise&) {}
};

}  // namespace velto

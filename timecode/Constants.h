#pragma once

#include <cstdint>

// Fixed parameters of the time-code decoder. Rates and lengths are facts of
// the design; the thresholds are chosen so that noise alone never yields a
// time (see the README's sensitivity table).
namespace velto::timecode {

// Front end: mix the station's carrier to baseband with a table over the
// oscillator's period in whole samples (40 kHz at 96 kHz: 12; 77.5 kHz at
// 192 kHz: 384, two blocks), then a triangular window over two blocks of a
// millisecond (a second-order boxcar) at 1000 outputs per second. The input
// comes at 96 000 or 192 000 samples per second.
inline constexpr int kBasebandRate = 1000;
inline constexpr int kMaxInputRate = 192000;
inline constexpr int kMaxBlock = kMaxInputRate / kBasebandRate;
inline constexpr int kMaxLoPeriod = 2 * kMaxBlock;
// Output k is centred on input sample block * k - 1.
inline constexpr int kBasebandDelay = 1;
// Noise on a mean of m consecutive baseband samples is this many times the
// noise of m independent ones: the triangular windows overlap.
inline constexpr double kBasebandCorrelation = 1.5;
// Impulse blanker: a block whose peak exceeds this many times the running
// RMS is dropped, and the next one with it.
inline constexpr double kBlankerFactor = 6.0;
inline constexpr double kRmsTimeConstantBlocks = 2000.0;
// A gap longer than this restarts the decoder instead of being bridged.
inline constexpr std::int64_t kMaxBridgedGapSeconds = 600;

// Carrier search: a bank of leaky DFT bins kSearchBinHz apart over
// +-kSearchSpanHz around the station's carrier: the sound card's clock may be
// kClockPpm off (8 Hz at 40 kHz, 15.5 Hz at 77.5 kHz), and a steady carrier up
// to 8 Hz beside the station's is found too. Where the carrier's phase flips
// (WWVB) the search looks at the doubled phase, where an offset shows twice as
// large (24 Hz at 60 kHz); where that reaches beyond kSearchSpanHz, the span
// is the offset and kSearchLineHz more, so that the keying's lines a hertz
// either side of a carrier at the offset's edge are found with it (with one
// of them alone, that one looks keyed to the choice). The search looks at
// means of kSearchMean baseband samples (a carrier 16 Hz off keeps 3/4 of its
// amplitude in one, 13 Hz off 0.84), one every kSearchMean samples (40 a
// second) where a carrier at the span's edge lies at least kSearchAliasHz
// from the other edge's alias, else overlapping ones more often (WWVB: 100 a
// second): shorter means, doubled, would hold more noise.
inline constexpr double kClockPpm = 200.0;
inline constexpr int kSearchMean = 25;
inline constexpr double kSearchSpanHz = 16.0;
inline constexpr double kSearchLineHz = 2.0;
inline constexpr double kSearchBinHz = 0.1;
inline constexpr double kSearchAliasHz = 8.0;
inline constexpr double kSearchCoherentSeconds = 2.0;
inline constexpr double kSearchPowerSeconds = 10.0;
// Peak bin power over the median bin power that counts as a carrier.
inline constexpr double kCarrierDetectRatio = 12.0;
// Re-acquire when the tracked frequency is this far from the chosen carrier.
inline constexpr double kReacquireHz = 0.3;

// Carrier choice (CCarrierChoice): the strongest few carriers the search
// finds, at least kChoiceSeparationHz apart, are each folded over their
// second in kChoiceBins bins over about kChoiceSeconds; the station's is the
// one whose fold varies along one phase kKeyedRatio times as much as across
// it, at the most, after kChoiceMinSeconds. The tracking moves to another
// only once it has been chosen for kChoiceSwitchSeconds in a row.
inline constexpr int kChoiceCandidates = 3;
inline constexpr double kChoiceSeparationHz = 0.4;
inline constexpr double kChoiceRetuneHz = 0.05;
inline constexpr int kChoiceBins = 100;
inline constexpr int kChoiceDecimation = 5;  // baseband samples summed before folding
inline constexpr double kChoiceSeconds = 10.0;
inline constexpr int kChoiceMinSeconds = 3;
inline constexpr double kKeyedRatio = 1.3;
inline constexpr int kChoiceSwitchSeconds = 15;
// A carrier this close to a whole number of Hz from the station's, with less
// than kTonePowerShare of its power, is one of its keying's lines (as the
// search places them), when the station's has been keyed by kKeyedLineRatio
// on average over about kChoiceLineSeconds.
inline constexpr double kChoiceLineHz = 0.1;
inline constexpr double kKeyedLineRatio = 1.5;
inline constexpr double kChoiceLineSeconds = 30.0;
// Steady carriers beside the station's with at least kTonePowerShare of its
// peak power (the station's own keying lines have less) are taken out by
// their mean over kToneSeconds, once it holds kToneSettleSeconds, followed by
// a frequency loop of gain kToneLoopGain per second on each second's sum for
// kToneQuickSeconds, then of kToneMeanGain on how the mean turns.
inline constexpr double kTonePowerShare = 0.15;
inline constexpr double kToneSeconds = 10.0;
inline constexpr double kToneSettleSeconds = 10.0;
static_assert(kToneSettleSeconds <= kToneSeconds);
inline constexpr double kToneLoopGain = 0.7;
inline constexpr int kToneQuickSeconds = 5;
inline constexpr double kToneMeanGain = 0.3;
// Beside a carrier whose phase flips (WWVB) the steady carriers are those
// whose power over kSteadyLongSeconds of coherent time is at least
// kSteadyCoherence of that over kSteadyShortSeconds: the station's flips
// spread its own (to about a quarter), and a steady one half-way between the
// search's bins keeps 0.43 of it; both powers are means over
// kSteadyPowerSeconds. Nothing within kFlipLobeHz of the carrier chosen as
// keyed is taken for one: the flips spread that carrier over its main lobe,
// and where they alternate for a while its own power gathers into lines half
// a hertz either side that keep their phase over seconds (taken out, they
// took the station's keying with them).
inline constexpr double kFlipLobeHz = 1.0;
inline constexpr double kSteadyShortSeconds = 1.0;
inline constexpr double kSteadyLongSeconds = 4.0;
inline constexpr double kSteadyCoherence = 0.38;
inline constexpr double kSteadyPowerSeconds = 30.0;

// Phase reference: a centred window of +-1 s over the derotated baseband.
inline constexpr int kPhaseHalfWindow = 1000;
inline constexpr int kPhaseRing = 2048;
inline constexpr double kFrequencyLoopGain = 0.15;
// When the signal is lost, the frequency is taken back to what it was this
// many seconds before.
inline constexpr int kHoldBackSeconds = 12;
inline constexpr double kNoiseTimeConstant = 10000.0;  // baseband samples

// Second sync: the detected amplitude folded over the station's second.
inline constexpr int kFoldBins = 1000;  // 1 ms each
inline constexpr double kFoldTimeConstantSeconds = 60.0;
inline constexpr int kEdgeHalfWidth = 50;       // bins on either side of the rise
inline constexpr int kEdgeWideHalfWidth = 150;  // ... to tell whether there is one
inline constexpr int kEdgeAreaHalf = 12;        // bins used for the sub-bin position
inline constexpr double kSecondLockZ = 7.0;     // rise's contrast over its noise to lock
inline constexpr double kEdgeTrackZ = 6.0;      // ... to keep following it
inline constexpr double kEdgeGain = 0.25;
inline constexpr double kSlipMs = 20.0;  // a rise this far away for long is a new one
inline constexpr int kSlipSeconds = 20;
// Splices (samples dropped or put in, unreported): the rise is looked for
// once a second in the last 2, 4 and 8 seconds of signal alone, folded apart
// from the long fold and never held. Found twice in a row, in agreement,
// elsewhere than where it is tracked (by kSpliceSigmas of its position's
// noise and at least kSpliceMinMs) with a contrast of kSpliceZ, the rise has
// jumped: the tracking moves by the jump, and keeps kRephaseKeep of the long
// fold, so that what follows is measured afresh.
inline constexpr int kRecentSeconds = 8;
inline constexpr double kSpliceZ = 7.0;
inline constexpr double kSpliceSigmas = 4.5;
inline constexpr double kSpliceMinMs = 3.0;
inline constexpr double kRephaseKeep = 0.1;
// A minute's on-time point is reported only where a fold of the last
// kRecentFoldSeconds (time constant), taken when the minute has been
// received, places the rise (the step that fits it best) within
// kMinuteAgreeMs of where its second 0 was placed: the long fold follows a
// jump of a few ms only over a minute or more, and a weak signal shows such
// a jump only over tens of seconds. Nor where that fold shows the rise
// elsewhere beyond kDoubtSigmas of the wide contrast's noise.
inline constexpr double kRecentFoldSeconds = 30.0;
inline constexpr double kMinuteAgreeMs = 3.5;
// The rise is where it is tracked when within this many sigmas of it (and
// at least kPhaseHeldMs), with a contrast of kPhaseZ.
inline constexpr double kPhaseHeldSigmas = 3.0;
inline constexpr double kPhaseHeldMs = 1.0;
inline constexpr double kPhaseZ = 5.0;
// ... and elsewhere (a splice perhaps, not yet sure) beyond this many sigmas.
inline constexpr double kDoubtSigmas = 4.0;
// The rise has left the tracked place, while the carrier stayed, at this
// much evidence summed second by second.
inline constexpr double kRiseGoneNats = 8.0;
// The signal vouches for a second's rise once it showed it where it is
// tracked, in that second and in the last seconds since, and less than this
// much evidence has gathered that it left. Each second is announced as soon as the look at
// least kRiseDelaySeconds after its on-time point has been taken.
inline constexpr double kRiseQuietNats = 2.0;
// ... and only where one second's rise tells its presence from its absence
// by this much on average (the rise's contrast kVouchNats^(1/2) * 2^(1/2)
// times its noise: from about 22.5 dB-Hz).
inline constexpr double kVouchNats = 4.0;
// The second's own rise must lean to "here" by at least this much.
inline constexpr double kRiseSeenNats = 1.0;
// A second's time is withheld once the evidence that the rise left, summed
// since it was last plainly here, reaches this much (a doubt takes
// kRiseGoneNats), or the seconds since its own rise lean that way by
// kRiseSeenNats.
inline constexpr double kLabelGoneNats = 3.0;
// The seconds since its own rise must lean less than kRiseSeenNats to
// "gone", less kLabelHereShare of what a rise that is there gives them (at
// most kLabelHereNats).
inline constexpr double kLabelHereShare = 0.4;
inline constexpr double kLabelHereNats = 4.0;
inline constexpr double kRiseDelaySeconds = 0.3;

// The second's windows come from the station's keying (CSymbolModel); the
// first begins this long after the on-time point.
inline constexpr double kHighFrom = 0.02;
// The full carrier's level for judging second n is fitted over seconds
// n-s .. n+s, s from 1 to kLevelSpan (a line over three seconds, a parabola
// over more), whichever lately foretold the level best: short spans follow
// fast fading, long ones average the noise of a weak signal away. With
// neighbours on both sides a 1, whose 0.5..0.8 s a 0 would have at the full
// level, cannot pull the fitted level down (or tilt it) as far to meet it
// half-way. Each second is judged kLevelSpan seconds late.
inline constexpr int kLevelSpan = 4;
inline constexpr double kErasureChi2 = 30.0;  // no symbol fits
// How far the level strays from the fit, beyond the noise: as far as it did
// over the last kLevelUncertaintySeconds, and at least kLevelUncertainty of
// the level.
inline constexpr double kLevelUncertainty = 0.1;
inline constexpr double kLevelUncertaintySeconds = 60.0;
inline constexpr double kErasureBlanked = 0.3;      // share of blanked samples
inline constexpr float kMinLogProbability = -9.0f;  // one second never weighs more

// Minute sync: per-phase evidence with a slow leak, no phase trailing the
// best by more than kMinuteLeadNats. A weak signal gathers its phase for
// many minutes (DCF77 at 15 dB-Hz tells the minute by some 3 nats a
// minute), while a strong one, which reaches the cap within a minute, can
// still move to a new phase within two when the seconds slip unseen.
inline constexpr double kMinuteTimeConstantSeconds = 1200.0;
inline constexpr double kMinuteLeadNats = 30.0;
inline constexpr double kMinuteLockNats = 12.0;
// After a splice, the share of the minute's evidence kept: the seconds that
// follow may be counted a second off, and must be able to move the phase
// within a minute or so.
inline constexpr double kSpliceMinuteKeep = 0.1;

// Frame decoding.
inline constexpr int kMaxRecords = 30;  // minutes of combined evidence
// Posterior odds, in nats, of the best time of day and of the best date
// against all others at which a time is taken. The seconds' scores are
// calibrated (a second is misread as often as its score expects), so a
// wrong candidate reaches these odds in about one acquisition in e^12
// (160 000) for each rival close to the truth.
inline constexpr double kDecisiveNats = 12.0;
// The evidence is weighed at every marker (seconds 9, 19, .. 59: a weighing
// waits for no more than ten seconds of new bits). A time is taken when it
// is decisive and has led every weighing for at least this long.
inline constexpr std::int64_t kConfirmSeconds = 15;
// A leap second is announced on this much evidence for LS1.
inline constexpr double kLeapNoticeNats = 14.0;
// A held time is given up after two minutes in a row whose own bits fit
// another time better by this much.
inline constexpr double kContradictionNats = 15.0;
// A held time is given up when its seconds' symbols fit it counted a second
// early or late, or a minute, better than as held by this much, summed second
// by second (a splice of a whole number of seconds leaves the rise where it
// was).
inline constexpr double kCountOffNats = 12.0;
// A minute's line is left out while the evidence that the seconds are counted
// a minute off has reached this much: a minute's shift shows only in a few
// bits a minute, often too weakly to give the time up before the line is due.
inline constexpr double kMinuteDoubtNats = 4.0;
inline constexpr int kHistorySeconds = (kMaxRecords + 2) * 61;

// Flywheel: how long a valid time goes on without the signal confirming it.
inline constexpr std::int64_t kFlywheelSeconds = 3600;
// Signal presence (CSignalMonitor): the carrier is weighed at this share of
// its level over the last kPresenceLevelSeconds, against none; a state
// changes at kPresenceNats of evidence from the other bound, at most
// kPresenceSecondNats per second.
inline constexpr double kPresenceShare = 0.5;
inline constexpr int kPresenceLevelSeconds = 60;
inline constexpr double kPresenceMinZ = 1.0;
inline constexpr double kPresenceNats = 6.0;
inline constexpr double kPresenceSecondNats = 4.0;

}  // namespace velto::timecode

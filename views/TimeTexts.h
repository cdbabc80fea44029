#pragma once

#include <QString>
#include <cstdint>

#include "station/CivilTime.h"
#include "timecode/DecoderEvents.h"

// The texts with which the window speaks of the decoded time.
namespace velto {

// 無信号, 秒同期, 分同期, 時刻確定 or フライホイール.
QString StateText(ReceptionState state);
// "日" for 0 (Sunday) to "土" for 6.
QString WeekdayText(int weekday);
// The date and time of a UTC instant in a station's civil time with the
// zone's name in force, "2026年12月07日(月) 20:15:42 JST",
// "2026年03月29日(日) 03:00:00 CEST". A leap second (secondInMinute 60)
// reads hh:mm:60 of the minute it ends.
QString CivilClockText(CivilZone zone, std::int64_t utcUnix, int secondInMinute = -1);
// "C/N0 42.5 dB-Hz", or dashes for no estimate (the decoder gives 0 when it
// has no carrier level to measure).
QString Cn0Text(double cn0DbHz);
// The system clock against JJY, "+12.3 ms" when the system clock is ahead.
QString OffsetText(double offsetMs);

}  // namespace velto

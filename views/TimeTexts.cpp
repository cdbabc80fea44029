#include "views/TimeTexts.h"

#include <QCoreApplication>
#include <array>
#include <cmath>

#include "timecode/DecoderEvents.h"

namespace velto {

QString StateText(ReceptionState state) {
    switch (state) {
        case ReceptionState::NoSignal:
            return QCoreApplication::translate("TimeTexts", "無信号");
        case ReceptionState::SecondLocked:
            return QCoreApplication::translate("TimeTexts", "秒同期");
        case ReceptionState::MinuteLocked:
            return QCoreApplication::translate("TimeTexts", "分同期");
        case ReceptionState::TimeValid:
            return QCoreApplication::translate("TimeTexts", "時刻確定");
        case ReceptionState::Flywheel:
            return QCoreApplication::translate("TimeTexts", "フライホイール");
    }
    return {};
}

QString WeekdayText(int weekday) {
    static constexpr std::array<const char*, 7> names = {
        QT_TRANSLATE_NOOP("TimeTexts", "日"), QT_TRANSLATE_NOOP("TimeTexts", "月"),
        QT_TRANSLATE_NOOP("TimeTexts", "火"), QT_TRANSLATE_NOOP("TimeTexts", "水"),
        QT_TRANSLATE_NOOP("TimeTexts", "木"), QT_TRANSLATE_NOOP("TimeTexts", "金"),
        QT_TRANSLATE_NOOP("TimeTexts", "土")};
    return weekday >= 0 && weekday < 7
               ? QCoreApplication::translate("TimeTexts", names[static_cast<std::size_t>(weekday)])
               : QStringLiteral("?");
}

QString CivilClockText(CivilZone zone, std::int64_t utcUnix, int secondInMinute) {
    // Whether the decoder counts the leap second as the next minute's first
    // or repeats the last, one second earlier lies in the minute it ends.
    const bool leap = secondInMinute == 60;
    const CivilTime t = CivilTimeAt(zone, utcUnix - (leap ? 1 : 0));
    return QCoreApplication::translate("TimeTexts", "%1年%2月%3日(%4) %5:%6:%7 %8")
        .arg(t.year)
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(WeekdayText(t.weekday))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(leap ? 60 : t.second, 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(t.zone.data(), static_cast<qsizetype>(t.zone.size())));
}

QString Cn0Text(double cn0DbHz) {
    if (!std::isfinite(cn0DbHz) || cn0DbHz <= 0.0) {
        return QStringLiteral("C/N0 --.- dB-Hz");
    }
    return QStringLiteral("C/N0 %1 dB-Hz").arg(cn0DbHz, 0, 'f', 1);
}

QString OffsetText(double offsetMs) {
    if (!std::isfinite(offsetMs)) {
        return QStringLiteral("--- ms");
    }
    // Rounded first, so that -0.04 does not read "-0.0".
    const double tenths = std::round(offsetMs * 10.0) / 10.0;
    return QStringLiteral("%1%2 ms")
        .arg(tenths < 0.0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(std::abs(tenths), 0, 'f', 1);
}

}  // namespace velto

#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cstdint>
#include <ostream>

#include "base/Geometry.h"
#include "dsp/ProcessedBuffer.h"
#include "dsp/SlotRow.h"
#include "tests/support/Pixels.h"
#include "timecode/DecoderEvents.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace viewtest {

inline const QRgb kBlack = qRgb(0, 0, 0);
inline const QRgb kWhite = qRgb(255, 255, 255);
inline const QRgb kGray = qRgb(128, 128, 128);
inline const QRgb kLightGray = qRgb(192, 192, 192);
inline const QRgb kGreen = qRgb(0, 255, 0);
inline const QRgb kRed = qRgb(255, 0, 0);
inline const QRgb kMagenta = qRgb(255, 0, 255);

using pixels::Count;

// What the strip charts draw from: the rows and the level of the chain.
struct StripData {
    velto::SlotRow raw{};
    velto::SlotRow corrected{};
    double level = velto::kSliceLevelUnset;

    velto::ProcessedBuffer Buffer(int b, int displayIndex) const {
        return {b, displayIndex, {}, {}, raw, corrected, level};
    }
};

inline void Mouse(QWidget& widget, QEvent::Type type, int x, int y,
                  Qt::MouseButton button = Qt::LeftButton) {
    const QPointF at(x, y);
    QMouseEvent e(type, at, widget.mapToGlobal(at),
                  type == QEvent::MouseMove ? Qt::NoButton : button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &e);
}

// A wheel turn of `delta` eighths of a degree at `at`.
inline void Wheel(QWidget& widget, QPoint at, int delta, Qt::KeyboardModifiers keys = {}) {
    QWheelEvent e(at, widget.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, keys,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&widget, &e);
}

// 2026-12-07 20:16:00 JST, an ordinary minute, in UTC seconds.
inline constexpr std::int64_t kMinute2016 = 1796642160;

// Second `inMinute` of minuteUtc, `inMinute` seconds after `minuteSample`.
inline velto::DecoderSecond Second(std::int64_t minuteUtc, int inMinute, velto::TimeSymbol symbol,
                                   double minuteSample = 0.0,
                                   velto::ReceptionState state = velto::ReceptionState::TimeValid) {
    velto::DecoderSecond s{};
    s.onTimeSample = minuteSample + double(inMinute) * velto::kSampleRate;
    s.secondInMinute = state == velto::ReceptionState::SecondLocked ? -1 : inMinute;
    s.symbol = symbol;
    s.quality = 1.0F;
    s.state = state;
    s.timeValid =
        state == velto::ReceptionState::TimeValid || state == velto::ReceptionState::Flywheel;
    s.flywheel = state == velto::ReceptionState::Flywheel;
    s.utcUnix = s.timeValid ? minuteUtc + inMinute : 0;
    return s;
}

inline velto::DecoderStatus Status(velto::ReceptionState state, double cn0, std::int64_t sample) {
    return {state, cn0, 5000.0, 0.0, sample};
}

}  // namespace viewtest

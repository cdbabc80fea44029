#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "views/Scope.h"

// Synthetic input and pixel helpers for the oscilloscope tests.
namespace scopetest {

// A client area of 960 x 454 gives two panels 200 pixels high: the upper from
// 48 to 248 (centre 148), the gap below, the lower from 254 to 454 (centre 354).
inline constexpr int kWidth = 960;
inline constexpr int kHeight = 454;
inline constexpr int kUpperCentre = 148;
inline constexpr int kLowerCentre = 354;
inline constexpr int kLowerTop = 254;

inline const QRgb kBlack = qRgb(0, 0, 0);
inline const QRgb kWhite = qRgb(255, 255, 255);
inline const QRgb kGreen = qRgb(0, 255, 0);
inline const QRgb kRed = qRgb(255, 0, 0);
inline const QRgb kMagenta = qRgb(255, 0, 255);

inline void Wheel(CScope& scope, int delta, int y = 100,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWheelEvent e(QPointF(10, y), QPointF(10, y), QPoint(), QPoint(0, delta), Qt::NoButton,
                  modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&scope, &e);
}

inline void ShiftWheel(CScope& scope, int delta, int y) {
    Wheel(scope, delta, y, Qt::ShiftModifier);
}

inline void Mouse(CScope& scope, QEvent::Type type, int x, int y,
                  Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(x, y), scope.mapToGlobal(QPointF(x, y)), changed, held,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(&scope, &e);
}

// Walks the wheel to magnification m (0, 1, 2, 4, ..., 64).
inline void SetMagnification(CScope& scope, int m) {
    for (int i = 0; i < 8; ++i) {
        Wheel(scope, 120);
    }
    for (int k = 0; m > 0 && (1 << k) <= m; ++k) {
        Wheel(scope, -120);
    }
}

inline int Count(const QImage& image, QRgb colour, QRect area) {
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

// The highest header row with label ink near x, or -1: ticks begin at row 29.
inline int TopTextRow(const QImage& image, int x) {
    for (int y = 0; y < 29; ++y) {
        if (Count(image, kBlack, QRect(x - 12, y, 25, 1)) > 0) {
            return y;
        }
    }
    return -1;
}

// Whether the ink of `colour` in `area` is exactly that of `text` drawn with
// the scope's font, centred on x when `centred`, its line's top at `top`.
inline bool ShowsText(const CScope& scope, const QImage& image, QRgb colour, QRect area, int x,
                      int top, const QString& text, bool centred) {
    QImage reference(image.size(), QImage::Format_RGB32);
    reference.fill(colour == kBlack ? kWhite : kBlack);
    QPainter p(&reference);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QFont font = scope.font();
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(colour));
    const int w = p.fontMetrics().horizontalAdvance(text);
    p.drawText(centred ? x - w / 2 : x, top + p.fontMetrics().ascent(), text);
    p.end();
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int xx = area.left(); xx <= area.right(); ++xx) {
            if ((image.pixel(xx, y) == colour) != (reference.pixel(xx, y) == colour)) {
                return false;
            }
        }
    }
    return Count(reference, colour, area) > 0;
}

}  // namespace scopetest

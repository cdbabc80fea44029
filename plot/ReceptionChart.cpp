#include "plot/ReceptionChart.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>

namespace receptionchart {
namespace {

const QColor kFace{248, 248, 248};
const QColor kGrid{200, 200, 200};
const QColor kInk{0, 0, 0};
const QColor kFaint{110, 110, 110};
constexpr double kMinSpanDb = 10.0;
constexpr int kStripGap = 3;
constexpr int kStripHeight = 6;
// Minutes further apart than this are not joined by the trace.
constexpr std::int64_t kJoinSeconds = 120;

double NiceStep(double span) {
    const double base = std::pow(10.0, std::floor(std::log10(span / 5.0)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (span / (m * base) <= 5.0) {
            return m * base;
        }
    }
    return 10.0 * base;
}

QString Title(Span span) {
    switch (span) {
        case Span::Hour:
            return QCoreApplication::translate("ReceptionChart", "C/N0 (dB-Hz)　過去1時間");
        case Span::Day:
            return QCoreApplication::translate("ReceptionChart", "C/N0 (dB-Hz)　過去24時間");
        case Span::Week:
            return QCoreApplication::translate("ReceptionChart", "C/N0 (dB-Hz)　過去7日間");
    }
    return {};
}

QString LeftLabel(Span span) {
    switch (span) {
        case Span::Hour:
            return QCoreApplication::translate("ReceptionChart", "-60分");
        case Span::Day:
            return QCoreApplication::translate("ReceptionChart", "-24時間");
        case Span::Week:
            return QCoreApplication::translate("ReceptionChart", "-7日");
    }
    return {};
}

}  // namespace

QColor Trace() { return {0, 150, 70}; }
QColor Decoded() { return {40, 170, 80}; }
QColor Undecoded() { return {190, 190, 190}; }

std::int64_t Seconds(Span span) {
    switch (span) {
        case Span::Hour:
            return 3600;
        case Span::Day:
            return 86400;
        case Span::Week:
            return 7 * 86400;
    }
    return 3600;
}

double XOf(const QRect& r, std::int64_t utc, std::int64_t nowUtc, Span span) {
    return r.right() - double(nowUtc - utc) * (r.width() - 1) / double(Seconds(span));
}

QRect StripRect(const QRect& r) {
    return {r.left(), r.bottom() + 1 + kStripGap, r.width(), kStripHeight};
}

void Draw(QPainter& p, const QRect& r, const std::vector<velto::ReceptionRecord>& records,
          std::int64_t nowUtc, Span span) {
    p.setPen(kInk);
    p.drawText(QRect(r.left(), r.top() - 22, r.width(), 20), Qt::AlignLeft | Qt::AlignVCenter,
               Title(span));
    p.fillRect(r, kFace);
    p.setPen(kGrid);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    const std::int64_t from = nowUtc - Seconds(span);
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const auto& rec : records) {
        if (rec.minuteUtc >= from && rec.minuteUtc <= nowUtc && rec.cn0DbHz) {
            lo = std::min(lo, *rec.cn0DbHz);
            hi = std::max(hi, *rec.cn0DbHz);
        }
    }
    const QRect strip = StripRect(r);
    p.fillRect(strip, kFace);
    for (const auto& rec : records) {
        if (rec.minuteUtc < from || rec.minuteUtc > nowUtc) {
            continue;
        }
        const double x0 = XOf(r, rec.minuteUtc, nowUtc, span);
        const double x1 = std::max(XOf(r, rec.minuteUtc + 60, nowUtc, span), x0 + 1.0);
        p.fillRect(QRectF(x0, strip.top(), x1 - x0, strip.height()),
                   rec.decoded ? Decoded() : Undecoded());
    }

    QFont small = p.font();
    const QFont normal = small;
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    p.setPen(kFaint);
    const int below = strip.bottom() + 2;
    p.drawText(QRect(r.left(), below, 80, 14), Qt::AlignLeft | Qt::AlignTop, LeftLabel(span));
    p.drawText(QRect(r.right() - 80, below, 80, 14), Qt::AlignRight | Qt::AlignTop,
               QCoreApplication::translate("ReceptionChart", "現在"));
    if (!std::isfinite(lo)) {
        p.drawText(r, Qt::AlignCenter, QCoreApplication::translate("ReceptionChart", "記録なし"));
        p.setFont(normal);
        return;
    }
    if (hi - lo < kMinSpanDb) {
        const double mid = (hi + lo) / 2.0;
        lo = mid - kMinSpanDb / 2.0;
        hi = mid + kMinSpanDb / 2.0;
    }
    const double step = NiceStep(hi - lo);
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    auto toY = [&](double v) { return r.bottom() - (v - lo) * (r.height() - 1) / (hi - lo); };
    for (double v = lo; v <= hi + step / 2.0; v += step) {
        const int y = static_cast<int>(std::lround(toY(v)));
        p.setPen(kGrid);
        p.drawLine(r.left(), y, r.right(), y);
        p.setPen(kFaint);
        p.drawText(QRect(r.left() - 46, y - 8, 42, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', step < 1.0 ? 1 : 0));
    }
    p.setFont(normal);

    p.setClipRect(r);
    p.setPen(QPen(Trace(), 1.5));
    p.setRenderHint(QPainter::Antialiasing, true);
    QPolygonF run;
    std::int64_t previous = 0;
    auto flush = [&] {
        if (run.size() == 1) {
            p.drawEllipse(run.front(), 1.5, 1.5);
        } else if (run.size() > 1) {
            p.drawPolyline(run);
        }
        run.clear();
    };
    for (const auto& rec : records) {
        if (rec.minuteUtc < from || rec.minuteUtc > nowUtc || !rec.cn0DbHz) {
            continue;
        }
        if (!run.isEmpty() && rec.minuteUtc - previous > kJoinSeconds) {
            flush();
        }
        // A minute's point at its middle.
        run << QPointF(XOf(r, rec.minuteUtc + 30, nowUtc, span), toY(*rec.cn0DbHz));
        previous = rec.minuteUtc;
    }
    flush();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipping(false);
}

}  // namespace receptionchart

#pragma once

#include <QColor>
#include <QRect>
#include <cstdint>
#include <vector>

#include "log/ReceptionRecord.h"

class QPainter;

// C/N0 from the reception log over the last hour, 24 hours or 7 days, for
// the タイムコード window: the trace (broken where no minute was logged) and,
// below it, a strip with the minutes decoded and those not.
namespace receptionchart {

enum class Span { Hour, Day, Week };

std::int64_t Seconds(Span span);

// Records in time order; `nowUtc` is the chart's right edge.
void Draw(QPainter& p, const QRect& r, const std::vector<velto::ReceptionRecord>& records,
          std::int64_t nowUtc, Span span);

// The x of a time on a chart in `r` ending at nowUtc.
double XOf(const QRect& r, std::int64_t utc, std::int64_t nowUtc, Span span);
// The strip of decoded minutes below a chart in `r`.
QRect StripRect(const QRect& r);

QColor Trace();
QColor Decoded();
QColor Undecoded();

}  // namespace receptionchart

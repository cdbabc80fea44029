#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "plot/ReceptionChart.h"

using receptionchart::Span;
using velto::ReceptionRecord;
using velto::ReceptionState;

namespace {

constexpr std::int64_t kNow = 1796642160;
const QRect kChart{48, 40, 720, 120};

QImage Draw(const std::vector<ReceptionRecord>& records, Span span) {
    QImage image(820, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    receptionchart::Draw(p, kChart, records, kNow, span);
    return image;
}

// Pixels of the trace's hue, smoothed edges included, between two x.
int Trace(const QImage& image, double x0, double x1, int* highest = nullptr) {
    int n = 0;
    int top = kChart.bottom() + 1;
    for (int x = static_cast<int>(x0); x <= static_cast<int>(x1); ++x) {
        for (int y = kChart.top(); y <= kChart.bottom(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.saturation() > 60 && std::abs(c.hue() - receptionchart::Trace().hue()) < 12) {
                ++n;
                top = std::min(top, y);
            }
        }
    }
    if (highest != nullptr) {
        *highest = top;
    }
    return n;
}

// The last hour: 30 good minutes decoded, 10 not logged, 20 weak ones not
// decoded.
std::vector<ReceptionRecord> Hour() {
    std::vector<ReceptionRecord> records;
    for (int m = 0; m < 60; ++m) {
        if (m >= 30 && m < 40) {
            continue;
        }
        const bool good = m < 30;
        records.push_back({kNow - 3600 + 60 * m,
                           ReceptionState::TimeValid,
                           good ? 40.0 : 20.0,
                           {},
                           {},
                           good,
                           {}});
    }
    return records;
}

TEST(ReceptionChartTest, TheTraceFollowsTheLoggedMinutesAndTheStripTheirDecodes) {
    const auto records = Hour();
    const QImage image = Draw(records, Span::Hour);
    auto x = [](int minute) {
        return receptionchart::XOf(kChart, kNow - 3600 + 60 * minute, kNow, Span::Hour);
    };
    int good = 0, weak = 0;
    EXPECT_GT(Trace(image, x(2), x(28), &good), 0);
    EXPECT_GT(Trace(image, x(42), x(58), &weak), 0);
    EXPECT_LT(good, weak - kChart.height() / 2);
    // Not joined across the minutes with no line.
    EXPECT_EQ(Trace(image, x(32), x(38)), 0);

    const int y = receptionchart::StripRect(kChart).center().y();
    EXPECT_EQ(image.pixelColor(static_cast<int>(x(10)), y), receptionchart::Decoded());
    EXPECT_EQ(image.pixelColor(static_cast<int>(x(50)), y), receptionchart::Undecoded());
    EXPECT_NE(image.pixelColor(static_cast<int>(x(35)), y), receptionchart::Decoded());
    EXPECT_NE(image.pixelColor(static_cast<int>(x(35)), y), receptionchart::Undecoded());
}

TEST(ReceptionChartTest, LongerSpansPutTheSameHourAtTheirRightEnd) {
    const auto records = Hour();
    for (Span span : {Span::Day, Span::Week}) {
        const QImage image = Draw(records, span);
        const double hourStart = receptionchart::XOf(kChart, kNow - 3600, kNow, span);
        EXPECT_GT(hourStart, kChart.right() - kChart.width() / 20.0);
        EXPECT_EQ(Trace(image, kChart.left(), hourStart - 3), 0);
        EXPECT_GT(Trace(image, hourStart, kChart.right()), 0);
    }
    EXPECT_EQ(Trace(Draw({}, Span::Hour), kChart.left(), kChart.right()), 0);
}

}  // namespace

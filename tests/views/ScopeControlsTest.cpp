#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QWidget>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/Constants.h"
#include "tests/views/ScopeTestSupport.h"

using namespace scopetest;

namespace {

constexpr int n = velto::kBufferSamples;

void Feed(CScope& scope, std::int16_t vlf = 100, double gps = 0.0) {
    const std::vector<std::int16_t> samples(n, vlf);
    const std::vector<double> filtered(n, gps);
    scope.FeedBuffer(samples.data(), filtered.data());
}

TEST(ScopeControls, WheelStepsTheMagnificationOneStepPerEvent) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    std::vector<int> seen;
    for (int i = 0; i < 7; ++i) {
        Wheel(scope, i == 0 ? -1200 : -120);  // toward the user, however far
        seen.push_back(scope.Magnification());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 8, 16, 32, 64, 64}));
    seen.clear();
    for (int i = 0; i < 8; ++i) {
        Wheel(scope, i == 0 ? 0 : 120);  // a delta of 0 counts as away
        seen.push_back(scope.Magnification());
    }
    EXPECT_EQ(seen, (std::vector<int>{32, 16, 8, 4, 2, 1, 0, 0}));
    Wheel(scope, -120);
    EXPECT_EQ(scope.Magnification(), 1);
    EXPECT_EQ(scope.VlfScale() + scope.GpsScale(), 0);
}

TEST(ScopeControls, ShiftWheelStepsOnlyThePanelUnderThePointer) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    // Header, the panels' first and last rows, the gap and the lower panel.
    const std::array<std::array<int, 3>, 9> cases{{{20, 0, 0},
                                                   {48, 0, 0},
                                                   {49, 1, 0},
                                                   {247, 1, 0},
                                                   {248, 0, 0},
                                                   {251, 0, 0},
                                                   {254, 0, 0},
                                                   {255, 0, 1},
                                                   {453, 0, 1}}};
    for (const auto& [y, gps, vlf] : cases) {
        CScope probe;
        probe.resize(kWidth, kHeight);
        ShiftWheel(probe, -120, y);
        EXPECT_EQ(probe.GpsScale(), gps) << y;
        EXPECT_EQ(probe.VlfScale(), vlf) << y;
        EXPECT_EQ(probe.Magnification(), 1) << y;
    }
    ShiftWheel(scope, 120, 300);
    EXPECT_EQ(scope.VlfScale(), 0);
    for (int i = 0; i < 13; ++i) {
        ShiftWheel(scope, -120, 300);
    }
    EXPECT_EQ(scope.VlfScale(), 12);
    ShiftWheel(scope, 0, 300);
    EXPECT_EQ(scope.VlfScale(), 11);
    EXPECT_EQ(scope.GpsScale(), 0);
}

TEST(ScopeControls, LeftDragPansWithTheDragCursorAndTheMouseGrabbed) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    Feed(scope);
    SetMagnification(scope, 0);
    Mouse(scope, QEvent::MouseButtonPress, 500, 100);
    EXPECT_EQ(scope.Dragging(), 1);
    EXPECT_EQ(scope.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(scope.cursor().hotSpot(), QPoint(16, 9));
    EXPECT_EQ(QWidget::mouseGrabber(), &scope);
    Mouse(scope, QEvent::MouseMove, 499, 100);
    EXPECT_EQ(scope.StartIndex(), 480);  // 4.8 columns of 100 samples a pixel
    Mouse(scope, QEvent::MouseButtonRelease, 499, 100);
    EXPECT_EQ(scope.Dragging(), 0);
    EXPECT_EQ(scope.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Mouse(scope, QEvent::MouseMove, 400, 100);
    EXPECT_EQ(scope.StartIndex(), 480);

    SetMagnification(scope, 8);
    Mouse(scope, QEvent::MouseButtonPress, 500, 100);
    Mouse(scope, QEvent::MouseMove, 497, 100);
    EXPECT_EQ(scope.StartIndex(), 483);  // a sample a pixel at any magnification
    Mouse(scope, QEvent::MouseMove, 600, 100);
    EXPECT_EQ(scope.StartIndex(), 380);
    Mouse(scope, QEvent::MouseButtonRelease, 600, 100);
}

TEST(ScopeControls, DragStopsAtEitherEndWithSlack) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    Feed(scope);
    Mouse(scope, QEvent::MouseButtonPress, n + 105, 100);
    Mouse(scope, QEvent::MouseMove, n + 98, 100);
    Mouse(scope, QEvent::MouseMove, 100, 100);
    EXPECT_EQ(scope.StartIndex(), n);
    Mouse(scope, QEvent::MouseMove, 50, 100);
    Mouse(scope, QEvent::MouseMove, 70, 110);
    EXPECT_EQ(scope.StartIndex(), n);
    EXPECT_EQ(scope.DragX(), 100);
    EXPECT_EQ(scope.DragY(), 100);
    // With the start at the end nothing of the traces is drawn.
    const QImage end = scope.Render();
    EXPECT_EQ(Count(end, kGreen, end.rect()) + Count(end, kMagenta, end.rect()), 0);
    Mouse(scope, QEvent::MouseMove, 120, 100);
    EXPECT_EQ(scope.StartIndex(), n - 20);

    // No movement across: the start stays but the drag point follows.
    Mouse(scope, QEvent::MouseMove, 120, 130);
    EXPECT_EQ(scope.StartIndex(), n - 20);
    EXPECT_EQ(scope.DragY(), 130);

    Mouse(scope, QEvent::MouseMove, 120 + 2 * n, 100);
    EXPECT_EQ(scope.StartIndex(), 0);
    Mouse(scope, QEvent::MouseMove, 120 + 2 * n, 140);  // no movement across at the start
    EXPECT_EQ(scope.DragY(), 100);
    Mouse(scope, QEvent::MouseButtonRelease, 0, 0);

    CScope empty;
    empty.resize(kWidth, kHeight);
    Mouse(empty, QEvent::MouseButtonPress, 500, 100);
    Mouse(empty, QEvent::MouseMove, 400, 100);
    Mouse(empty, QEvent::MouseMove, 600, 100);
    EXPECT_EQ(empty.StartIndex(), 0);
    EXPECT_EQ(empty.DragX(), 500);
    Mouse(empty, QEvent::MouseButtonRelease, 600, 100);
}

TEST(ScopeControls, KeysAndTheRightButtonDoNothingAndClosingHides) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    Feed(scope);
    scope.show();
    for (int key : {Qt::Key_Plus, Qt::Key_Left, Qt::Key_Escape, Qt::Key_Space}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&scope, &e);
    }
    Mouse(scope, QEvent::MouseButtonPress, 500, 100, Qt::RightButton);
    Mouse(scope, QEvent::MouseMove, 400, 100, Qt::RightButton);
    Mouse(scope, QEvent::MouseButtonRelease, 400, 100, Qt::RightButton);
    EXPECT_EQ(scope.Dragging(), 0);
    EXPECT_EQ(scope.StartIndex(), 0);
    EXPECT_EQ(scope.Magnification(), 1);
    EXPECT_EQ(scope.VlfScale() + scope.GpsScale(), 0);
    EXPECT_TRUE(scope.isVisible());

    EXPECT_FALSE(scope.close());
    EXPECT_FALSE(scope.isVisible());
    EXPECT_EQ(scope.SampleCount(), n);
}

TEST(ScopeFeed, HoldsTheBufferRoundedAndReusesItsStorage) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    scope.SetMarker(12.0);
    std::vector<std::int16_t> vlf(n);
    std::vector<double> gps(n, 0.0);
    for (int i = 0; i < n; ++i) {
        vlf[i] = static_cast<std::int16_t>(i - n / 2);
    }
    gps[0] = 1.4;
    gps[1] = -2.6;
    gps[2] = 2.5;
    gps[3] = 1e12;
    gps[4] = -1e12;
    gps[5] = std::numeric_limits<double>::quiet_NaN();
    scope.FeedBuffer(vlf.data(), gps.data());
    ASSERT_EQ(scope.SampleCount(), n);
    ASSERT_EQ(scope.VlfSamples().size(), static_cast<std::size_t>(n));
    ASSERT_EQ(scope.GpsSamples().size(), static_cast<std::size_t>(n));
    EXPECT_EQ(scope.VlfSamples()[0], -n / 2);
    EXPECT_EQ(scope.VlfSamples()[n - 1], n / 2 - 1);
    const std::vector<std::int32_t> rounded(scope.GpsSamples().begin(),
                                            scope.GpsSamples().begin() + 7);
    EXPECT_EQ(rounded,
              (std::vector<std::int32_t>{1, -3, 3, std::numeric_limits<std::int32_t>::max(),
                                         std::numeric_limits<std::int32_t>::min(), 0, 0}));
    EXPECT_EQ(scope.BitsPerSample(), 16);
    EXPECT_EQ(scope.Frequency(), 40000.0);
    EXPECT_EQ(scope.OverlayFlagA(), 1);
    EXPECT_EQ(scope.Marker(), -1.0);

    const std::int32_t* vlfData = scope.VlfSamples().data();
    const std::int32_t* gpsData = scope.GpsSamples().data();
    Feed(scope, 7, 8.0);
    EXPECT_EQ(scope.VlfSamples().data(), vlfData);
    EXPECT_EQ(scope.GpsSamples().data(), gpsData);
    EXPECT_EQ(scope.VlfSamples()[0], 7);
    EXPECT_EQ(scope.GpsSamples()[n - 1], 8);

    // What is fed is what is drawn: 0.8 mV, 16 pixels up at 1 mV a division.
    for (int i = 0; i < 9; ++i) {
        ShiftWheel(scope, -120, 100);
    }
    SetMagnification(scope, 64);
    const QImage img = scope.Render();
    EXPECT_EQ(Count(img, kGreen, QRect(32, kUpperCentre - 17, 1, 2)), 1);
}

}  // namespace

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPainter>
#include <array>
#include <limits>
#include <set>
#include <tuple>
#include <utility>

#include "base/Geometry.h"
#include "tests/views/ViewTestSupport.h"
#include "views/Scope.h"

using namespace viewtest;

namespace {

constexpr int n = velto::kBufferSamples;

// Panels 200 pixels high: the upper from 48, the lower from 254, the separator between.
constexpr int kWidth = 960;
constexpr int kHeight = 454;
constexpr int kUpperCentre = 148;
constexpr int kLowerCentre = 354;
constexpr int kLowerTop = 254;

struct SizedScope : CScope {
    explicit SizedScope(int width = kWidth) { resize(width, kHeight); }
};

using Samples = std::vector<std::int32_t>;

// With Shift, a scale finer for the panel at height y, `steps` over.
void Finer(CScope& scope, int y, int steps = 1) {
    for (int i = 0; i < steps; ++i) Wheel(scope, QPoint(10, y), -120, Qt::ShiftModifier);
}

void SetMagnification(CScope& scope, int m) {
    while (scope.Magnification() != m) {
        Wheel(scope, QPoint(10, 100), scope.Magnification() < m ? -120 : 120);
    }
}

// Whether `colour`'s ink in `area` is exactly `text` with its top at `top`, from or about x.
bool ShowsText(const QImage& image, QRgb colour, QRect area, int x, int top, const QString& text,
               bool centred = true) {
    QImage reference(image.size(), QImage::Format_RGB32);
    reference.fill(colour == kBlack ? kWhite : kBlack);
    QPainter p(&reference);
    QFont font;
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(colour));
    p.drawText(centred ? x - p.fontMetrics().horizontalAdvance(text) / 2 : x,
               top + p.fontMetrics().ascent(), text);
    p.end();
    area = area.intersected(image.rect());
    return Count(reference, colour, area) > 0 &&
           image.copy(area).createMaskFromColor(colour) ==
               reference.copy(area).createMaskFromColor(colour);
}

// The header's label centred on x, or with `top` 0 none within 12 pixels.
bool Label(const QImage& img, int x, int top, const QString& text = {}) {
    return top == 0 ? Count(img, kBlack, QRect(x - 12, 0, 25, 29)) == 0
                    : ShowsText(img, kBlack, QRect(x - 40, 0, 81, 29), x, top, text);
}

// First and last green rows of column x as offsets from `centre`; -999 for none.
using Span = std::pair<int, int>;
Span Green(const QImage& img, int x, int centre) {
    Span span(-999, -999);
    for (int d = -100; d < 100; ++d) {
        if (img.pixel(x, centre + d) == kGreen) {
            span = {span.first == -999 ? d : span.first, d};
        }
    }
    return span;
}

TEST(ScopePaint, FreshWindowShowsTicksLabelsGridsSeparatorAndCaptionButNoTrace) {
    SizedScope scope;
    scope.SetBaseTitle(QStringLiteral("実波形"));
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("オシロスコープ"));
    const QImage img = scope.Render();
    EXPECT_EQ(img.pixel(5, 2), kWhite);
    const std::set<int> ticks{0, 9, 19, 28, 38, 48, 57, 67, 76, 86, 96};
    for (int x = 0; x <= 96; ++x) {
        EXPECT_EQ(img.pixel(x, 45) == kBlack, ticks.count(x) == 1) << x;
    }
    // Every tenth tick labelled and longest (from row 29), every fifth from 36, the rest 42.
    for (int x = 0; x < kWidth; x += 96) {
        EXPECT_TRUE(Label(img, x, 4, QString::number(x / 96) + ".0") && Label(img, x + 48, 0)) << x;
    }
    const auto tick = [&](int x) { return Count(img, kBlack, QRect(x, 24, 1, 24)); };
    EXPECT_EQ(std::vector({tick(96), tick(48), tick(9)}), std::vector({48 - 29, 48 - 36, 48 - 42}));
    // Grid lines, the panels' solid centre lines and the separator band.
    EXPECT_EQ(Count(img, qRgb(40, 40, 40), QRect(9, 48, 1, 12)), 6);
    EXPECT_EQ(Count(img, qRgb(96, 96, 96), QRect(0, kUpperCentre, kWidth, 1)), kWidth);
    EXPECT_EQ(Count(img, qRgb(96, 96, 96), QRect(0, kLowerCentre, kWidth, 1)), kWidth);
    EXPECT_EQ(Count(img, qRgb(111, 202, 225), QRect(0, 249, kWidth, 5)), 5 * kWidth);
    EXPECT_EQ(Count(img, kGreen, img.rect()) + Count(img, kRed, img.rect()), 0);

    // The caption is rebuilt at every paint from the title and the scales.
    const std::pair<int, const char*> cases[] = {
        {0, "実波形  VLF:1V/DIV GPS:1V/DIV"},
        {9, "実波形 VLF:1mV/DIV GPS:1mV/DIV"},
        {10, "実波形 VLF:V500μV/DIV GPS:500μV/DIV"},
    };
    for (const auto& [index, caption] : cases) {
        Finer(scope, 300, index - scope.VlfScale());
        Finer(scope, 100, index - scope.GpsScale());
        scope.Render();
        EXPECT_EQ(scope.windowTitle(), QString::fromUtf8(caption)) << index;
    }
}

TEST(ScopePaint, TimeLabelsFollowTheMagnification) {
    // Magnification, x, the label's top (0: none) and text.
    const std::tuple<int, int, int, const char*> cases[] = {
        {0, 96, 4, "0.1"},    {0, 960, 4, "1.0"},   {0, 48, 0, ""},       {4, 38, 0, ""},
        {8, 768, 4, "1.0"},   {8, 384, 12, "0.5"},  {8, 76, 16, "0.1"},   {8, 691, 16, "0.9"},
        {16, 1536, 4, "1.0"}, {16, 768, 12, "0.5"}, {16, 153, 16, "0.1"}, {16, 76, 0, ""}};
    SizedScope scope(1600);
    for (const auto& [m, x, top, text] : cases) {
        SetMagnification(scope, m);
        EXPECT_TRUE(Label(scope.Render(), x, top, text)) << m << " " << x;
    }
    const QImage img = scope.Render();
    EXPECT_EQ(img.pixel(15, 45), kBlack);
    EXPECT_EQ(img.pixel(153, 60), qRgb(64, 64, 64));
    SetMagnification(scope, 0);
    EXPECT_EQ(scope.Render().pixel(5, 2), qRgb(196, 235, 78));
}

TEST(ScopePaint, SamplesMapToVoltsPerDivisionAreClippedToTheirPanelAndStayDrawable) {
    SizedScope scope;
    SetMagnification(scope, 64);
    scope.SetSamples(Samples(40, 10000), Samples(40, 10000), 16);
    QImage img = scope.Render();
    // 1.0 V at 1 V a division is 20 pixels: rimmed dots, a line between.
    EXPECT_EQ(Green(img, 32, kLowerCentre), Span(-20, -20));
    EXPECT_EQ(img.pixel(64, kLowerCentre - 20), kMagenta);
    EXPECT_EQ(img.pixel(62, kLowerCentre - 24), kWhite);
    Finer(scope, 300, 3);  // 0.1 V a division: 200 pixels up, outside the panel
    img = scope.Render();
    EXPECT_EQ(Green(img, 32, kUpperCentre), Span(-20, -20));
    EXPECT_EQ(Count(img, kGreen, QRect(0, kLowerTop, kWidth, 200)), 0);

    // 24-bit full scale is 32767 x 256 and maps like 16-bit full scale.
    scope.SetSamples(Samples(40, 8388352), Samples(40, -8388352), 24);
    const QImage wide = scope.Render();
    scope.SetSamples(Samples(40, 32767), Samples(40, -32767), 16);
    EXPECT_EQ(wide, scope.Render());
    EXPECT_EQ(wide.pixel(32, kUpperCentre + 65), kGreen);  // 3.2767 V at 20 px a volt
    // 200 + 1/256 steps at 5 mV a division: over 80 pixels, unlike 8388607 for full scale.
    Finer(scope, 300, 4);
    scope.SetSamples(Samples(40, 200 * 256 + 1), Samples(40, 0), 24);
    EXPECT_EQ(Green(scope.Render(), 32, kLowerCentre), Span(-81, -81));

    // Extreme samples stay drawable at the finest scale.
    Finer(scope, 300, 12);
    scope.SetSamples({0, INT32_MAX, INT32_MIN, INT32_MAX, 0}, {INT32_MIN, INT32_MAX, 0, 0, 0}, 16);
    scope.SetFrequency(40000.0);
    img = scope.Render();
    EXPECT_EQ(img.pixel(0, kLowerTop + 10), kGreen);
    EXPECT_GE(Count(img, kGreen, QRect(95, kLowerTop + 1, 2, 199)), 199);
    scope.SetOverlayFlags(1, 0);
    EXPECT_GT(Count(scope.Render(), kWhite, QRect(0, kLowerTop, kWidth, 200)), 200);
    SetMagnification(scope, 0);
    EXPECT_EQ(Count(scope.Render(), kGreen, QRect(0, kLowerTop + 1, 1, 199)), 199);
}

TEST(ScopePaint, CompressedViewDrawsAColumnPerHundredSamplesThroughTheZeroLine) {
    SizedScope scope;
    SetMagnification(scope, 0);
    Samples vlf(250, 1000);
    vlf[99] = 20000;
    vlf[100] = -10000;
    std::fill(vlf.begin() + 200, vlf.end(), 5000);
    Samples gps(250, 0);
    std::fill(gps.begin(), gps.begin() + 100, -5000);
    scope.SetSamples(vlf, gps, 16);
    const QImage img = scope.Render();
    EXPECT_EQ(Green(img, 0, kLowerCentre), Span(-40, -1));
    EXPECT_EQ(Green(img, 1, kLowerCentre), Span(-2, 19));
    EXPECT_EQ(Green(img, 2, kLowerCentre), Span(-10, -1));
    EXPECT_EQ(Count(img, kGreen, QRect(0, kLowerTop, kWidth, 200)), 40 + 22 + 10);
    EXPECT_EQ(Green(img, 0, kUpperCentre), Span(0, 9));
    EXPECT_EQ(Green(img, 2, kUpperCentre), Span(0, 0));
    EXPECT_EQ(Count(img, kGreen, QRect(0, 48, kWidth, 200)), 10 + 2);
}

TEST(ScopePaint, MarkerStandsAtItsSampleWithTheOffsetUnlessFlagBIsSet) {
    SizedScope scope;
    SetMagnification(scope, 4);
    scope.SetMarker(10.5);
    for (const auto& [b, x] : {std::pair(0, 46), std::pair(2, 42)}) {
        scope.SetOverlayFlags(0, b);
        const QImage img = scope.Render();
        EXPECT_EQ(Count(img, kRed, QRect(x, 48, 1, 200)), 200) << b;
        EXPECT_EQ(img.pixel(x, 400), kRed) << b;
        EXPECT_EQ(Count(img, kRed, QRect(0, 0, kWidth, 248)), 200) << b;
    }
    for (double far : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        scope.SetMarker(far);
        EXPECT_EQ(Count(scope.Render(), kRed, QRect(0, 0, kWidth, kHeight)), 0) << far;
    }
}

TEST(ScopePaint, SineOverlayFromMagnificationFourAndTheFrequencyReadout) {
    SizedScope scope;
    // Two samples fit a sine of 40 pixels; the trace stays near the centre.
    Samples vlf(300, 0);
    vlf[1] = 10000;
    scope.SetSamples(vlf, Samples(300, 0), 16);
    scope.SetFrequency(40000.0);
    const auto overlay = [&](int m, int a, int b) {
        SetMagnification(scope, m);
        scope.SetOverlayFlags(a, b);
        const QImage img = scope.Render();
        return Count(img, kWhite, QRect(0, kLowerTop, kWidth, 200)) >
               Count(img, kWhite, QRect(0, kLowerCentre - 25, kWidth, 51));
    };
    EXPECT_FALSE(overlay(0, 1, 0) || overlay(1, 1, 0) || overlay(2, 1, 0) || overlay(4, 0, 0));
    EXPECT_TRUE(overlay(4, 1, 0) && overlay(4, 0, 1));
    const QImage img = scope.Render();
    const QString text = QStringLiteral("Freq = 40000 Hz");
    const int top = kLowerTop - 32;
    EXPECT_TRUE(ShowsText(img, kWhite, QRect(40, top - 4, 200, 30), 64, top, text, false));
    EXPECT_TRUE(ShowsText(img, kWhite, QRect(800, top - 4, 160, 30), 820, top, text, false));
    scope.SetFrequency(0.0);
    EXPECT_EQ(Count(scope.Render(), kWhite, QRect(0, top - 4, kWidth, 30)), 0);
}

TEST(ScopeControls, WheelStepsTheMagnificationOrWithShiftThePanelsScaleOneStepPerEvent) {
    SizedScope scope;
    std::vector<int> seen;
    // One step however far the turn; toward the user magnifies, 0 counts as away.
    for (int delta :
         {-1200, -120, -120, -120, -120, -120, -120, 0, 120, 120, 120, 120, 120, 120, 120, -120}) {
        Wheel(scope, QPoint(10, 100), delta);
        seen.push_back(scope.Magnification());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 8, 16, 32, 64, 64, 32, 16, 8, 4, 2, 1, 0, 0, 1}));
    EXPECT_EQ(scope.VlfScale() + scope.GpsScale(), 0);

    // With Shift, only the panel under the pointer.
    const std::pair<int, char> cases[] = {{48, '-'},  {49, 'G'},  {247, 'G'},
                                          {248, '-'}, {254, '-'}, {255, 'V'}};
    for (const auto& [y, panel] : cases) {
        SizedScope fresh;
        Finer(fresh, y);
        EXPECT_EQ(fresh.GpsScale(), panel == 'G' ? 1 : 0) << y;
        EXPECT_EQ(fresh.VlfScale(), panel == 'V' ? 1 : 0) << y;
        EXPECT_EQ(fresh.Magnification(), 1) << y;
    }
    Wheel(scope, QPoint(10, 300), 120, Qt::ShiftModifier);
    EXPECT_EQ(scope.VlfScale(), 0);
    Finer(scope, 300, 13);
    EXPECT_EQ(scope.VlfScale(), 12);
    Wheel(scope, QPoint(10, 300), 0, Qt::ShiftModifier);
    EXPECT_EQ(scope.VlfScale(), 11);
}

// The filtered channel rounded and clamped; keys and the right button do nothing.
TEST(ScopeControls, AFedBufferIsStoredAndALeftDragPansWithinIt) {
    SizedScope scope;
    const std::vector<std::int16_t> vlf(n, -32768);
    std::vector<double> gps{1.4, -2.6, 2.5, 1e12, -1e12, std::numeric_limits<double>::quiet_NaN()};
    gps.resize(n, 7.0);
    scope.FeedBuffer(vlf.data(), gps.data());
    ASSERT_EQ(scope.GpsSamples().size(), std::size_t{n});
    EXPECT_EQ(Samples(scope.GpsSamples().begin(), scope.GpsSamples().begin() + 7),
              Samples({1, -3, 3, INT32_MAX, INT32_MIN, 0, 7}));
    EXPECT_EQ(std::tuple(scope.Frequency(), scope.OverlayFlagA()), std::tuple(40000.0, 1));
    const std::int32_t* data[] = {scope.VlfSamples().data(), scope.GpsSamples().data()};
    scope.FeedBuffer(vlf.data(), gps.data());
    EXPECT_TRUE(scope.VlfSamples().data() == data[0] && scope.GpsSamples().data() == data[1]);

    scope.show();
    for (int key : {Qt::Key_Plus, Qt::Key_Left, Qt::Key_Escape, Qt::Key_Space}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&scope, &e);
    }
    Mouse(scope, QEvent::MouseButtonPress, 500, 100, Qt::RightButton);
    Mouse(scope, QEvent::MouseMove, 400, 100, Qt::RightButton);
    EXPECT_EQ(scope.Dragging() + scope.StartIndex() + scope.VlfScale() + scope.GpsScale(), 0);
    EXPECT_EQ(scope.Magnification(), 1);
    Mouse(scope, QEvent::MouseButtonRelease, 400, 100, Qt::RightButton);

    SetMagnification(scope, 0);
    Mouse(scope, QEvent::MouseButtonPress, 500, 100);
    EXPECT_EQ(scope.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(scope.cursor().hotSpot(), QPoint(16, 9));
    EXPECT_EQ(QWidget::mouseGrabber(), &scope);
    // A pixel moves 480 samples compressed, else one. At either end the drag point stays
    // until the pointer turns back; a move straight down carries it, though not at the start.
    const std::array<int, 6> moves[] = {
        {0, 499, 100, 480, 499, 100},        {8, 496, 100, 483, 496, 100},
        {8, 596 + n, 100, 0, 596 + n, 100},  {8, 596 + n, 140, 0, 596 + n, 100},
        {8, 700 + n, 110, 0, 596 + n, 100},  {8, 576 + n, 100, 20, 576 + n, 100},
        {8, 576 + n, 130, 20, 576 + n, 130}, {8, 576, 100, n, 576, 100},
        {8, 500, 120, n, 576, 100}};
    for (const auto& [m, x, y, start, dragX, dragY] : moves) {
        SetMagnification(scope, m);
        Mouse(scope, QEvent::MouseMove, x, y);
        EXPECT_EQ(std::tuple(scope.StartIndex(), scope.DragX(), scope.DragY()),
                  std::tuple(start, dragX, dragY))
            << x << " " << y;
    }
    const QImage end = scope.Render();  // nothing of the traces is left
    EXPECT_EQ(Count(end, kGreen, end.rect()) + Count(end, kMagenta, end.rect()), 0);
    Mouse(scope, QEvent::MouseButtonRelease, 500, 120);
    EXPECT_EQ(scope.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Mouse(scope, QEvent::MouseMove, 700, 100);
    EXPECT_EQ(scope.StartIndex(), n);
    EXPECT_FALSE(scope.close());
    EXPECT_FALSE(scope.isVisible());
}

}  // namespace

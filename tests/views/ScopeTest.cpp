#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "tests/views/ScopeTestSupport.h"

using namespace scopetest;

namespace {

std::vector<std::int32_t> Constant(int n, std::int32_t v) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(n), v);
}

bool HasColour(const QImage& image, QRgb colour, int top, int bottom) {
    return Count(image, colour, QRect(0, top, image.width(), bottom - top)) > 0;
}

TEST(ScopeWindow, OpensHiddenOnTheMiddleOfThePrimaryScreenAndGoesWithItsOwner) {
    EXPECT_EQ(velto::ScopeWindowRect(QRect(0, 0, 1920, 1080)), QRect(480, 180, 960, 360));

    auto* owner = new QWidget;
    QPointer<CScope> scope = new CScope(owner);
    EXPECT_EQ(scope->windowTitle(), QStringLiteral("オシロスコープ"));
    EXPECT_NE(scope->CreateScope(owner), 0);
    EXPECT_TRUE(scope->isWindow());
    EXPECT_EQ(scope->parentWidget(), owner);
    EXPECT_FALSE(scope->isVisible());
    EXPECT_EQ(scope->geometry(),
              velto::ScopeWindowRect(QGuiApplication::primaryScreen()->geometry()));
    delete owner;
    EXPECT_TRUE(scope.isNull());
}

TEST(ScopeWindow, ImagesAreTheDotSpriteAndTheDragCursor) {
    const QImage dot(QStringLiteral(":/scope/dot.png"));
    ASSERT_EQ(dot.size(), QSize(17, 8));
    const auto inDisc = [](int col, int row) {
        const int inset = (row == 0 || row == 7) ? 2 : (row == 1 || row == 6) ? 1 : 0;
        return col >= inset && col <= 7 - inset;
    };
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 8; ++col) {
            EXPECT_EQ(dot.pixel(col, row), inDisc(col, row) ? kBlack : kWhite) << col << row;
            const bool rim = inDisc(col, row) && (!inDisc(col - 1, row) || !inDisc(col + 1, row) ||
                                                  row == 0 || row == 7);
            const QRgb image = !inDisc(col, row) ? kBlack : rim ? kWhite : kMagenta;
            EXPECT_EQ(dot.pixel(8 + col, row), image) << col << row;
        }
    }

    const QImage drag =
        QImage(QStringLiteral(":/scope/drag.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drag.size(), QSize(32, 32));
    const auto opaque = [&](int x, int y) {
        return drag.rect().contains(x, y) && qAlpha(drag.pixel(x, y)) == 255;
    };
    std::set<int> rows;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_TRUE(qAlpha(drag.pixel(x, y)) == 0 || opaque(x, y));
            if (!opaque(x, y)) {
                continue;
            }
            rows.insert(y);
            EXPECT_TRUE(x >= 7 && x <= 20) << x;
            const bool edge =
                !opaque(x - 1, y) || !opaque(x + 1, y) || !opaque(x, y - 1) || !opaque(x, y + 1);
            EXPECT_EQ(drag.pixel(x, y), edge ? qRgba(0, 0, 0, 255) : qRgba(255, 255, 255, 255));
        }
    }
    std::set<int> expected;
    for (int y = 2; y <= 12; ++y) {
        expected.insert(y);
        expected.insert(y + 17);
    }
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(opaque(16, 9));
}

TEST(ScopePaint, FreshWindowShowsHeaderTicksGridsAndSeparatorButNoTrace) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    const QImage img = scope.Render();
    ASSERT_EQ(img.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(img.pixel(5, 2), kWhite);

    const std::set<int> ticks{0, 9, 19, 28, 38, 48, 57, 67, 76, 86, 96};
    for (int x = 0; x <= 96; ++x) {
        EXPECT_EQ(img.pixel(x, 45) == kBlack, ticks.count(x) == 1) << x;
    }
    // Every tenth tick starts at row 29, the fifth ones at 36, the rest at 42.
    EXPECT_EQ(img.pixel(96, 29), kBlack);
    EXPECT_EQ(img.pixel(96, 28), kWhite);
    EXPECT_EQ(img.pixel(48, 36), kBlack);
    EXPECT_EQ(img.pixel(48, 35), kWhite);
    EXPECT_EQ(img.pixel(9, 42), kBlack);
    EXPECT_EQ(img.pixel(9, 41), kWhite);
    EXPECT_EQ(img.pixel(96, 60), qRgb(64, 64, 64));
    EXPECT_EQ(img.pixel(48, 60), qRgb(40, 40, 40));
    EXPECT_EQ(Count(img, qRgb(40, 40, 40), QRect(9, 48, 1, 12)), 6);  // dotted
    EXPECT_EQ(Count(img, kBlack, QRect(9, 48, 1, 12)), 6);

    // Panel centre solid, divisions dotted, nothing at the panel edges.
    for (int centre : {kUpperCentre, kLowerCentre}) {
        EXPECT_EQ(Count(img, qRgb(96, 96, 96), QRect(1, centre, 8, 1)), 8);
        for (int k = -4; k <= 4; k += k == -1 ? 2 : 1) {
            const int n = Count(img, qRgb(64, 64, 64), QRect(1, centre + 20 * k, 8, 1));
            EXPECT_TRUE(n > 0 && n < 8) << k;
        }
    }
    EXPECT_EQ(img.pixel(5, 48), kBlack);
    EXPECT_EQ(img.pixel(5, 247), kBlack);
    EXPECT_EQ(img.pixel(5, 248), qRgb(211, 239, 245));
    EXPECT_EQ(Count(img, qRgb(111, 202, 225), QRect(0, 249, kWidth, 5)), 5 * kWidth);
    EXPECT_EQ(img.pixel(5, 254), qRgb(36, 147, 174));
    EXPECT_FALSE(HasColour(img, kGreen, 0, kHeight));
    EXPECT_FALSE(HasColour(img, kRed, 0, kHeight));
}

TEST(ScopePaint, TimeLabelsCountFromTheLeftEdgeByMagnification) {
    CScope scope;
    scope.resize(1600, kHeight);
    const auto label = [&](const QImage& img, int x, const QString& text) {
        return ShowsText(scope, img, kBlack, QRect(x - 40, 0, 81, 29), x, 4, text, true);
    };

    QImage img = scope.Render();
    EXPECT_TRUE(label(img, 96, QStringLiteral("1.0")));
    EXPECT_TRUE(label(img, 192, QStringLiteral("2.0")));
    EXPECT_TRUE(label(img, 0, QStringLiteral("0.0")));
    for (int x = 48; x < 960; x += 96) {
        EXPECT_EQ(TopTextRow(img, x), -1) << x;
    }

    SetMagnification(scope, 0);
    img = scope.Render();
    EXPECT_EQ(img.pixel(5, 2), qRgb(196, 235, 78));
    EXPECT_EQ(img.pixel(19, 45), kBlack);
    EXPECT_TRUE(label(img, 96, QStringLiteral("0.1")));
    EXPECT_TRUE(label(img, 960, QStringLiteral("1.0")));
    EXPECT_EQ(TopTextRow(img, 48), -1);

    // At 8 every tick of 0.1 ms is labelled, by class at three heights.
    SetMagnification(scope, 8);
    img = scope.Render();
    const int major = TopTextRow(img, 768);
    ASSERT_GE(major, 4);
    EXPECT_EQ(TopTextRow(img, 384) - major, 8);
    for (int i = 1; i < 10; ++i) {
        if (i != 5) {
            EXPECT_EQ(TopTextRow(img, 8 * i * 96 / 10) - major, 12) << i;
        }
    }
    SetMagnification(scope, 4);
    EXPECT_EQ(TopTextRow(scope.Render(), 38), -1);

    // Above 8 the ticks stand every 10 microseconds, a label every tenth.
    SetMagnification(scope, 16);
    img = scope.Render();
    EXPECT_TRUE(label(img, 1536, QStringLiteral("1.0")));
    EXPECT_EQ(TopTextRow(img, 768) - TopTextRow(img, 1536), 8);
    EXPECT_EQ(TopTextRow(img, 153) - TopTextRow(img, 1536), 12);
    EXPECT_EQ(TopTextRow(img, 76), -1);
    EXPECT_EQ(img.pixel(15, 45), kBlack);
    EXPECT_EQ(img.pixel(153, 60), qRgb(64, 64, 64));
}

TEST(ScopePaint, CaptionIsRebuiltAtEveryPaintFromTitleAndScales) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    scope.SetBaseTitle(QStringLiteral("実波形"));
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("オシロスコープ"));
    scope.Render();
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("実波形  VLF:1V/DIV GPS:1V/DIV"));

    ShiftWheel(scope, -120, 300);
    ShiftWheel(scope, -120, 100);
    scope.Render();
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("実波形 VLF:500mV/DIV GPS:500mV/DIV"));
    for (int i = 1; i < 9; ++i) {
        ShiftWheel(scope, -120, 300);
        ShiftWheel(scope, -120, 100);
    }
    scope.Render();
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("実波形 VLF:1mV/DIV GPS:1mV/DIV"));
    ShiftWheel(scope, -120, 300);
    ShiftWheel(scope, -120, 100);
    scope.Render();
    EXPECT_EQ(scope.windowTitle(), QStringLiteral("実波形 VLF:V500μV/DIV GPS:500μV/DIV"));
}

TEST(ScopePaint, SamplesMapToVoltsPerDivisionAndAreClippedToTheirPanel) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    SetMagnification(scope, 64);
    scope.SetSamples(Constant(40, 10000), Constant(40, 10000), 16);
    QImage img = scope.Render();
    // 1.0 V at 1 V a division is 20 pixels; between two dots the line shows.
    EXPECT_EQ(img.pixel(32, kLowerCentre - 20), kGreen);
    EXPECT_EQ(img.pixel(32, kUpperCentre - 20), kGreen);
    EXPECT_EQ(Count(img, kGreen, QRect(32, 48, 1, kHeight - 48)), 2);
    // The dots: a magenta disc with a white rim stands on each sample.
    EXPECT_EQ(img.pixel(64, kLowerCentre - 20), kMagenta);
    EXPECT_EQ(img.pixel(62, kLowerCentre - 24), kWhite);
    EXPECT_NE(img.pixel(60, kLowerCentre - 24), kWhite);

    // At 0.1 V a division the VLF line lies 200 pixels up, outside its panel.
    for (int i = 0; i < 3; ++i) {
        ShiftWheel(scope, -120, 300);
    }
    img = scope.Render();
    EXPECT_EQ(Count(img, kGreen, QRect(32, 48, 1, kHeight - 48)), 1);
    EXPECT_FALSE(HasColour(img, kGreen, kLowerTop, kHeight));

    // 24-bit full scale is 32767 x 256 and maps like 16-bit full scale.
    scope.SetSamples(Constant(40, 8388352), Constant(40, -8388352), 24);
    const QImage wide = scope.Render();
    scope.SetSamples(Constant(40, 32767), Constant(40, -32767), 16);
    EXPECT_EQ(wide, scope.Render());
    EXPECT_EQ(wide.pixel(32, kUpperCentre + 65), kGreen);  // 3.2767 V at 20 px a volt

    // A 256th of a 16-bit step tells 32767 x 256 from 8388607: 200 + 1/256
    // steps at 5 mV a division lie just over 80 pixels up.
    for (int i = 0; i < 4; ++i) {
        ShiftWheel(scope, -120, 300);
    }
    scope.SetSamples(Constant(40, 200 * 256 + 1), Constant(40, 0), 24);
    EXPECT_EQ(Count(scope.Render(), kGreen, QRect(32, kLowerTop, 1, 200)), 1);
    EXPECT_EQ(scope.Render().pixel(32, kLowerCentre - 81), kGreen);
}

TEST(ScopePaint, CompressedViewDrawsAColumnPerHundredSamplesThroughTheZeroLine) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    SetMagnification(scope, 0);
    std::vector<std::int32_t> vlf = Constant(250, 1000);
    vlf[99] = 20000;
    vlf[100] = -10000;
    std::fill(vlf.begin() + 200, vlf.end(), 5000);
    std::vector<std::int32_t> gps = Constant(250, 0);
    std::fill(gps.begin(), gps.begin() + 100, -5000);
    scope.SetSamples(vlf, gps, 16);
    const QImage img = scope.Render();
    const auto green = [&](int x, int y) { return img.pixel(x, y) == kGreen; };
    EXPECT_TRUE(green(0, kLowerCentre - 40) && green(0, kLowerCentre - 1));
    EXPECT_FALSE(green(0, kLowerCentre - 41));
    EXPECT_TRUE(green(1, kLowerCentre - 2) && green(1, kLowerCentre + 19));
    EXPECT_FALSE(green(1, kLowerCentre - 3));
    EXPECT_TRUE(green(2, kLowerCentre - 10));
    EXPECT_FALSE(green(2, kLowerCentre - 11));
    EXPECT_EQ(Count(img, kGreen, QRect(3, kLowerTop, kWidth, 200)), 0);
    // All negative: from the centre down. Silence: one pixel at the centre.
    EXPECT_TRUE(green(0, kUpperCentre) && green(0, kUpperCentre + 9));
    EXPECT_FALSE(green(0, kUpperCentre - 1));
    EXPECT_EQ(Count(img, kGreen, QRect(0, 48, kWidth, 200)), 10 + 2);
    EXPECT_EQ(Count(img, kGreen, QRect(1, kUpperCentre, 2, 1)), 2);
}

TEST(ScopePaint, MarkerStandsAtItsSampleWithTheOffsetUnlessFlagBIsSet) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    SetMagnification(scope, 4);
    scope.SetMarker(10.5);
    QImage img = scope.Render();
    EXPECT_EQ(Count(img, kRed, QRect(46, 48, 1, 200)), 200);
    EXPECT_EQ(img.pixel(46, 400), kRed);
    EXPECT_FALSE(HasColour(img, kRed, 0, 48));
    EXPECT_EQ(Count(img, kRed, QRect(0, 100, kWidth, 1)), 1);
    scope.SetOverlayFlags(0, 2);
    img = scope.Render();
    EXPECT_EQ(img.pixel(42, 100), kRed);
    EXPECT_EQ(Count(img, kRed, QRect(0, 100, kWidth, 1)), 1);

    for (double far : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        scope.SetMarker(far);
        EXPECT_FALSE(HasColour(scope.Render(), kRed, 0, kHeight)) << far;
    }
}

TEST(ScopePaint, SineOverlayFromMagnificationFourAndTheFrequencyReadout) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    // Two samples that fit a sine of amplitude 20000 (40 pixels); the trace
    // itself stays within 25 pixels of the centre.
    std::vector<std::int32_t> vlf = Constant(300, 0);
    vlf[1] = 10000;
    scope.SetSamples(vlf, Constant(300, 0), 16);
    scope.SetFrequency(40000.0);
    scope.SetOverlayFlags(1, 0);
    const auto farWhite = [&] {
        const QImage img = scope.Render();
        return Count(img, kWhite, QRect(0, kLowerTop, kWidth, 74)) +
               Count(img, kWhite, QRect(0, kLowerCentre + 26, kWidth, 74));
    };
    for (int m : {0, 1, 2}) {
        SetMagnification(scope, m);
        EXPECT_EQ(farWhite(), 0) << m;
    }
    SetMagnification(scope, 4);
    EXPECT_GT(farWhite(), 0);
    scope.SetOverlayFlags(0, 0);
    EXPECT_EQ(farWhite(), 0);
    scope.SetOverlayFlags(0, 1);
    EXPECT_GT(farWhite(), 0);

    const QImage img = scope.Render();
    const QString text = QStringLiteral("Freq = 40000 Hz");
    const int top = kLowerTop - 32;
    EXPECT_TRUE(ShowsText(scope, img, kWhite, QRect(40, top - 4, 200, 30), 64, top, text, false));
    EXPECT_TRUE(ShowsText(scope, img, kWhite, QRect(kWidth - 160, top - 4, 160, 30), kWidth - 140,
                          top, text, false));
    scope.SetFrequency(0.0);
    EXPECT_EQ(Count(scope.Render(), kWhite, QRect(0, top - 4, kWidth, 30)), 0);
}

TEST(ScopePaint, ExtremeSamplesStayDrawable) {
    CScope scope;
    scope.resize(kWidth, kHeight);
    SetMagnification(scope, 64);
    for (int i = 0; i < 12; ++i) {
        ShiftWheel(scope, -120, 300);
    }
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    scope.SetSamples({0, kMax, kMin, kMax, 0}, {kMin, kMax, kMin, 0, 0}, 16);
    scope.SetFrequency(40000.0);
    QImage img = scope.Render();
    // The first segment leaves the panel upward next to its first sample, the
    // second crosses it top to bottom half-way between two samples.
    EXPECT_EQ(img.pixel(0, kLowerTop + 10), kGreen);
    EXPECT_GE(Count(img, kGreen, QRect(95, kLowerTop + 1, 2, 199)), 199);
    scope.SetOverlayFlags(1, 0);
    EXPECT_GT(Count(scope.Render(), kWhite, QRect(0, kLowerTop, kWidth, 200)), 200);
    SetMagnification(scope, 0);
    img = scope.Render();
    EXPECT_EQ(Count(img, kGreen, QRect(0, kLowerTop + 1, 1, 199)), 199);
}

}  // namespace

#include <gtest/gtest.h>

#include "tests/views/ViewTestSupport.h"
#include "views/ChildView.h"
#include "views/FilteredWav.h"

using namespace viewtest;

namespace {

constexpr int kW = 816;
constexpr int kH = 369;

class ChildViewTest : public ::testing::Test, protected StripData {
protected:
    ChildViewTest() { m_view.resize(m_view.sizeHint()); }

    CChildView m_view;
};

TEST_F(ChildViewTest, IntroLastsUntilALeftClickShowsCaptionsAndStrips) {
    const QImage intro = m_view.Render();
    ASSERT_EQ(intro.size(), QSize(kW, kH));
    EXPECT_GT(kW * kH - Count(intro, kLightGray, intro.rect()), kW * kH / 2) << "the pictures";
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100, Qt::RightButton);
    EXPECT_TRUE(m_view.Intro() && m_view.RawStrip()->isHidden());
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100);
    EXPECT_FALSE(m_view.Intro());
    // Both strips' grids, inside their borders, inside the view's border.
    const QImage shown = m_view.grab().toImage();
    for (int y : {1 + 32 + 65, 1 + 200 + 65}) {
        EXPECT_EQ(Count(shown, kGray, QRect(12, y, 800, 1)), 800) << "centre line";
        EXPECT_EQ(std::vector({shown.pixel(0, y), shown.pixel(11, y), shown.pixel(812, y),
                               shown.pixel(813, y)}),
                  std::vector({kBlack, kBlack, kBlack, kLightGray}));
    }
    m_view.RawStrip()->hide();
    Mouse(m_view, QEvent::MouseButtonPress, 100, 100);
    m_view.LeaveIntro();
    EXPECT_TRUE(m_view.RawStrip()->isHidden()) << "leaving again does nothing";
    m_view.RawStrip()->show();

    // The working face: two captions, and the strips redrawn with the view.
    const QImage image = m_view.Render();
    int light = Count(image, kLightGray, image.rect());
    for (const QRect& box : {QRect(12, 4, 300, 28), QRect(12, 170, 300, 28)}) {
        const int inBox = Count(image, kLightGray, box);
        EXPECT_GT(300 * 28 - inBox, 400) << "caption text";
        EXPECT_GT(Count(image, kBlack, box), 20);
        light -= inBox;
    }
    EXPECT_EQ(light, kW * kH - 2 * 300 * 28) << "all else light gray";

    raw.fill(250.0);
    m_view.AppendBuffer(Buffer(0, 0));
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kGreen);
    m_view.RestartStrips();  // a new start: nothing to draw until its first buffer
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kGreen);
    m_view.InvalidateWithErase();
    EXPECT_EQ(m_view.grab().toImage().pixel(12, 34), kBlack);
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <atomic>
#include <memory>

#include "dsp/Pipeline.h"
#include "views/ChildView.h"
#include "views/FilteredWav.h"

namespace {

constexpr QRgb kLightGray = 0xc0c0c0;
constexpr QRgb kGray = 0x808080;
constexpr QRgb kGreen = 0x00ff00;
constexpr QRgb kBlack = 0x000000;
constexpr int kClientW = 816;
constexpr int kClientH = 369;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

QImage RenderSvg(const char* path, QSize size) {
    QSvgRenderer renderer(QString::fromLatin1(path));
    EXPECT_EQ(renderer.defaultSize(), size) << path;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

// Pixels of `part` that differ from `whole` with `part` placed at `at`.
int Differences(const QImage& whole, const QImage& part, QPoint at) {
    int differ = 0;
    for (int y = 0; y < part.height() && at.y() + y < whole.height(); ++y) {
        for (int x = 0; x < part.width() && at.x() + x < whole.width(); ++x) {
            differ += At(whole, at.x() + x, at.y() + y) != At(part, x, y) ? 1 : 0;
        }
    }
    return differ;
}

// Pixels inside r whose colour satisfies `pick`.
template <typename Pick>
int Count(const QImage& image, const QRect& r, Pick pick) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            n += pick(At(image, x, y)) ? 1 : 0;
        }
    }
    return n;
}

void Click(QWidget& widget, Qt::MouseButton button) {
    const QPointF at(100, 100);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

class ChildViewTest : public ::testing::Test {
protected:
    ChildViewTest() {
        m_source = {m_pipeline.get(), &m_inIndex, &m_inWrapped, &m_inCount};
        m_view = std::make_unique<CChildView>(m_source);
        m_view->resize(m_view->sizeHint());
    }

    std::unique_ptr<velto::CPipeline> m_pipeline = std::make_unique<velto::CPipeline>();
    std::atomic<int> m_inIndex{0};
    std::atomic<int> m_inWrapped{0};
    std::atomic<int> m_inCount{0};
    CStripSource m_source;
    std::unique_ptr<CChildView> m_view;
};

TEST_F(ChildViewTest, IntroShowsTheThreeImagesAndHidesTheStrips) {
    EXPECT_EQ(m_view->m_bIntro, 1);
    EXPECT_TRUE(m_view->m_wndRawStrip->isHidden());
    EXPECT_TRUE(m_view->m_wndCorrectedStrip->isHidden());

    const QImage image = m_view->Render();
    ASSERT_EQ(image.size(), QSize(kClientW, kClientH));
    const QImage panel = RenderSvg(":/intro/panel.svg", QSize(416, 376));
    const QImage equipment = RenderSvg(":/intro/equipment.svg", QSize(432, 324));
    const QImage logo = RenderSvg(":/intro/logo.svg", QSize(432, 53));
    // The picture touches the right edge and covers the panel's right part;
    // the logo strip sits under it, left edges aligned.
    EXPECT_EQ(Differences(image, panel.copy(0, 0, 384, 376), QPoint(0, 0)), 0);
    EXPECT_EQ(Differences(image, equipment, QPoint(384, 0)), 0);
    EXPECT_EQ(Differences(image, logo, QPoint(384, 324)), 0);
    // The window shows the same client area inside a border, and no strip.
    const QImage shown = m_view->grab().toImage();
    EXPECT_EQ(Differences(shown, image, QPoint(1, 1)), 0);
    EXPECT_EQ(At(shown, 0, 0), kBlack);

    // Light backgrounds; the panel's text keeps clear of the part the picture covers.
    const QColor sky = panel.pixelColor(2, 2);
    EXPECT_GT(sky.blue(), sky.red() + 20);
    EXPECT_GT(sky.lightness(), 180);
    EXPECT_GT(logo.pixelColor(2, 2).lightness(), 200);
    EXPECT_EQ(Count(panel, QRect(384, 0, 32, 376), [](QRgb p) { return qGray(p) < 96; }), 0);
}

TEST_F(ChildViewTest, LeftClickLeavesTheIntroOnce) {
    Click(*m_view, Qt::RightButton);
    EXPECT_EQ(m_view->m_bIntro, 1);
    EXPECT_TRUE(m_view->m_wndRawStrip->isHidden());

    Click(*m_view, Qt::LeftButton);
    EXPECT_EQ(m_view->m_bIntro, 0);
    EXPECT_FALSE(m_view->m_wndRawStrip->isHidden());
    EXPECT_FALSE(m_view->m_wndCorrectedStrip->isHidden());

    m_view->m_wndRawStrip->hide();
    Click(*m_view, Qt::LeftButton);
    m_view->LeaveIntro();
    EXPECT_EQ(m_view->m_bIntro, 0);
    EXPECT_TRUE(m_view->m_wndRawStrip->isHidden()) << "leaving again does nothing";
}

TEST_F(ChildViewTest, WorkingFaceDrawsBlackCaptionsOnLightGray) {
    m_view->LeaveIntro();
    const QImage image = m_view->Render();
    const QRect captions[] = {QRect(12, 4, 300, 28), QRect(12, 170, 300, 28)};
    for (const QRect& box : captions) {
        EXPECT_GT(Count(image, box, [](QRgb p) { return qGray(p) < 96; }), 400);
        EXPECT_GT(Count(image, box, [](QRgb p) { return p == kBlack; }), 20);
    }
    int other = 0;
    for (int y = 0; y < kClientH; ++y) {
        for (int x = 0; x < kClientW; ++x) {
            const bool inCaption = captions[0].contains(x, y) || captions[1].contains(x, y);
            other += !inCaption && At(image, x, y) != kLightGray ? 1 : 0;
        }
    }
    EXPECT_EQ(other, 0);
}

TEST_F(ChildViewTest, StripsSitAtTheirPlacesAndRedrawWithTheView) {
    m_view->LeaveIntro();
    QImage shown = m_view->grab().toImage();
    // Client (10, 32) is the strip's border, its client area starts at (11, 33);
    // the view's own border adds one pixel to every position in the window.
    for (int top : {32, 200}) {
        EXPECT_EQ(At(shown, 1 + 9, 1 + top - 1), kLightGray);
        EXPECT_EQ(At(shown, 1 + 10, 1 + top), kBlack);
        EXPECT_EQ(At(shown, 1 + 11, 1 + top + 1 + 64), kGray) << "centre line";
        EXPECT_EQ(At(shown, 1 + 810, 1 + top + 1 + 64), kGray);
        EXPECT_EQ(At(shown, 1 + 811, 1 + top + 1 + 64), kBlack);
        EXPECT_EQ(At(shown, 1 + 812, 1 + top + 1 + 64), kLightGray);
    }

    m_inIndex = 1;
    m_inCount = 1;
    m_pipeline->m_rawRow.fill(250.0);
    m_view->m_wndRawStrip->AppendBuffer(0);
    EXPECT_EQ(At(m_view->grab().toImage(), 12, 34), kGreen);
    m_inCount = 0;  // a new start: the ring is empty again
    EXPECT_EQ(At(m_view->grab().toImage(), 12, 34), kGreen);
    m_view->InvalidateWithErase();
    EXPECT_EQ(At(m_view->grab().toImage(), 12, 34), kBlack);
}

}  // namespace

#include <QAction>
#include <QMenu>

#include "tests/app/FrameTestSupport.h"
#include "views/ChildView.h"
#include "views/FilteredWav.h"

using velto::FakeCall;

TEST_F(FrameTest, SpaceStartsAndStopsReceptionAndTheMonitorWithIt) {
    CMainFrame& f = *m_frame;
    EXPECT_EQ(f.View()->m_bIntro, 1);
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(f.m_bReceiving, 1);
    EXPECT_TRUE(f.m_wave.IsCaptureOpen());
    EXPECT_EQ(f.m_pipeline.m_sliceLevel, velto::kSliceLevelUnset);
    EXPECT_EQ(f.View()->m_bIntro, 0);
    EXPECT_FALSE(f.View()->m_wndRawStrip->isHidden());
    EXPECT_FALSE(f.View()->m_wndCorrectedStrip->isHidden());

    Cycle(2);  // the second buffer starts the monitor
    EXPECT_EQ(f.m_bMonitor, 1);
    EXPECT_TRUE(f.m_wave.IsPlaybackOpen());

    f.SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(f.m_bReceiving, 0);
    EXPECT_EQ(f.m_bMonitor, 0);
    EXPECT_FALSE(f.m_wave.IsCaptureOpen());
    EXPECT_FALSE(f.m_wave.IsPlaybackOpen());
    EXPECT_TRUE(m_warnings.m_shown.empty());
}

TEST_F(FrameTest, FailedStartLeavesEverythingAsItWas) {
    m_service.SetResult(FakeCall::InOpen, 1);
    CMainFrame& f = *m_frame;
    f.m_pipeline.m_sliceLevel = 123.0;
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(f.m_bReceiving, 0);
    EXPECT_EQ(f.m_bMonitor, 0);
    EXPECT_EQ(f.m_pipeline.m_sliceLevel, 123.0);
    EXPECT_EQ(f.View()->m_bIntro, 1);
    EXPECT_TRUE(f.View()->m_wndRawStrip->isHidden());
    ASSERT_EQ(m_warnings.m_shown.size(), 1u);
    EXPECT_EQ(m_warnings.m_shown[0].first, "録音デバイスがオープンできません。");
    EXPECT_EQ(m_warnings.m_shown[0].second, "Orvik");
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_EQ(f.CommandAction(ID_RECEIVE_START)->text(), QStringLiteral("開始"));
}

TEST_F(FrameTest, MenuReadsStopAndDisablesTheSoundCardWhileReceiving) {
    CMainFrame& f = *m_frame;
    QAction* start = f.CommandAction(ID_RECEIVE_START);
    QAction* card = f.CommandAction(ID_SOUNDCARD);
    EXPECT_EQ(start->text(), QStringLiteral("開始(&S)"));
    EXPECT_EQ(card->text(), QStringLiteral("サウンドカードの設定(&C)..."));
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_EQ(start->text(), QStringLiteral("開始"));
    EXPECT_TRUE(card->isEnabled());

    f.SendCommand(ID_RECEIVE_START);
    Cycle(3);
    const int index = f.m_displayIndex;
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_EQ(start->text(), QStringLiteral("停止"));
    EXPECT_FALSE(card->isEnabled());
    // Opening the menu leaves the strips' position alone.
    EXPECT_EQ(f.m_displayIndex, index);

    f.SendCommand(ID_RECEIVE_START);
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_EQ(start->text(), QStringLiteral("開始"));
    EXPECT_TRUE(card->isEnabled());
}

TEST_F(FrameTest, CloseStopsPlaybackThenCaptureThenTheWindow) {
    CMainFrame& f = *m_frame;
    f.show();
    f.SendCommand(ID_RECEIVE_START);
    Cycle(2);
    ASSERT_EQ(f.m_bMonitor, 1);

    f.close();
    EXPECT_FALSE(f.m_wave.IsPlaybackOpen());
    EXPECT_TRUE(f.m_wave.IsCaptureOpen());
    EXPECT_TRUE(f.isVisible());
    RunPosted();  // second close
    EXPECT_FALSE(f.m_wave.IsCaptureOpen());
    EXPECT_EQ(f.m_bReceiving, 0);
    EXPECT_TRUE(f.isVisible());
    RunPosted();  // third close
    EXPECT_FALSE(f.isVisible());
}

TEST_F(FrameTest, MonitorCommandTogglesThePlaybackAndCountsAFailedOpen) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_MONITOR);
    EXPECT_EQ(f.m_bMonitor, 1);
    EXPECT_TRUE(f.m_wave.IsPlaybackOpen());
    f.SendCommand(ID_MONITOR);
    EXPECT_EQ(f.m_bMonitor, 0);
    EXPECT_FALSE(f.m_wave.IsPlaybackOpen());

    m_service.SetResult(FakeCall::OutOpen, 1);
    f.SendCommand(ID_MONITOR);
    EXPECT_EQ(f.m_bMonitor, 1);
    ASSERT_EQ(m_warnings.m_shown.size(), 1u);
    EXPECT_EQ(m_warnings.m_shown[0].first, "再生デバイスがオープンできません。");
    EXPECT_EQ(m_warnings.m_shown[0].second, "Velto");
}

TEST_F(FrameTest, MonitorSwitchedOnBeforeTheStartIsNotOpenedTwice) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_MONITOR);
    f.SendCommand(ID_RECEIVE_START);
    Cycle(3);
    EXPECT_EQ(Count(FakeCall::OutOpen), 1);
    EXPECT_EQ(f.m_bMonitor, 1);
}

TEST_F(FrameTest, ClickLeavesTheIntroAndStartStopNeverBringsItBack) {
    CMainFrame& f = *m_frame;
    f.SendCommand(ID_RECEIVE_START);
    f.SendCommand(ID_RECEIVE_START);
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_EQ(f.View()->m_bIntro, 0);
    EXPECT_FALSE(f.View()->m_wndRawStrip->isHidden());
}

TEST_F(FrameTest, WindowHasItsFixedSize) {
    CMainFrame& f = *m_frame;
    f.show();
    EXPECT_EQ(f.View()->width(), 818);
    EXPECT_EQ(f.View()->height(), 371);
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Velto"));
}

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSettings>

#include "app/ClockFeedDlg.h"
#include "app/CommandIds.h"
#include "app/StatusBar.h"
#include "tests/app/FrameFixture.h"

namespace {

using ClockFeedDlg = CFrameFixture;

// The window feeds no clock until the user says so. A path no socket can have
// is refused and Cancel stores nothing; OK stores the choice and the frame
// then feeds chronyd with the latency given, until it is turned off.
TEST_F(ClockFeedDlg, OffByDefaultOnAndOffByTheDialog) {
    ASSERT_NE(m_frame->CommandAction(ID_CLOCKFEED), nullptr);
    EXPECT_EQ(m_frame->CommandAction(ID_CLOCKFEED)->text(),
              QStringLiteral("時計合わせの設定(&K)..."));
    EXPECT_EQ(m_frame->ClockFeed(), nullptr);

    CClockFeedDlg dlg;
    EXPECT_FALSE(dlg.Enabled()->isChecked());
    EXPECT_EQ(dlg.Socket()->text(), QStringLiteral("/run/chrony.jjy.sock"));
    EXPECT_EQ(dlg.Latency()->value(), 0.0);
    dlg.Enabled()->setChecked(true);
    for (const QString& bad : {QString(120, QLatin1Char('x')), QString()}) {
        dlg.Socket()->setText(bad);
        dlg.accept();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.Problem(), QStringLiteral("chronyd のソケットのパスが空か、長すぎます。"));
    }
    dlg.reject();
    EXPECT_FALSE(QSettings().contains(QStringLiteral("ClockFeed/Enabled")));

    CClockFeedDlg on;
    on.Enabled()->setChecked(true);
    on.Socket()->setText(QStringLiteral(" /tmp/jjy.sock "));
    on.Latency()->setValue(12.5);
    on.accept();
    EXPECT_EQ(on.result(), QDialog::Accepted);
    m_frame->ApplyClockFeed();
    ASSERT_NE(m_frame->ClockFeed(), nullptr);
    EXPECT_DOUBLE_EQ(m_frame->ClockFeed()->LatencyMs(), 12.5);
    // No chronyd listens at /tmp/jjy.sock: the status bar says so from the
    // start, not only once a time has been received.
    EXPECT_EQ(m_frame->StatusBar()->ClockFeedText(), QStringLiteral("時計合わせ: 送れません"));
    EXPECT_TRUE(m_frame->StatusBar()->MessageText().startsWith(
        QStringLiteral("時計合わせ: no chronyd listens at /tmp/jjy.sock")))
        << m_frame->StatusBar()->MessageText().toStdString();

    // A new frame starts as the profile says.
    m_frame = std::make_unique<CMainFrame>();
    ASSERT_NE(m_frame->ClockFeed(), nullptr);
    CClockFeedDlg again;
    EXPECT_TRUE(again.Enabled()->isChecked());
    EXPECT_EQ(again.Socket()->text(), QStringLiteral("/tmp/jjy.sock"));
    EXPECT_EQ(again.Latency()->value(), 12.5);
    again.Enabled()->setChecked(false);
    again.accept();
    m_frame->ApplyClockFeed();
    EXPECT_EQ(m_frame->ClockFeed(), nullptr);
    EXPECT_FALSE(m_frame->StatusBar()->ShowsWarning());
}

}  // namespace

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/SystemTime.h"
#include "log/ReceptionLogFormat.h"
#include "logfeed/ReceptionLogSettings.h"
#include "plot/SpectrumPlot.h"
#include "simulator/JjySignal.h"
#include "tests/app/FrameFixture.h"
#include "tests/plot/PlotTestSupport.h"
#include "views/SpectrumWnd.h"
#include "views/TimeCodeWnd.h"

namespace {

using velto::kBufferSamples;

class SpectrumAndLogTest : public CFrameFixture {
protected:
    SpectrumAndLogTest() : m_signal(velto::SystemTime::Now().sec, Options()) {}

    static velto::JjySignalOptions Options() {
        velto::JjySignalOptions o;
        o.carrierAmplitude = 3000.0;
        o.cn0DbHz = 45.0;
        return o;
    }
    // Cycles on `n` buffers of the simulated signal.
    void Signal(int n) {
        std::vector<std::int16_t> buffer(kBufferSamples);
        for (int k = 0; k < n; ++k) {
            m_signal.Generate(buffer.data(), buffer.size());
            std::thread([&] { ASSERT_TRUE(m_service.CompleteBuffer(buffer.data())); }).join();
            Deliver();
        }
    }

    velto::CJjySignal m_signal;
};

TEST_F(SpectrumAndLogTest, TheMenuItemShowsTheSpectrumWhichIsFedOnlyWhileShown) {
    CMainFrame& f = *m_frame;
    QAction* item = f.CommandAction(ID_SPECTRUM);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("スペクトル(&P)"));
    const QList<QAction*> menu = f.ReceiveMenu()->actions();
    EXPECT_EQ(menu.indexOf(item), menu.indexOf(f.CommandAction(ID_TIMECODE)) + 1);
    ASSERT_NE(f.Analyser(), nullptr);
    const velto::CSpectrumAnalyser& a = *f.Analyser();

    Space();
    Signal(20);
    EXPECT_TRUE(f.Spectrum()->isHidden());
    EXPECT_EQ(a.Band().Frames(), 0) << "closed, nothing runs";

    f.SendCommand(ID_SPECTRUM);
    ASSERT_TRUE(f.Spectrum()->isVisible());
    Signal(250);
    // What the window draws from is what was received: the carrier warm, 250 Hz beside it cold.
    const QImage image = f.Spectrum()->Render();
    const QRect wide = CSpectrumWnd::WideRect();
    const auto wx = spectrumplot::WaterfallOffsets(a.Wide(), wide);
    EXPECT_TRUE(
        plottest::Warm(image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + 2)));
    EXPECT_TRUE(
        plottest::Cold(image.pixelColor(static_cast<int>(wx.ToPixel(-250.0)), wide.top() + 2)));
    EXPECT_GE(a.Wide().Lines(), 24);

    f.Spectrum()->close();
    EXPECT_TRUE(f.Spectrum()->isHidden());
    const std::int64_t frames = a.Band().Frames();
    Signal(20);
    EXPECT_EQ(a.Band().Frames(), frames);
    // Shown again, it starts afresh: what it missed would join the waterfall
    // to seconds that do not follow on.
    f.SendCommand(ID_SPECTRUM);
    Signal(10);
    EXPECT_LT(a.Band().Frames(), 20);
    EXPECT_EQ(a.Wide().Lines(), 1);
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The window keeps the log in $XDG_DATA_HOME/Velto/log while it receives: a
// stop writes the minute under way, a restart appends to it.
TEST_F(SpectrumAndLogTest, LiveReceptionIsLoggedAndARestartAppends) {
    // A data directory of this test's own, for a frame made anew.
    QTemporaryDir data;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    m_frame = std::make_unique<CMainFrame>();
    CMainFrame& f = *m_frame;
    ASSERT_NE(f.LogFeed(), nullptr);
    const std::filesystem::path dir = velto::ReceptionLogSettings::WindowDirectory();
    EXPECT_EQ(f.LogFeed()->Directory(), dir);
    EXPECT_FALSE(f.TimeCode()->SpanButton(receptionchart::Span::Week)->isHidden());

    const std::int64_t start = velto::SystemTime::Now().sec;
    Space();
    Signal(5);
    Space();
    const std::int64_t stop = velto::SystemTime::Now().sec;
    const std::filesystem::path file =
        dir / velto::receptionlog::FileName(velto::receptionlog::DayOf(stop));
    const std::string first = Slurp(file);
    std::istringstream lines(first);
    std::string last;
    for (std::string l; std::getline(lines, l);) last = l;
    const auto record = velto::receptionlog::ParseLine(last);
    ASSERT_TRUE(record) << first;
    EXPECT_TRUE(record->minuteUtc == start / 60 * 60 || record->minuteUtc == stop / 60 * 60)
        << last;
    EXPECT_EQ(record->state, velto::ReceptionState::NoSignal);
    EXPECT_FALSE(record->decoded);

    Space();
    Signal(5);
    Space();
    EXPECT_TRUE(Slurp(file).starts_with(first));

    // A profile that keeps no log: none is written, and the chart has only its hour.
    m_frame.reset();
    QSettings().setValue(QStringLiteral("ReceptionLog/Enabled"), false);
    m_frame = std::make_unique<CMainFrame>();
    EXPECT_EQ(m_frame->LogFeed(), nullptr);
    EXPECT_TRUE(m_frame->TimeCode()->SpanButton(receptionchart::Span::Week)->isHidden());
    qputenv("XDG_DATA_HOME", before);
}

}  // namespace

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/StatusBar.h"
#include "audio/SoundFileReader.h"
#include "audio/WavFileWriter.h"
#include "base/SystemTime.h"
#include "log/ReceptionLogFormat.h"
#include "logfeed/ReceptionLogSettings.h"
#include "plot/SpectrumPlot.h"
#include "receiver/StationChoice.h"
#include "simulator/StationSignal.h"
#include "tests/app/FrameFixture.h"
#include "tests/support/Files.h"
#include "tests/support/Pixels.h"
#include "tests/support/SoundFiles.h"
#include "views/ChildView.h"
#include "views/SpectrumWnd.h"
#include "views/TimeCodeWnd.h"

namespace {

using velto::kBufferSamples;

// The file dialogs and message boxes are answered by the test.
class RecordReplayTest : public CFrameFixture {
protected:
    RecordReplayTest() {
        m_frame->SetOpenFileChooser([this] { return m_answer; });
        m_frame->SetRecordFileChooser([this] { return m_answer; });
        m_frame->SetMessageSink([this](const QString& text) { m_messages << text; });
        m_frame->SetConfirmer([this](const QString& question) {
            m_questions << question;
            return m_yes;
        });
    }
    void Messages() { QCoreApplication::sendPostedEvents(m_frame.get(), QEvent::MetaCall); }
    // The event loop until the replay ends, at most 10 s after `clock` started.
    void UntilTheEnd(const QElapsedTimer& clock) {
        while (m_frame->Receiver().Receiving() && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        Messages();
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    static std::vector<std::int16_t> ReadAll(const QString& path) {
        return support::ReadSound(path.toStdString());
    }

    QTemporaryDir m_dir;
    QString m_answer;
    QStringList m_messages;
    QStringList m_questions;
    bool m_yes = false;
};

// An existing file is overwritten only after the user agrees.
TEST_F(RecordReplayTest, RecordingWritesTheCapturedBuffersUntilUncheckedOrStopped) {
    CMainFrame& f = *m_frame;
    QAction* record = f.CommandAction(ID_RECORD);
    m_answer.clear();  // cancelled
    f.SendCommand(ID_RECORD);
    EXPECT_FALSE(record->isChecked());

    m_answer = Path("a.wav");
    f.SendCommand(ID_RECORD);
    EXPECT_TRUE(record->isChecked());
    f.SendCommand(ID_RECEIVE_START);
    for (std::int16_t v = 1; v <= 3; ++v) Cycle(1, v);
    f.SendCommand(ID_RECORD);  // unchecked: the file is finished
    EXPECT_FALSE(record->isChecked());
    Cycle(1, 4);
    std::vector<std::int16_t> expected;
    for (std::int16_t v = 1; v <= 3; ++v) expected.insert(expected.end(), kBufferSamples, v);
    EXPECT_EQ(ReadAll(Path("a.wav")), expected);
    velto::CSoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(Path("a.wav").toStdString(), &error)) << error;
    EXPECT_EQ(reader.Station(), "jjy40");  // what a replay will receive

    const std::vector<std::int16_t> kept(kBufferSamples, 9);
    ASSERT_TRUE(support::WriteSound(Path("old.wav").toStdString(), kept));
    m_answer = Path("old.wav");
    f.SendCommand(ID_RECORD);
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions[0].contains(QStringLiteral("上書きしますか")))
        << m_questions[0].toStdString();
    EXPECT_FALSE(f.Receiver().IsRecording());
    EXPECT_EQ(ReadAll(Path("old.wav")), kept);
    m_yes = true;
    f.SendCommand(ID_RECORD);
    Cycle(1, 5);
    f.SendCommand(ID_RECEIVE_START);  // a stop of reception ends the recording too
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(ReadAll(Path("old.wav")), std::vector<std::int16_t>(kBufferSamples, 5));
    EXPECT_TRUE(m_messages.isEmpty());

    m_answer = Path("no/such/dir/c.wav");
    f.SendCommand(ID_RECORD);
    EXPECT_FALSE(record->isChecked());
    Messages();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("録音を開始できません。")));
}

// A replay is paced in real time and ends as 停止 would.
TEST_F(RecordReplayTest, AnOpenedRecordingIsReplayedInRealTimeAndEndsLikeAStop) {
    CMainFrame& f = *m_frame;
    // A ramp, so that order and position show.
    std::vector<std::int16_t> ramp(3 * kBufferSamples + 100);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i % 30000);
    ASSERT_TRUE(support::WriteSound(Path("short.wav").toStdString(), ramp));
    m_answer = Path("short.wav");
    struct : velto::IReceiverObserver {
        void OnInput(std::int64_t, const std::int16_t* s, std::size_t n) override {
            samples.insert(samples.end(), s, s + n);
        }
        std::vector<std::int16_t> samples;
    } input;
    f.Receiver().AddObserver(&input);
    QElapsedTimer clock;
    clock.start();
    f.SendCommand(ID_FILE_OPEN);
    ASSERT_TRUE(f.Receiver().Receiving());
    EXPECT_FALSE(f.View()->Intro());
    f.SendCommand(ID_FILE_OPEN);  // refused while receiving
    m_yes = true;
    f.SendCommand(ID_RECORD);  // the input itself, refused without a question
    EXPECT_FALSE(f.Receiver().IsRecording());
    EXPECT_TRUE(m_questions.isEmpty());
    UntilTheEnd(clock);
    EXPECT_GE(clock.elapsed(), 280);  // paced: 100 ms a buffer
    f.Receiver().RemoveObserver(&input);
    EXPECT_EQ(ReadAll(Path("short.wav")), ramp);
    ramp.resize(3 * kBufferSamples);
    input.samples.resize(std::min(input.samples.size(), ramp.size()));
    EXPECT_EQ(input.samples, ramp);
    EXPECT_EQ(Flags(), "0000");
    EXPECT_EQ(f.StatusBar()->ReceptionText(), QStringLiteral("停止"));
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("is the input itself")));
    EXPECT_EQ(m_messages[1], QStringLiteral("ファイルの終わりまで再生しました。\nshort.wav"));
    // Start opens the sound card again, as after any stop.
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_TRUE(f.Receiver().Receiving());
    f.SendCommand(ID_RECEIVE_START);

    std::ofstream(Path("text.wav").toStdString()) << "not a recording\n";
    m_answer = Path("text.wav");
    f.SendCommand(ID_FILE_OPEN);
    EXPECT_FALSE(f.Receiver().Receiving());
    Messages();
    ASSERT_EQ(m_messages.size(), 3);
    EXPECT_TRUE(m_messages[2].startsWith(QStringLiteral("このファイルは再生できません。")));
}

// --station for the run comes before the station a recording names.
TEST_F(RecordReplayTest, ARecordingIsReplayedAsTheStationItNames) {
    CMainFrame& f = *m_frame;
    std::string error;
    m_answer = Path("dcf77.wav");
    auto writer =
        velto::CWavFileWriter::Create({m_answer.toStdString(), false, {}, 192000, "dcf77"}, &error);
    ASSERT_TRUE(writer) << error;
    const std::vector<std::int16_t> second(192000);
    ASSERT_TRUE(writer->Write(second.data(), second.size(), &error)) << error;
    writer->Close();
    ASSERT_EQ(f.Receiver().ReceivedStation().name, "jjy40");
    f.SendCommand(ID_FILE_OPEN);
    ASSERT_TRUE(f.Receiver().Receiving());
    EXPECT_EQ(f.Receiver().ReceivedStation().name, "dcf77");
    EXPECT_EQ(f.Receiver().Format().rate, 192000);
    f.SendCommand(ID_RECEIVE_START);

    // One naming no station, whose carrier never showed, says where to choose another.
    const QString band = Path("band.wav");
    ASSERT_TRUE(support::WriteSound(band.toStdString(), std::vector<double>(6 * kBufferSamples),
                                    SF_FORMAT_WAV | SF_FORMAT_PCM_16, 192000));
    const auto replay = [&] {
        m_answer = band;
        QElapsedTimer clock;
        clock.start();
        f.SendCommand(ID_FILE_OPEN);
        UntilTheEnd(clock);
        return m_messages.isEmpty() ? QString() : m_messages.takeLast();
    };
    EXPECT_EQ(replay(), QStringLiteral("ファイルの終わりまで再生しました。\nband.wav\n\n"
                                       "このファイルに JJY 40 kHz の信号は見つかりませんでした。"
                                       "ほかの局を受信するには、「サウンドカードの設定」で局を"
                                       "選んでから開き直してください。"));

    f.SetStationOverride(*velto::ChooseStation("jjy60", std::nullopt, &error));
    EXPECT_EQ(replay(), QStringLiteral("ファイルの終わりまで再生しました。\nband.wav"));
    m_answer = Path("dcf77.wav");
    f.SendCommand(ID_FILE_OPEN);
    ASSERT_TRUE(f.Receiver().Receiving());
    EXPECT_EQ(f.Receiver().ReceivedStation().name, "jjy60");
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('|').toStdString();
}

class SpectrumAndLogTest : public CFrameFixture {
protected:
    SpectrumAndLogTest()
        : m_signal(velto::SystemTime::Now().sec, {.carrierAmplitude = 3000.0, .cn0DbHz = 45.0}) {}
    void Signal(int n) {
        std::vector<std::int16_t> buffer(kBufferSamples);
        for (int k = 0; k < n; ++k) {
            m_signal.Generate(buffer.data(), buffer.size());
            ASSERT_TRUE(m_service.CompleteOnDriver(buffer.data()));
            Deliver();
        }
    }

    velto::CStationSignal m_signal;
};

TEST_F(SpectrumAndLogTest, TheMenuItemShowsTheSpectrumWhichIsFedOnlyWhileShown) {
    CMainFrame& f = *m_frame;
    ASSERT_NE(f.Analyser(), nullptr);
    const velto::CSpectrumAnalyser& a = *f.Analyser();

    Space();
    Signal(20);
    EXPECT_TRUE(f.Spectrum()->isHidden());
    EXPECT_EQ(a.Band().Frames(), 0) << "closed, nothing runs";

    f.SendCommand(ID_SPECTRUM);
    ASSERT_TRUE(f.Spectrum()->isVisible());
    Signal(250);
    // The carrier warm down the window's wide waterfall.
    const QRect wide = CSpectrumWnd::WideRect();
    const double carrier = spectrumplot::WaterfallOffsets(a.Wide(), wide).ToPixel(0.0);
    EXPECT_TRUE(
        pixels::Warm(f.Spectrum()->Render().pixelColor(static_cast<int>(carrier), wide.top() + 2)));
    EXPECT_GE(a.Wide().Lines(), 24);

    f.Spectrum()->close();
    EXPECT_TRUE(f.Spectrum()->isHidden());
    const std::int64_t frames = a.Band().Frames();
    Signal(20);
    EXPECT_EQ(a.Band().Frames(), frames);
    // Shown again, it starts afresh: seconds that do not follow on must not join.
    f.SendCommand(ID_SPECTRUM);
    Signal(10);
    EXPECT_LT(a.Band().Frames(), 20);
    EXPECT_EQ(a.Wide().Lines(), 1);
}

// A stop writes the minute under way, a restart appends to it.
TEST_F(SpectrumAndLogTest, LiveReceptionIsLoggedAndARestartAppends) {
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
    const std::string first = support::Slurp(file);
    const std::string last = support::Lines("\n" + first).back();  // never empty
    const auto record = velto::receptionlog::ParseLine(last);
    ASSERT_TRUE(record) << first;
    EXPECT_TRUE(record->minuteUtc == start / 60 * 60 || record->minuteUtc == stop / 60 * 60)
        << last;
    EXPECT_EQ(record->state, velto::ReceptionState::NoSignal);
    EXPECT_FALSE(record->decoded);

    Space();
    Signal(5);
    Space();
    EXPECT_TRUE(support::Slurp(file).starts_with(first));

    // A profile that keeps no log: none is written, and the chart has only its hour.
    m_frame.reset();
    QSettings().setValue(QStringLiteral("ReceptionLog/Enabled"), false);
    m_frame = std::make_unique<CMainFrame>();
    EXPECT_EQ(m_frame->LogFeed(), nullptr);
    EXPECT_TRUE(m_frame->TimeCode()->SpanButton(receptionchart::Span::Week)->isHidden());
    qputenv("XDG_DATA_HOME", before);
}

}  // namespace

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <vector>

#include "app/CommandIds.h"
#include "audio/SoundFileReader.h"
#include "audio/WavFileWriter.h"
#include "tests/app/FrameFixture.h"
#include "views/ChildView.h"

namespace {

using velto::kBufferSamples;

// The receive menu's recording and replay commands, with the file dialogs
// and message boxes answered by the test.
class RecordReplayTest : public CFrameFixture {
protected:
    RecordReplayTest() {
        m_frame->SetOpenFileChooser([this] { return m_answer; });
        m_frame->SetRecordFileChooser([this] { return m_answer; });
        m_frame->SetMessageSink([this](const QString& text) { m_messages << text; });
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    std::vector<std::int16_t> ReadAll(const QString& path) {
        velto::CSoundFileReader reader;
        std::string error;
        EXPECT_TRUE(reader.Open(path.toStdString(), &error)) << error;
        std::vector<std::int16_t> all(kBufferSamples);
        std::vector<std::int16_t> samples;
        for (std::size_t n; (n = reader.Read(all.data(), all.size())) > 0;) {
            samples.insert(samples.end(), all.begin(), all.begin() + static_cast<long>(n));
        }
        return samples;
    }

    QTemporaryDir m_dir;
    QString m_answer;
    QStringList m_messages;
};

TEST_F(RecordReplayTest, RecordingWritesTheCapturedBuffersUntilUncheckedOrStopped) {
    CMainFrame& f = *m_frame;
    QAction* record = f.CommandAction(ID_RECORD);
    ASSERT_TRUE(record->isCheckable());
    EXPECT_EQ(record->text(), QStringLiteral("録音(&R)..."));
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

    m_answer = Path("b.wav");
    f.SendCommand(ID_RECORD);
    Cycle(1, 5);
    f.SendCommand(ID_RECEIVE_START);  // a stop of reception ends the recording too
    f.UpdateMenu(f.ReceiveMenu());
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(ReadAll(Path("b.wav")), std::vector<std::int16_t>(kBufferSamples, 5));
    EXPECT_TRUE(m_messages.isEmpty());

    m_answer = Path("no/such/dir/c.wav");
    f.SendCommand(ID_RECORD);
    EXPECT_FALSE(record->isChecked());
    QCoreApplication::sendPostedEvents(&f, QEvent::MetaCall);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("録音を開始できません。")));
}

TEST_F(RecordReplayTest, AnOpenedRecordingBecomesTheCaptureDeviceInRealTime) {
    CMainFrame& f = *m_frame;
    EXPECT_EQ(f.CommandAction(ID_FILE_OPEN)->text(), QStringLiteral("ファイルを開く(&O)..."));
    // Three buffers of a ramp, so that order and position show.
    std::vector<std::int16_t> ramp(3 * kBufferSamples);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i % 30000);
    {
        std::string error;
        auto writer = velto::CWavFileWriter::Create(Path("in.wav").toStdString(), &error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->Write(ramp.data(), ramp.size(), &error)) << error;
    }
    m_answer = Path("in.wav");
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
    while (input.samples.size() < ramp.size() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_GE(clock.elapsed(), 280);  // paced: 100 ms a buffer
    EXPECT_EQ(input.samples, ramp);
    f.SendCommand(ID_FILE_OPEN);  // refused while receiving
    f.SendCommand(ID_RECEIVE_START);
    EXPECT_FALSE(f.Receiver().Receiving());
    f.Receiver().RemoveObserver(&input);

    std::ofstream(Path("text.wav").toStdString()) << "not a recording\n";
    m_answer = Path("text.wav");
    f.SendCommand(ID_FILE_OPEN);
    EXPECT_FALSE(f.Receiver().Receiving());
    QCoreApplication::sendPostedEvents(&f, QEvent::MetaCall);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("このファイルは再生できません。")));
}

}  // namespace

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "app/AboutDlg.h"
#include "app/ClockFeedDlg.h"
#include "app/SoundCardDlg.h"
#include "app/StatusBar.h"
#include "audio/SimulatedWaveIn.h"
#include "health/Warning.h"
#include "language/UiLanguage.h"
#include "receiver/DeviceProfile.h"
#include "tests/app/FrameFixture.h"
#include "views/ChildView.h"
#include "views/ClockStatus.h"
#include "views/FilteredWav.h"
#include "views/Scope.h"
#include "views/TimeCodeWnd.h"

namespace {

using velto::FakeCall;
using velto::kBufferSamples;
using FrameTest = CFrameFixture;

struct BufferWatch : velto::IReceiverObserver {
    void OnBufferProcessed(const velto::ProcessedBuffer& b) override {
        ++count;
        firstSample = b.samples[0];
        filtered4800 = b.filtered[4800];
    }
    int count = 0;
    std::int16_t firstSample = 0;
    double filtered4800 = 0.0;
};

// A close ends playback, capture, then the window.
TEST_F(FrameTest, SpaceRunsReceptionTheMonitorAndTheStripsAndCloseEndsThemInTurn) {
    CMainFrame& f = *m_frame;
    f.show();
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    QAction* card = f.CommandAction(ID_SOUNDCARD);
    Space();
    EXPECT_EQ(Flags(), "1010");
    EXPECT_FALSE(f.View()->Intro());
    CFilteredWav* raw = f.View()->RawStrip();
    Cycle(2, 1000);
    ASSERT_EQ(Flags(), "1111");
    EXPECT_EQ(StartText(), QStringLiteral("停止\tSpace"));
    EXPECT_FALSE(card->isEnabled());
    // Refused while receiving; a dialog open all the same is closed, not left to block the test.
    QTimer::singleShot(0, &f, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the sound-card dialog opened while receiving";
            dialog->close();
        }
    });
    f.SendCommand(ID_SOUNDCARD);
    Cycle(79, 1000);
    EXPECT_TRUE(raw->Filled() && f.View()->CorrectedStrip()->Filled());

    Space();
    EXPECT_EQ(Flags(), "0000");
    EXPECT_EQ(StartText(), QStringLiteral("開始\tSpace"));
    EXPECT_TRUE(card->isEnabled());
    // ID_MONITOR, reached by its number only, works without reception.
    for (const char* flags : {"0101", "0000"}) {
        f.SendCommand(ID_MONITOR);
        EXPECT_EQ(Flags(), flags);
    }
    Space();
    EXPECT_FALSE(raw->Filled() || f.View()->CorrectedStrip()->Filled());

    Cycle(2);
    ASSERT_EQ(Flags(), "1111");
    f.close();
    EXPECT_EQ(Flags().substr(2), "10") << "capture open, playback closed";
    QCoreApplication::sendPostedEvents(&f, QEvent::MetaCall);  // second close
    EXPECT_EQ(Flags().substr(2), "00");
    EXPECT_TRUE(f.isVisible());
    QCoreApplication::sendPostedEvents(&f, QEvent::MetaCall);  // third close
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(m_audioBoxes.isEmpty());
}

// Without output the monitor's box comes once, not at every start.
TEST_F(FrameTest, AFailedStartAndAMissingOutputAreToldInBoxes) {
    m_service.SetResult(FakeCall::InOpen, 1);
    Space();
    EXPECT_EQ(Flags(), "0000");
    EXPECT_TRUE(m_frame->View()->Intro());
    EXPECT_TRUE(m_frame->View()->RawStrip()->isHidden());
    m_service.SetResult(FakeCall::InOpen, velto::kWaveOk);
    m_service.SetResult(FakeCall::OutOpen, 1);
    for (int run = 0; run < 2; ++run) {
        Space();
        Cycle(3);
        EXPECT_EQ(Flags(), "1010");
        Space();
        QCoreApplication::sendPostedEvents(m_frame.get(), QEvent::MetaCall);
    }
    m_service.SetResult(FakeCall::OutOpen, velto::kWaveNoDriver);
    m_frame->SendCommand(ID_MONITOR);
    EXPECT_EQ(m_audioBoxes,
              (QStringList{QStringLiteral("Orvik: 録音デバイスがオープンできません。"),
                           QStringLiteral("Velto: 再生デバイスがオープンできません。\n"
                                          "受信はモニター音なしで続きます。"),
                           QStringLiteral("Velto: 再生デバイスがオープンできません。")}));
}

// Buffers completed on the driver's thread during the event loop, as with a sound card.
TEST_F(FrameTest, BuffersCompletedWhileTheFrameRunsAreEachHandledAndShownInTheScope) {
    CMainFrame& f = *m_frame;
    BufferWatch watch;
    f.Receiver().AddObserver(&watch);
    Space();
    f.SendCommand(ID_SCOPE);
    constexpr int kBuffers = 40;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        for (int k = 0; k < kBuffers; ++k) {
            EXPECT_TRUE(m_service.CompleteBuffer(static_cast<std::int16_t>(100 * k)));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents();
    driver.join();
    Deliver();
    EXPECT_EQ(watch.count, kBuffers);
    EXPECT_EQ(watch.firstSample, 100 * (kBuffers - 1));
    ASSERT_EQ(f.Scope()->SampleCount(), kBufferSamples);
    EXPECT_EQ(f.Scope()->VlfSamples()[100], 100 * (kBuffers - 1));
    EXPECT_EQ(f.Scope()->GpsSamples()[4800], std::lround(watch.filtered4800));
    f.Scope()->close();  // hides it, keeping the last buffer
    Cycle(1, 987);
    EXPECT_EQ(f.Scope()->VlfSamples()[100], 100 * (kBuffers - 1));
    f.Receiver().RemoveObserver(&watch);
}

// The version is the project's, as velto --version gives it.
TEST(AboutBox, ShowsEachTextWhole) {
    CAboutDlg dlg;
    QStringList texts;
    for (const QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        texts << label->text();
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_GE(label->height(), label->sizeHint().height()) << label->text().toStdString();
        EXPECT_TRUE(dlg.rect().contains(label->geometry())) << label->text().toStdString();
    }
    EXPECT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts.contains(QStringLiteral("Velto   Version " VELTO_VERSION)))
        << texts.join(',').toStdString();
}

// Warnings go to the status bar, never to a box; a lost device ends reception quietly.
TEST_F(FrameTest, TheStatusBarTellsWhatTheInputLacksAndALostDeviceEndsReceptionQuietly) {
    CMainFrame& f = *m_frame;
    f.show();
    CStatusBar* bar = f.StatusBar();
    EXPECT_EQ(bar->MessageText(), QString());
    Space();
    Cycle(2 * velto::kHealthWindowBuffers, 0);  // two windows of digital silence
    const QString silence = QString::fromStdString(velto::WarningText(velto::WarningCode::Silence));
    EXPECT_EQ(bar->MessageText(), silence);

    m_service.DropSamples(4800);
    Cycle(1, 0);
    EXPECT_EQ(bar->MessageText(), silence + QStringLiteral(" (ほかに 1 件)"));
    EXPECT_TRUE(std::ranges::any_of(bar->findChildren<QLabel*>(), [](QLabel* l) {
        return l->toolTip().contains(QString::fromStdString(velto::SamplesDroppedText(50, 50)));
    })) << "every standing warning is in the tooltip";

    Space();  // a stop keeps what was found
    EXPECT_EQ(bar->ReceptionText(), QStringLiteral("停止"));
    EXPECT_TRUE(bar->ShowsWarning());
    Space();
    EXPECT_FALSE(bar->ShowsWarning());
    EXPECT_EQ(bar->MessageText(), QStringLiteral("入力を調べています…"));
    // Good input has what a sound server at half the capture's rate removes.
    for (const auto& [rate, text] :
         {std::pair{96000, "入力は良好です (24 kHz 以上の成分があります)"},
          std::pair{192000, "入力は良好です (48 kHz 以上の成分があります)"}}) {
        bar->SetInput(velto::InputState::Good, rate);
        EXPECT_EQ(bar->MessageText(), QString::fromUtf8(text));
    }

    Cycle(4, 1000);
    ASSERT_EQ(Flags(), "1111");
    CFilteredWav* raw = f.View()->RawStrip();
    const QImage before = raw->grab().toImage();
    ASSERT_TRUE(m_service.OnDriver([&] { return m_service.LoseDevice(); }));
    QCoreApplication::sendPostedEvents(nullptr, velto::WM_CAPTURELOST);
    EXPECT_EQ(Flags(), "0000");
    EXPECT_EQ(bar->ReceptionText(), QStringLiteral("停止"));
    EXPECT_EQ(bar->MessageText(),
              QString::fromStdString(velto::WarningText(velto::WarningCode::DeviceLost)));
    EXPECT_EQ(raw->grab().toImage(), before) << "the strips keep the last seconds";
    EXPECT_TRUE(m_audioBoxes.isEmpty());
    Space();
    EXPECT_EQ(Flags(), "1010");
    EXPECT_FALSE(bar->ShowsWarning());
}

// In both languages; a long device name is shortened in the middle.
TEST_F(FrameTest, TheStatusBarFitsTheWindowAtFontsUpTo12Points) {
    const QFont original = QApplication::font();
    for (int n = 0; n < 2 * 4; ++n) {
        const bool ja = n < 4;
        const CUiTranslations texts(ja ? UiLanguage::Japanese : UiLanguage::English);
        const int points = 9 + n % 4;
        const std::string at = (ja ? "ja " : "en ") + std::to_string(points) + " pt";
        QFont font = original;
        font.setPointSize(points);
        QApplication::setFont(font);
        CMainFrame f;
        f.show();
        CStatusBar* bar = f.StatusBar();
        bar->SetDevice(QStringLiteral("HDA Intel PCH: ALC887-VD Analog (hw:0,0) with a long name"));
        bar->SetReceiving(true);
        bar->SetClockFeed(std::nullopt, QString());
        // 2027-12-31 23:59:58 UTC: 2028-01-01(土) 08:59:58 JST
        f.ClockStatus()->OnSecond(viewtest::Second(1830297540, 58, velto::TimeSymbol::Zero, 0.0,
                                                   velto::ReceptionState::Flywheel),
                                  -1234.5, velto::SystemTime::Now());
        f.ClockStatus()->OnStatus(viewtest::Status(velto::ReceptionState::Flywheel, 88.8, 0));
        // Laid out, not painted: the intro scales on Qt's threads, unseen by ThreadSanitizer.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_EQ(f.View()->size(), QSize(818, 371)) << at;
        int shown = 0;
        for (QLabel* label : bar->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty()) continue;
            ++shown;
            const QRect inFrame(label->mapTo(&f, QPoint(0, 0)), label->size());
            EXPECT_TRUE(f.rect().contains(inFrame)) << at << ": " << label->text().toStdString();
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                      label->contentsRect().width())
                << at << ": " << label->text().toStdString();
        }
        EXPECT_EQ(shown, 8) << at;  // 受信中, device, feed, 4 of the clock, input
        EXPECT_EQ(bar->DeviceText().size(), 57);
        // A name that fits is shown whole, however the row was laid out before.
        bar->SetDevice(QStringLiteral("シミュレーター (内蔵)"));
        const QString simulator =
            ja ? QStringLiteral("シミュレーター (内蔵)") : QStringLiteral("Simulator (built-in)");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        int whole = 0;
        for (QLabel* label : bar->findChildren<QLabel*>()) whole += label->text() == simulator;
        EXPECT_EQ(whole, 1) << at;
    }
    QApplication::setFont(original);
}

using SoundCardDlg = FrameTest;

using Pair = std::pair<int, QString>;

Pair Profile() {
    const QSettings s;
    return {s.value(QStringLiteral("SoundCard/DeviceId")).toInt(),
            s.value(QStringLiteral("SoundCard/Name")).toString()};
}

void Store(const QVariant& id, const QString& name) {
    QSettings s;
    s.setValue(QStringLiteral("SoundCard/DeviceId"), id);
    s.setValue(QStringLiteral("SoundCard/Name"), name);
}

// 既定のデバイス comes first: a first run's choice, and the way back from a card.
TEST_F(SoundCardDlg, ListsEveryDeviceTrimmedAndStoresAChoiceTrimmedOnOkOnly) {
    m_service.m_inNames = {"Line In  ", "USB\t ", "シミュレーター (内蔵)"};
    CSoundCardDlg first;
    QStringList items;
    for (int i = 0; i < first.DeviceList()->count(); ++i) items << first.DeviceList()->itemText(i);
    EXPECT_EQ(items, (QStringList{"既定のデバイス", "Line In", "USB\t", "シミュレーター (内蔵)"}));
    EXPECT_EQ(first.DeviceList()->currentIndex(), 0);
    EXPECT_EQ(first.CurrentText(), QStringLiteral("現在の設定: 既定のデバイス"));
    first.accept();
    EXPECT_EQ(Profile(), Pair(-1, ""));
    for (bool ok : {false, true}) {
        CSoundCardDlg dlg;
        emit dlg.DeviceList()->activated(2);
        EXPECT_EQ(dlg.DeviceList()->currentIndex(), 2);
        ok ? dlg.accept() : dlg.reject();
        EXPECT_EQ(Profile(), ok ? Pair(1, "USB\t") : Pair(-1, ""));
    }
    CSoundCardDlg back;
    EXPECT_EQ(back.CurrentText(), QStringLiteral("現在の設定: USB\t"));
    emit back.DeviceList()->activated(0);
    back.accept();
    EXPECT_EQ(Profile(), Pair(-1, ""));
}

// A card renumbered by a replug must not be mistaken for another.
TEST_F(SoundCardDlg, TheStoredNumberCountsOnlyUnderItsStoredName) {
    const struct {
        std::vector<std::string> names;
        QVariant id;
        QString name;
        int device;
    } cases[] = {
        {{"Twin", "Twin", "Other"}, 1, "Twin   ", 1},
        {{"Twin", "Twin", "Other"}, 2, "Twin", velto::WAVE_MAPPER},
        {{"Line In", "USB Audio"}, 7, "USB Audio", velto::WAVE_MAPPER},
        // A number that is none must not read as device 0, whose name it carries.
        {{"X"}, "not a number", "X", velto::WAVE_MAPPER},
        {{"X"}, 0, QString(100000, QChar(0x7F)), velto::WAVE_MAPPER},
        {{"X"}, 0, "X", 0},
        // A profile from when the simulator sent JJY alone names it so.
        {{"Line In", velto::kSimulatorName}, 1, "JJY シミュレーター (内蔵)", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.left(20).toStdString());
        m_service.m_inNames = c.names;
        Store(c.id, c.name);
        EXPECT_EQ(StoredCaptureDevice(), c.device);
        CSoundCardDlg dlg;
        bool number = false;
        const int id = c.id.toInt(&number);
        const bool none = id < 0 || !number, missing = c.device == velto::WAVE_MAPPER;
        // A missing card selects nothing and is named as the current choice.
        EXPECT_EQ(dlg.DeviceList()->currentIndex(), !missing ? c.device + 1 : none ? 0 : -1);
        if (missing && !none) {
            EXPECT_TRUE(dlg.CurrentText().contains(QStringLiteral("見つかりません")));
        }
        if (missing) {
            dlg.accept();
            EXPECT_EQ(Profile(), Pair(number ? id : velto::WAVE_MAPPER, c.name));
        }
        Space();
        EXPECT_EQ(m_service.m_openedIn, c.device);
        Space();
    }
}

// A profile that cannot be written is told on OK, not found out at the next start.
TEST_F(SoundCardDlg, TheStationIsStoredInItsOwnSectionAndTheFrameReceivesIt) {
    EXPECT_EQ(m_frame->View()->CorrectedCaption(), QStringLiteral("補正したJJYの振幅"));
    Store(1, "Microphone");
    {
        CSoundCardDlg dlg;
        EXPECT_EQ(dlg.StationList()->count(), 5);
        EXPECT_EQ(dlg.StationList()->currentText(), QStringLiteral("JJY 40 kHz"));
        EXPECT_EQ(dlg.RateList()->count(), 2);
        EXPECT_EQ(dlg.RateList()->currentText(), QStringLiteral("96 kHz"));
        EXPECT_TRUE(
            dlg.HintText().startsWith(QStringLiteral("40 kHz の搬送波を受けるには、96 kHz")));
        dlg.StationList()->setCurrentIndex(2);
        emit dlg.StationList()->activated(2);
        EXPECT_EQ(dlg.RateList()->count(), 1);
        EXPECT_EQ(dlg.RateList()->currentText(), QStringLiteral("192 kHz"));
        EXPECT_TRUE(
            dlg.HintText().startsWith(QStringLiteral("77.5 kHz の搬送波を受けるには、192 kHz")));
        dlg.accept();
    }
    EXPECT_EQ(Profile(), Pair(1, "Microphone"));

    CMainFrame frame;
    EXPECT_EQ(frame.Receiver().ReceivedStation().name, "dcf77");
    EXPECT_EQ(frame.Receiver().Format().rate, 192000);
    EXPECT_EQ(frame.View()->RawCaption(), QStringLiteral("抽出したDCF77の振幅"));
    EXPECT_EQ(frame.View()->IntroCaption(), QStringLiteral("DCF77 77.5 kHz 標準電波受信モニター"));

    const QString path = QSettings().fileName();
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));  // a folder where the file goes: not even root writes it
    const QString unwritten = QStringLiteral("設定を保存できませんでした。") + path +
                              QStringLiteral(" に書き込めません。");
    {
        CSoundCardDlg dlg;
        dlg.StationList()->setCurrentIndex(2);
        emit dlg.StationList()->activated(2);
        dlg.accept();
        EXPECT_EQ(dlg.Problem(), unwritten);
    }
    CClockFeedDlg clock;
    clock.accept();
    EXPECT_EQ(clock.Problem(), unwritten);
    ASSERT_TRUE(QDir(path).removeRecursively());
    CSoundCardDlg again;
    again.accept();
    EXPECT_EQ(again.Problem(), QString());
    EXPECT_TRUE(QFile::exists(path));
}

// The device list is read before every start, so that a card plugged in later is found.
TEST_F(SoundCardDlg, AStoredCardThatIsMissingIsToldAndFoundOncePluggedIn) {
    CMainFrame& f = *m_frame;
    Store(1, QStringLiteral("USB Audio"));
    Space();
    EXPECT_EQ(f.StatusBar()->DeviceText(), QStringLiteral("既定のデバイス"));
    EXPECT_EQ(f.StatusBar()->MessageText(),
              QString::fromStdString(velto::StoredDeviceMissingText("USB Audio")));
    Space();

    m_service.m_inNames = {"Line In", "USB Audio"};
    Space();
    EXPECT_EQ(m_service.m_openedIn, 1);
    EXPECT_EQ(f.StatusBar()->DeviceText(), QStringLiteral("USB Audio"));
    EXPECT_FALSE(f.StatusBar()->ShowsWarning());
    const std::vector<FakeCall> calls = m_service.Calls();
    int refreshedOpens = 0;
    for (std::size_t i = 1; i < calls.size(); ++i) {
        refreshedOpens += calls[i] == FakeCall::InOpen && calls[i - 1] == FakeCall::Refresh;
    }
    EXPECT_EQ(refreshedOpens, 2);
}

TEST_F(FrameTest, DecodedTimeGoesToTheStatusBarAndTheTimeCodeWindowKeepsItWhileHidden) {
    using velto::TimeSymbol;
    CMainFrame& f = *m_frame;
    f.show();
    CTimeCodeWnd* wnd = f.TimeCode();

    Space();
    for (int s = 0; s < 3; ++s) {
        f.OnDecoderSecond(viewtest::Second(viewtest::kMinute2016, s, TimeSymbol::Marker), {},
                          velto::SystemTime::Now());
    }
    f.OnDecoderStatus(viewtest::Status(velto::ReceptionState::TimeValid, 40.0, 3 * 96000));
    EXPECT_EQ(f.ClockStatus()->TimeText(), QStringLiteral("2026年12月07日(月) 20:16:02 JST"));
    EXPECT_EQ(f.ClockStatus()->StateText(), QStringLiteral("時刻確定"));
    EXPECT_TRUE(wnd->isHidden());
    EXPECT_EQ(wnd->History().Now(), 2);

    f.SendCommand(ID_TIMECODE);
    EXPECT_TRUE(wnd->isVisible());
    wnd->close();
    EXPECT_TRUE(wnd->isHidden());
    f.OnDecoderSecond(viewtest::Second(viewtest::kMinute2016, 3, TimeSymbol::Zero), {},
                      velto::SystemTime::Now());
    f.SendCommand(ID_TIMECODE);
    EXPECT_EQ(wnd->History().Now(), 3) << "nothing lost while hidden";

    Space();  // a stop ends the clock; the window keeps the run
    EXPECT_EQ(f.ClockStatus()->TimeText(), QString());
    EXPECT_EQ(f.ClockStatus()->Cn0Text(), QString());
    EXPECT_EQ(f.ClockStatus()->StateText(), QStringLiteral("無信号"));
    EXPECT_EQ(wnd->History().Now(), 3);
    Space();  // a new run starts afresh
    EXPECT_EQ(wnd->History().Now(), -1);
}

// One message at the start, not one for each bad value.
TEST_F(FrameTest, BadValuesOfTheProfileAreToldInOneMessageAtTheStart) {
    QSettings settings;
    settings.setValue(QStringLiteral("Station/Name"), QStringLiteral("wwvb"));
    settings.setValue(QStringLiteral("Station/Rate"), 96000);
    settings.setValue(QStringLiteral("SoundCard/DeviceId"), QStringLiteral("abc"));
    settings.setValue(QStringLiteral("ClockFeed/LatencyMs"), QStringLiteral("1e300"));
    settings.setValue(QStringLiteral("ClockFeed/Enabled"), QStringLiteral("No"));
    settings.setValue(QStringLiteral("ReceptionLog/KeepDays"), QStringLiteral("lots"));
    settings.setValue(QStringLiteral("ReceptionLog/Enabled"), QStringLiteral("maybe"));
    settings.sync();
    m_frame.reset();
    m_frame = std::make_unique<CMainFrame>();
    QStringList messages;
    m_frame->SetMessageSink([&messages](const QString& text) { messages << text; });
    QCoreApplication::sendPostedEvents(m_frame.get(), QEvent::MetaCall);
    EXPECT_EQ(m_frame->Station().station->name, "jjy40");
    EXPECT_EQ(m_frame->ClockFeed(), nullptr) << "\"No\" feeds no clock";
    ASSERT_EQ(messages.size(), 1) << messages.join(QStringLiteral("\n--\n")).toStdString();
    const QStringList lines = messages[0].split(QLatin1Char('\n'));
    EXPECT_TRUE(lines[0].contains(ProfilePath())) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1),
              (QStringList{QStringLiteral("[Station] Name=wwvb, Rate=96000 → jjy40, 96000"),
                           QStringLiteral("[SoundCard] DeviceId=abc → -1"),
                           QStringLiteral("[ClockFeed] LatencyMs=1e300 → 0"),
                           QStringLiteral("[ReceptionLog] Enabled=maybe → true"),
                           QStringLiteral("[ReceptionLog] KeepDays=lots → 365")}));
}

using ClockFeedDlg = CFrameFixture;

// The window feeds no clock until the user says so.
TEST_F(ClockFeedDlg, OffByDefaultOnAndOffByTheDialog) {
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
    // Told from the start, not only once a time has been received.
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

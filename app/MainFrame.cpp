#include "app/MainFrame.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "app/ClockFeedDlg.h"
#include "app/CmdUI.h"
#include "app/CommandIds.h"
#include "app/FileDialogs.h"
#include "app/ProfileProblem.h"
#include "app/SoundCardDlg.h"
#include "app/StatusBar.h"
#include "audio/FileId.h"
#include "audio/SoundFileReader.h"
#include "audio/WavFileWriter.h"
#include "audio/WaveService.h"
#include "clock/ClockFeedSettings.h"
#include "language/LibraryTexts.h"
#include "logfeed/ReceptionLogSettings.h"
#include "views/ChildView.h"
#include "views/ClockStatus.h"
#include "views/FilteredWav.h"
#include "views/Scope.h"
#include "views/SpectrumWnd.h"
#include "views/TimeCodeWnd.h"

namespace {

// The spectrum window is drawn every second buffer, five times a second:
// its band is a 2 s average and its waterfalls gain a line a second, and
// each picture costs some milliseconds.
constexpr int kSpectrumPaintEvery = 2;

// Client area below the menu bar; the view inside has a 1-pixel border.
constexpr int kClientWidth = 818;
constexpr int kClientHeight = 371;

// The caption each failure of the audio service is shown under.
QString AudioCaption(velto::WarningCode code) {
    switch (code) {
        case velto::WarningCode::CaptureOpenFailed:
            return QStringLiteral("Orvik");
        case velto::WarningCode::AudioError:
            return QStringLiteral("Quelmo");
        default:
            return QStringLiteral("Velto");
    }
}

bool FromAudioService(velto::WarningCode code) {
    return code == velto::WarningCode::CaptureOpenFailed ||
           code == velto::WarningCode::PlaybackOpenFailed || code == velto::WarningCode::AudioError;
}

// What only the log of whoever started the program hears, in the window's
// language.
void Log(const velto::Warning& warning) {
    std::fprintf(stderr, "velto: %s: %s\n", velto::WarningCodeName(warning.code),
                 ToldWarningText(warning.text).c_str());
}

}  // namespace

CMainFrame::CMainFrame()
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Velto"));
    m_receiver.AddObserver(this);
    m_station = velto::LoadStoredStation();
    m_chooseOpenFile = [this] { return ChooseRecordingToOpen(this); };
    m_showMessage = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Velto"), text, QMessageBox::Ok, this);
        box.exec();
    };
    m_showAudioBox = [](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok);
        box.exec();
    };
    m_chooseRecordFile = [this] { return ChooseRecordingTarget(this); };
    m_confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Velto"), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(tr("上書きする"));
        box.button(QMessageBox::No)->setText(tr("キャンセル"));
        return box.exec() == QMessageBox::Yes;
    };

    CreateMenus();
    m_wndView = new CChildView(this);
    setCentralWidget(m_wndView);
    m_wndScope = new CScope(this);
    m_wndScope->CreateScope(this);
    m_wndScope->SetBaseTitle(tr("実波形"));
    m_wndTimeCode = new CTimeCodeWnd(this);
    CreateSpectrum();
    CreateLog();
    m_statusBar = new CStatusBar(this);
    setStatusBar(m_statusBar);
    m_clockStatus = new CClockStatus(this);
    m_clockStatus->SetOnTick([this] { ShowPresent(); });
    m_statusBar->AddPermanent(m_clockStatus);
    const QString stored = QString::fromStdString(ReadDeviceSpec().name);
    m_statusBar->SetDevice(stored.isEmpty() ? CaptureDeviceName(velto::DeviceSpec{}) : stored);
    m_receiver.Configure(*m_station.station, m_station.format);

    // The view keeps its size; the status bar adds to the window's height.
    setFixedSize(kClientWidth,
                 kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    setFocusPolicy(Qt::StrongFocus);
    m_clockFeedTimer = new QTimer(this);
    m_clockFeedTimer->setInterval(1000);
    connect(m_clockFeedTimer, &QTimer::timeout, this, &CMainFrame::ShowClockFeed);
    ApplyClockFeed();
    TellProfileFallbacks();
}

// Each section of the profile falls back to its defaults by itself; the user
// hears of all of them once, at the start.
void CMainFrame::TellProfileFallbacks() {
    velto::ProfileFallbacks found;
    velto::LoadStoredStation(&found);
    LoadStoredDevice(&found);
    velto::ClockFeedSettings::Load(&found);
    velto::ReceptionLogSettings::Load(&found);
    if (!found.empty()) {
        ShowMessage(ProfileFallbackText(found));
    }
}

// Devices are stopped before the window goes (close does it in order); this
// is the last guard so that no notification can reach a destroyed frame.
CMainFrame::~CMainFrame() {
    if (m_clockFeed) {
        m_receiver.RemoveObserver(m_clockFeed.get());
    }
    m_receiver.RemoveObserver(this);
    velto::Warnings unheard;
    m_receiver.Stop(unheard);
    if (m_logFeed) {
        m_receiver.RemoveObserver(m_logFeed.get());
        m_logFeed->Finish();
    }
}

// The spectrum window is there from the start, hidden; its analyser costs
// nothing until the window shows. Without the memory for the analyser, the
// window shows its note instead of a band.
void CMainFrame::CreateSpectrum() {
    m_wndSpectrum = new CSpectrumWnd(this);
    try {
        m_analyser = std::make_unique<velto::CSpectrumAnalyser>(velto::SpectrumOptions{});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velto: no spectrum: %s\n", e.what());
    }
    connect(m_wndSpectrum, &CSpectrumWnd::VisibilityChanged, this,
            [this](bool shown) { OnSpectrumShown(shown); });
}

// The log the profile asks for, written while live reception runs.
void CMainFrame::CreateLog() {
    const velto::ReceptionLogSettings settings = velto::ReceptionLogSettings::Load();
    if (!settings.enabled) {
        return;
    }
    m_logFeed = std::make_unique<velto::CReceptionLogFeed>(
        settings.directory, settings.keepDays, [this](const velto::Warning& warning) {
            Log(warning);
            ShowMessage(tr("受信ログを書き込めません。受信は続いています。\n") +
                        ShownWarningText(warning.text));
        });
    m_receiver.AddObserver(m_logFeed.get());
    m_wndTimeCode->SetReceptionLog(settings.directory);
}

void CMainFrame::FinishLog() {
    if (m_logFeed) {
        m_logFeed->Finish();
    }
}

void CMainFrame::CreateMenus() {
    m_receiveMenu = menuBar()->addMenu(tr("受信(&R)"));
    AddCommand(m_receiveMenu, tr("開始(&S)\tSpace"), ID_RECEIVE_START);
    AddCommand(m_receiveMenu, tr("ファイルを開く(&O)..."), ID_FILE_OPEN);
    AddCommand(m_receiveMenu, tr("録音(&R)..."), ID_RECORD)->setCheckable(true);
    AddCommand(m_receiveMenu, tr("サウンドカードの設定(&C)..."), ID_SOUNDCARD);
    AddCommand(m_receiveMenu, tr("時計合わせの設定(&K)..."), ID_CLOCKFEED);
    AddCommand(m_receiveMenu, tr("実波形(&W)"), ID_SCOPE);
    AddCommand(m_receiveMenu, tr("タイムコード(&T)"), ID_TIMECODE);
    AddCommand(m_receiveMenu, tr("スペクトル(&P)"), ID_SPECTRUM);
    m_receiveMenu->addSeparator();
    AddCommand(m_receiveMenu, tr("アプリケーションの終了(&X)"), ID_APP_EXIT);
    connect(m_receiveMenu, &QMenu::aboutToShow, this, [this] { UpdateMenu(m_receiveMenu); });

    QMenu* help = menuBar()->addMenu(tr("ヘルプ(&H)"));
    AddCommand(help, tr("バージョン情報 Velto(&A)..."), ID_APP_ABOUT);

    // ID_MONITOR has no menu item; it is reached by its number.
    auto* monitor = new QAction(this);
    m_actions[ID_MONITOR] = monitor;

    // Space runs Start/Stop through its update handler, like a menu accelerator.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space->setContext(Qt::WindowShortcut);
    connect(space, &QShortcut::activated, this, [this] { SendCommand(ID_RECEIVE_START); });
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    m_actions[id] = action;
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    return action;
}

QAction* CMainFrame::CommandAction(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    for (const auto& [id, action] : m_actions) {
        if (menu->actions().contains(action)) {
            UpdateCommand(id);
        }
    }
}

void CMainFrame::UpdateCommand(int id) {
    QAction* action = CommandAction(id);
    if (action == nullptr) {
        return;
    }
    CCmdUI ui(action);
    if (id == ID_RECEIVE_START) {
        OnUpdateReceiveStart(&ui);
    } else if (id == ID_SOUNDCARD || id == ID_FILE_OPEN) {
        OnUpdateSoundCard(&ui);
    } else if (id == ID_RECORD) {
        OnUpdateRecord(&ui);
    }
}

void CMainFrame::SendCommand(int id) {
    UpdateCommand(id);
    QAction* action = CommandAction(id);
    if (action != nullptr && !action->isEnabled()) {
        return;
    }
    RunCommand(id);
}

void CMainFrame::RunCommand(int id) {
    switch (id) {
        case ID_RECEIVE_START:
            OnReceiveStart();
            break;
        case ID_SOUNDCARD:
            OnSoundCard();
            break;
        case ID_MONITOR:
            OnMonitor();
            break;
        case ID_SCOPE:
            OnScope();
            break;
        case ID_TIMECODE:
            OnTimeCode();
            break;
        case ID_SPECTRUM:
            OnSpectrum();
            break;
        case ID_FILE_OPEN:
            OnFileOpen();
            break;
        case ID_RECORD:
            OnRecord();
            break;
        case ID_CLOCKFEED:
            OnClockFeed();
            break;
        case ID_APP_EXIT:
            close();
            break;
        case ID_APP_ABOUT:
            if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
                QMetaObject::invokeMethod(app, "ShowAboutBox");
            }
            break;
        default:
            break;
    }
}

void CMainFrame::SetCaptureOverride(int deviceId) {
    m_captureOverride = deviceId;
    velto::DeviceSpec spec;
    spec.deviceId = deviceId;
    m_statusBar->SetDevice(CaptureDeviceName(spec));
}

void CMainFrame::focusInEvent(QFocusEvent* e) {
    QMainWindow::focusInEvent(e);
    if (m_wndView != nullptr) {
        m_wndView->setFocus();
    }
}

// The stored capture device is opened while it still exists under its stored
// name; otherwise the system's default.
velto::DeviceSpec CMainFrame::ReadCaptureSpec() const {
    velto::DeviceSpec spec = ReadDeviceSpec();
    if (m_captureOverride) {
        spec.deviceId = *m_captureOverride;
        return spec;
    }
    spec.deviceId = StoredCaptureDevice();
    return spec;
}

// The strips keep the run's last 8 seconds; Start opens the device afresh.
void CMainFrame::OnCaptureLost() {
    m_clockStatus->Clear();
    m_statusBar->SetReceiving(false);
}

void CMainFrame::OnInputEnded() {
    m_clockStatus->Clear();
    m_statusBar->SetReceiving(false);
    QString text = tr("ファイルの終わりまで再生しました。\n") +
                   QFileInfo(QFile::decodeName(QByteArray::fromStdString(m_replayFile))).fileName();
    if (m_replayStationGuessed && !m_signalSeen) {
        text += QStringLiteral("\n\n") +
                tr("このファイルに %1 の信号は見つかりませんでした。ほかの局を受信するには、"
                   "「サウンドカードの設定」で局を選んでから開き直してください。")
                    .arg(QString::fromUtf8(m_receiver.ReceivedStation().title));
    }
    ShowMessage(text);
}

// The draw step of the cycle: both strips, then the oscilloscope.
void CMainFrame::OnBufferProcessed(const velto::ProcessedBuffer& buffer) {
    m_wndView->AppendBuffer(buffer);
    FeedScope(buffer);
    m_statusBar->SetInput(m_receiver.Input(), m_receiver.Format().rate);
}

// Fed while shown only, in order: the analyser clears itself for a new run
// and for input it did not see.
void CMainFrame::OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) {
    if (!m_spectrumShown || !m_analyser) {
        return;
    }
    m_analyser->FeedInput(first, samples, n);
    if (++m_spectrumFeeds % kSpectrumPaintEvery == 0) {
        m_wndSpectrum->OnSpectrum();
    }
    if (m_logFeed) {
        m_logFeed->SetNoiseDb(m_analyser->NoiseDb());
    }
}

void CMainFrame::OnSpectrumShown(bool shown) {
    m_spectrumShown = shown;
    if (!shown && m_logFeed) {
        m_logFeed->SetNoiseDb(std::nullopt);
    }
}

void CMainFrame::FeedScope(const velto::ProcessedBuffer& buffer) {
    if (m_wndScope == nullptr || !m_wndScope->isVisible()) {
        return;
    }
    m_wndScope->FeedBuffer(buffer.samples.data(), buffer.filtered.data(),
                           static_cast<int>(buffer.samples.size()), m_receiver.Format().rate,
                           m_receiver.ReceivedStation().carrierHz);
}

void CMainFrame::ShowAudioBoxes(const velto::Warnings& told) {
    for (const velto::Warning& warning : told) {
        m_showAudioBox(AudioCaption(warning.code), ShownWarningText(warning.text));
    }
}

void CMainFrame::SetStationOverride(const velto::StationChoice& choice) {
    m_station = choice;
    m_stationGiven = true;
    m_receiver.Configure(*m_station.station, m_station.format);
}

// The band follows too: an analyser for the station's carrier at the rate,
// shown from the next run on.
void CMainFrame::OnConfigured(const velto::Station& station, velto::CaptureFormat format) {
    m_wndView->SetStation(station);
    m_clockStatus->SetZone(station.zone);
    m_wndTimeCode->SetStation(station);
    velto::SpectrumOptions options;
    options.sampleRate = format.rate;
    options.carrierHz = static_cast<int>(station.carrierHz);
    if (m_analyser && m_analyser->Options().sampleRate == options.sampleRate &&
        m_analyser->Options().carrierHz == options.carrierHz) {
        return;
    }
    m_wndSpectrum->SetAnalyser(nullptr);
    m_analyser.reset();
    try {
        m_analyser = std::make_unique<velto::CSpectrumAnalyser>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velto: no spectrum: %s\n", e.what());
    }
}

// A live run captures at the station's rate, a replay at the recording's.
bool CMainFrame::StartRun(const velto::DeviceSpec& capture, const std::string& recorded) {
    velto::StationChoice choice = m_station;
    bool guessed = false;
    if (!capture.replayFile.empty()) {
        std::string error;
        std::optional<velto::StationChoice> replay;
        if (!recorded.empty() && !m_stationGiven) {
            replay = velto::ChooseStation(recorded, capture.sampleRate, &error);
        }
        if (!replay) {
            replay = velto::ChooseStation(m_station.station->name, capture.sampleRate, &error);
            guessed = !m_stationGiven && capture.sampleRate > velto::kSampleRate;
        }
        if (!replay) {
            ShowMessage(tr("このファイルは再生できません。\n") + QString::fromStdString(error));
            return false;
        }
        choice = *replay;
    }
    m_receiver.Configure(*choice.station, choice.format);
    velto::Warnings told;
    const bool started = m_receiver.Start(capture, ReadDeviceSpec(), told);
    ShowAudioBoxes(told);
    if (!started) {
        return false;
    }
    m_replayFile = capture.replayFile;
    m_replayStationGuessed = guessed;
    m_signalSeen = false;
    m_statusBar->SetDevice(capture.replayFile.empty()
                               ? CaptureDeviceName(capture)
                               : QFileInfo(QString::fromStdString(capture.replayFile)).fileName());
    m_statusBar->SetInput(m_receiver.Input(), m_receiver.Format().rate);
    m_statusBar->SetReceiving(true);
    if (!m_captureOverride && capture.replayFile.empty() &&
        capture.deviceId == velto::WAVE_MAPPER && !capture.name.empty()) {
        m_receiver.RaiseWarning(velto::WarningCode::StoredDeviceMissing,
                                velto::StoredDeviceMissingText(capture.name));
    }
    // Until the first run the spectrum window says that it waits for one;
    // after a stop it keeps the last band.
    m_wndSpectrum->SetAnalyser(m_analyser.get());
    // Live reception is logged; a recording replayed is not reception now.
    if (m_logFeed) {
        if (capture.replayFile.empty()) {
            m_logFeed->Begin(velto::CReceptionLogFeed::Time::System,
                             velto::ClockFeedSettings::Load().latencyMs);
        } else {
            m_logFeed->Finish();
        }
    }
    // A run counts its samples from 0 again: what came before would mislead.
    m_clockStatus->Clear();
    m_wndTimeCode->Clear();
    m_wndView->RestartStrips();
    if (m_wndView->Intro()) {
        m_wndView->LeaveIntro();
    }
    m_wndView->InvalidateWithErase();
    return true;
}

void CMainFrame::OnReceiveStart() {
    if (!m_receiver.Receiving()) {
        RefreshDevices();
        StartRun(ReadCaptureSpec());
    } else {
        StopRun();
    }
}

void CMainFrame::StopRun() {
    velto::Warnings told;
    m_receiver.Stop(told);
    FinishLog();
    ShowAudioBoxes(told);
    // No clock ticks without reception; the time-code window keeps the run.
    m_clockStatus->Clear();
    m_statusBar->SetReceiving(false);
}

// A card plugged in or removed since the last look counts from now on. Device
// numbers may shift with it, so an override given by number stays unrefreshed.
void CMainFrame::RefreshDevices() {
    if (!m_captureOverride) {
        velto::WaveService().Refresh();
    }
}

QString CMainFrame::CaptureDeviceName(const velto::DeviceSpec& spec) const {
    if (spec.deviceId == velto::WAVE_MAPPER) {
        return tr("既定のデバイス");
    }
    return QString::fromStdString(velto::WaveService().InGetDevName(spec.deviceId));
}

void CMainFrame::OnUpdateReceiveStart(CCmdUI* pCmdUI) {
    // Space, the command's key, is shown beside it.
    pCmdUI->SetText(!m_receiver.Receiving() ? tr("開始\tSpace") : tr("停止\tSpace"));
}

void CMainFrame::OnSoundCard() {
    RefreshDevices();
    CSoundCardDlg dlg;
    if (dlg.exec() == QDialog::Accepted) {
        m_station = velto::LoadStoredStation();
        m_stationGiven = false;
        m_receiver.Configure(*m_station.station, m_station.format);
    }
    if (!m_captureOverride) {
        m_statusBar->SetDevice(CaptureDeviceName(ReadCaptureSpec()));
    }
}

void CMainFrame::OnUpdateSoundCard(CCmdUI* pCmdUI) { pCmdUI->Enable(!m_receiver.Receiving()); }

void CMainFrame::OnMonitor() {
    velto::Warnings told;
    m_receiver.ToggleMonitor(ReadDeviceSpec(), told);
    ShowAudioBoxes(told);
}

void CMainFrame::OnScope() {
    m_wndScope->show();
    m_wndScope->raise();
    m_wndScope->activateWindow();
}

void CMainFrame::OnTimeCode() {
    m_wndTimeCode->show();
    m_wndTimeCode->raise();
    m_wndTimeCode->activateWindow();
}

void CMainFrame::OnSpectrum() {
    m_wndSpectrum->show();
    m_wndSpectrum->raise();
    m_wndSpectrum->activateWindow();
}

void CMainFrame::OnDecoderSecond(const velto::DecoderSecond& s,
                                 const std::optional<velto::SystemTime>& captured,
                                 const std::optional<velto::SystemTime>& heardAt) {
    // The system clock against JJY at the on-time point, from the capture's
    // arrival stamps (their latency included). Not in a leap second, which
    // POSIX time cannot tell from the second after it.
    std::optional<double> offsetMs;
    if (s.timeValid && s.secondInMinute != 60 && captured) {
        offsetMs = captured->SecondsAfter(velto::SystemTime{s.utcUnix, 0}) * 1000.0;
    }
    // The clock carries the second on from when its on-time point reached
    // the antenna: when the receiver heard it, less the receiver's delay.
    const std::optional<velto::SystemTime> heard =
        heardAt ? heardAt : m_receiver.HeardAt(s.onTimeSample);
    std::optional<velto::SystemTime> atAntenna;
    if (heard) {
        atAntenna = heard->Plus(-m_latencyMs * 1e-3);
    }
    m_wndTimeCode->OnSecond(s);
    m_clockStatus->OnSecond(s, offsetMs, atAntenna);
}

// The time-code window highlights the second the status bar shows.
void CMainFrame::ShowPresent() {
    const std::optional<CClockStatus::Present> shown = m_clockStatus->Shown();
    if (!shown) {
        m_wndTimeCode->SetPresent(std::nullopt, -1);
        return;
    }
    const bool leap = shown->leapSecond == 60;
    const std::int64_t utc = shown->utcUnix - (leap ? 1 : 0);
    const std::int64_t second = ((utc % 60) + 60) % 60;
    m_wndTimeCode->SetPresent(utc - second, leap ? 60 : static_cast<int>(second));
}

void CMainFrame::OnDecoderMinute(const velto::DecoderMinute& m) { m_wndTimeCode->OnMinute(m); }

void CMainFrame::OnDecoderStatus(const velto::DecoderStatus& s) {
    m_signalSeen = m_signalSeen || s.state != velto::ReceptionState::NoSignal;
    m_clockStatus->OnStatus(s);
    m_wndTimeCode->OnStatus(s);
}

void CMainFrame::OnSecond(const velto::DecoderSecond& s,
                          const std::optional<velto::SystemTime>& captured) {
    OnDecoderSecond(s, captured);
}
void CMainFrame::OnMinute(const velto::DecoderMinute& m, const std::optional<velto::SystemTime>&) {
    OnDecoderMinute(m);
}
void CMainFrame::OnStatus(const velto::DecoderStatus& s) { OnDecoderStatus(s); }

// A recording becomes the capture device, played in real time; the file is
// checked first so that the user learns what is wrong with it.
void CMainFrame::OnFileOpen() {
    const QString path = m_chooseOpenFile ? m_chooseOpenFile() : QString();
    if (path.isEmpty()) {
        return;
    }
    velto::CSoundFileReader reader;
    std::string error;
    if (!reader.Open(QFile::encodeName(path).toStdString(), &error)) {
        ShowMessage(tr("このファイルは再生できません。\n") + QString::fromStdString(error));
        return;
    }
    reader.Close();
    velto::DeviceSpec spec = ReadDeviceSpec();
    spec.replayFile = QFile::encodeName(path).toStdString();
    spec.sampleRate = static_cast<std::uint32_t>(reader.SampleRate());
    StartRun(spec, reader.Station());
}

// The target is never the input, and an existing file is overwritten only
// when the user says so.
void CMainFrame::OnRecord() {
    if (m_receiver.IsRecording()) {
        m_receiver.StopRecording();
        return;
    }
    const QString path = m_chooseRecordFile ? m_chooseRecordFile() : QString();
    if (path.isEmpty()) {
        UpdateCommand(ID_RECORD);
        return;
    }
    velto::CWavFileWriter::Target target{QFile::encodeName(path).toStdString(),
                                         false,
                                         {},
                                         m_receiver.Format().rate,
                                         std::string(m_receiver.ReceivedStation().name)};
    if (!m_replayFile.empty()) {
        target.input = velto::FileId::OfPath(m_replayFile);
    }
    const bool isInput = target.input && velto::FileId::OfPath(target.path) == target.input;
    if (!isInput && velto::CWavFileWriter::Exists(target.path)) {
        target.overwrite = m_confirm(tr("%1 はすでにあります。\n上書きしますか?").arg(path));
        if (!target.overwrite) {
            UpdateCommand(ID_RECORD);
            return;
        }
    }
    std::string error;
    std::unique_ptr<velto::CWavFileWriter> writer = velto::CWavFileWriter::Create(target, &error);
    if (!writer || !m_receiver.StartRecording(std::move(writer), &error)) {
        ShowMessage(tr("録音を開始できません。\n") + QString::fromStdString(error));
    }
    UpdateCommand(ID_RECORD);
}

void CMainFrame::OnUpdateRecord(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_receiver.IsRecording()); }

void CMainFrame::OnWarning(const velto::Warning& warning) {
    if (warning.code == velto::WarningCode::RecordingStopped) {
        ShowMessage(tr("録音を停止しました。受信は続いています。\n") +
                    ShownWarningText(warning.text));
        return;
    }
    // The monitor's own start in a cycle: its box comes once the cycle is over,
    // and for a machine without output only once.
    if (warning.code == velto::WarningCode::PlaybackOpenFailed) {
        if (m_toldNoOutput) {
            Log(warning);
            return;
        }
        m_toldNoOutput = true;
        const QString text =
            ShownWarningText(warning.text) + tr("\n受信はモニター音なしで続きます。");
        QMetaObject::invokeMethod(
            this, [this, code = warning.code, text] { m_showAudioBox(AudioCaption(code), text); },
            Qt::QueuedConnection);
        return;
    }
    if (FromAudioService(warning.code)) {
        QMetaObject::invokeMethod(
            this, [this, warning] { ShowAudioBoxes({warning}); }, Qt::QueuedConnection);
        return;
    }
    // The rest (a decoder gap, a late monitor) goes to the log of whoever
    // started the program; the status bar shows the input's warnings.
    Log(warning);
}

void CMainFrame::OnRecordingChanged(bool) { UpdateCommand(ID_RECORD); }

void CMainFrame::OnHealth(const velto::HealthEvent& event) { m_statusBar->OnHealthEvent(event); }

// Shown after the cycle that found the problem has returned, so that the
// box's own event loop does not run cycles inside a cycle.
void CMainFrame::ShowMessage(const QString& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { m_showMessage(text); }, Qt::QueuedConnection);
}

void CMainFrame::PostClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// One device is stopped per close, playback first, and the close is posted
// again; only with both closed does the window go.
void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_receiver.MonitorOn() || m_receiver.Receiving()) {
        velto::Warnings told;
        if (m_receiver.MonitorOn()) {
            m_receiver.StopMonitor(told);
        } else {
            m_receiver.StopCapture(told);
            FinishLog();
        }
        ShowAudioBoxes(told);
        e->ignore();
        PostClose();
        return;
    }
    if (m_wndScope != nullptr) {
        m_wndScope->hide();
    }
    if (m_wndTimeCode != nullptr) {
        m_wndTimeCode->hide();
    }
    if (m_wndSpectrum != nullptr) {
        m_wndSpectrum->hide();
    }
    e->accept();
}

void CMainFrame::OnClockFeed() {
    CClockFeedDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) {
        ApplyClockFeed();
    }
}

// A replayed file sends nothing: its seconds have no capture times.
void CMainFrame::ApplyClockFeed() {
    if (m_clockFeed) {
        m_receiver.RemoveObserver(m_clockFeed.get());
        m_clockFeed.reset();
    }
    std::string problem;
    const velto::ClockFeedSettings settings = velto::ClockFeedSettings::Load();
    m_latencyMs = settings.latencyMs;
    m_clockFeed = velto::MakeClockFeed(
        settings,
        [](const velto::Warning& w) { std::fprintf(stderr, "velto: %s\n", w.text.c_str()); },
        &problem);
    if (m_clockFeed) {
        m_receiver.AddObserver(m_clockFeed.get());
        m_clockFeedTimer->start();
    } else {
        m_clockFeedTimer->stop();
    }
    ShowClockFeed();
}

void CMainFrame::ShowClockFeed() {
    if (!m_clockFeed) {
        m_statusBar->SetClockFeedOff();
        return;
    }
    std::optional<double> since;
    if (const auto taken = m_clockFeed->LastTaken()) {
        since = std::chrono::duration<double>(std::chrono::steady_clock::now() - *taken).count();
    }
    m_statusBar->SetClockFeed(since, QString::fromStdString(m_clockFeed->Trouble()));
}

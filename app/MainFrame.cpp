#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>

#include "app/CmdUI.h"
#include "app/CommandIds.h"
#include "app/SoundCardDlg.h"
#include "audio/WaveService.h"
#include "views/ChildView.h"
#include "views/ClockStatus.h"
#include "views/FilteredWav.h"
#include "views/Scope.h"
#include "views/TimeCodeWnd.h"

namespace {

// Client area below the menu bar; the view inside has a 1-pixel border.
constexpr int kClientWidth = 818;
constexpr int kClientHeight = 371;

}  // namespace

CMainFrame::CMainFrame()
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Velto"));
    m_stripSource.pipeline = &m_pipeline;
    m_stripSource.inIndex = &m_wave.m_inIndex;
    m_stripSource.inWrapped = &m_wave.m_inWrapped;
    m_stripSource.inCount = &m_wave.m_inCount;

    CreateMenus();
    m_wndView = new CChildView(m_stripSource, this);
    setCentralWidget(m_wndView);
    m_wndScope = new CScope(this);
    m_wndScope->CreateScope(this);
    m_wndScope->SetBaseTitle(QStringLiteral("実波形"));
    m_wndTimeCode = new CTimeCodeWnd(this);
    m_clockStatus = new CClockStatus(this);
    statusBar()->addPermanentWidget(m_clockStatus);

    // The view keeps its size; the status bar adds to the window's height.
    setFixedSize(kClientWidth,
                 kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    setFocusPolicy(Qt::StrongFocus);
}

// Devices are stopped before the window goes (close does it in order); this
// is the last guard so that no notification can reach a destroyed frame.
CMainFrame::~CMainFrame() {
    m_wave.StopPlayback();
    m_wave.StopCapture();
}

void CMainFrame::CreateMenus() {
    m_receiveMenu = menuBar()->addMenu(QStringLiteral("受信(&R)"));
    AddCommand(m_receiveMenu, QStringLiteral("開始(&S)"), ID_RECEIVE_START);
    AddCommand(m_receiveMenu, QStringLiteral("サウンドカードの設定(&C)..."), ID_SOUNDCARD);
    AddCommand(m_receiveMenu, QStringLiteral("実波形(&W)"), ID_SCOPE);
    AddCommand(m_receiveMenu, QStringLiteral("タイムコード(&T)"), ID_TIMECODE);
    m_receiveMenu->addSeparator();
    AddCommand(m_receiveMenu, QStringLiteral("アプリケーションの終了(&X)"), ID_APP_EXIT);
    connect(m_receiveMenu, &QMenu::aboutToShow, this, [this] { UpdateMenu(m_receiveMenu); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddCommand(help, QStringLiteral("バージョン情報 Velto(&A)..."), ID_APP_ABOUT);

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
    } else if (id == ID_SOUNDCARD) {
        OnUpdateSoundCard(&ui);
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

void CMainFrame::PostCaptureData() {
    QCoreApplication::postEvent(this, new QEvent(WM_CAPTUREDATA));
}

bool CMainFrame::event(QEvent* e) {
    if (e->type() == WM_CAPTUREDATA) {
        OnCaptureData();
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::focusInEvent(QFocusEvent* e) {
    QMainWindow::focusInEvent(e);
    if (m_wndView != nullptr) {
        m_wndView->setFocus();
    }
}

velto::DeviceSpec CMainFrame::ReadDeviceSpec() const {
    QSettings settings;
    velto::DeviceSpec spec;
    spec.name =
        settings.value(QStringLiteral("SoundCard/Name"), QString()).toString().toStdString();
    spec.deviceId = velto::WAVE_MAPPER;
    return spec;
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

void CMainFrame::OnCaptureData() {
    int b = m_wave.m_inIndex.load() - 1;
    if (b < 0) {
        if (m_wave.m_inWrapped.load() != 1) {
            return;  // no buffer of this run has completed yet
        }
        b = velto::kRingBuffers - 1;
    }
    if (m_wave.m_inData == nullptr) {
        return;
    }
    const int perBuffer = static_cast<int>(m_wave.Spec().sampleRate) * velto::kBufferMs / 1000;
    const std::int16_t* samples = m_wave.m_inData + static_cast<std::ptrdiff_t>(b) * perBuffer;
    m_pipeline.ProcessBuffer(samples, b);
    FillMonitor(b);
    m_wndView->m_wndRawStrip->AppendBuffer(m_displayIndex);
    m_wndView->m_wndCorrectedStrip->AppendBuffer(m_displayIndex);
    FeedScope(b);
    if (++m_displayIndex >= velto::kRingBuffers) {
        m_displayIndex = 0;
    }
}

void CMainFrame::FillMonitor(int b) {
    if (m_wave.EnsurePlaybackBlock() != 1) {
        return;
    }
    std::int16_t* out = m_wave.m_outData;
    const bool wrapped = m_wave.m_inWrapped.load() == 1;
    if (wrapped || b > 1) {
        m_pipeline.GateTone(b, 1, out + static_cast<std::ptrdiff_t>(b) * velto::kBufferSamples);
    } else if (b == 1) {
        m_pipeline.GateTone(0, 2, out);
    }
    // The run starts its monitor once, on the first buffer handled from buffer 1
    // on (notifications may pile up), and never after a stop. A device already
    // open (ID_MONITOR before the start) plays on; the flag alone proves nothing,
    // since a failed ID_MONITOR sets it too.
    if (m_bReceiving == 0 || m_bMonitorDue == 0 || (!wrapped && b < 1)) {
        return;
    }
    m_bMonitorDue = 0;
    if (!m_wave.IsPlaybackOpen() && m_wave.StartPlayback(ReadDeviceSpec(), this) == 1) {
        m_bMonitor = 1;
    }
}

void CMainFrame::FeedScope(int b) {
    if (m_wndScope == nullptr || !m_wndScope->isVisible()) {
        return;
    }
    const std::int16_t* samples =
        m_wave.m_inData + static_cast<std::ptrdiff_t>(b) * velto::kBufferSamples;
    m_wndScope->FeedBuffer(samples, m_pipeline.m_filtered.data());
}

void CMainFrame::OnReceiveStart() {
    const velto::DeviceSpec spec = ReadCaptureSpec();
    if (m_bReceiving == 0) {
        if (m_wave.StartCapture(spec, this) != 1) {
            return;
        }
        m_pipeline.StartRun();
        // A run counts its samples from 0 again: what came before would mislead.
        m_clockStatus->Clear();
        m_wndTimeCode->Clear();
        m_bReceiving = 1;
        m_bMonitorDue = 1;
        m_wndView->m_wndRawStrip->m_bFilled = 0;
        m_wndView->m_wndCorrectedStrip->m_bFilled = 0;
        // The strips trail the newest buffer by one from the first buffer of a run.
        m_displayIndex = -1;
        if (m_wndView->m_bIntro == 1) {
            m_wndView->LeaveIntro();
        }
        m_wndView->InvalidateWithErase();
    } else {
        m_wave.StopCapture();
        m_bReceiving = 0;
        m_bMonitorDue = 0;
        // No clock ticks without reception; the time-code window keeps the run.
        m_clockStatus->Clear();
        if (m_bMonitor == 1) {
            m_wave.StopPlayback();
            m_bMonitor = 0;
        }
    }
}

void CMainFrame::OnUpdateReceiveStart(CCmdUI* pCmdUI) {
    pCmdUI->SetText(m_bReceiving == 0 ? QStringLiteral("開始") : QStringLiteral("停止"));
}

void CMainFrame::OnSoundCard() {
    CSoundCardDlg dlg;
    dlg.exec();
}

void CMainFrame::OnUpdateSoundCard(CCmdUI* pCmdUI) { pCmdUI->Enable(m_bReceiving == 0); }

void CMainFrame::OnMonitor() {
    const velto::DeviceSpec spec = ReadDeviceSpec();
    if (m_bMonitor == 1) {
        m_wave.StopPlayback();
        m_bMonitor = 0;
    } else {
        m_wave.StartPlayback(spec, this);
        m_bMonitor = 1;
    }
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

void CMainFrame::OnDecoderSecond(const velto::DecoderSecond& s) {
    m_clockStatus->OnSecond(s);
    m_wndTimeCode->OnSecond(s);
}

void CMainFrame::OnDecoderMinute(const velto::DecoderMinute& m) { m_wndTimeCode->OnMinute(m); }

void CMainFrame::OnDecoderStatus(const velto::DecoderStatus& s) {
    m_clockStatus->OnStatus(s);
    m_wndTimeCode->OnStatus(s);
}

void CMainFrame::PostClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// One device is stopped per close, playback first, and the close is posted
// again; only with both closed does the window go.
void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_bMonitor == 1) {
        m_wave.StopPlayback();
        m_bMonitor = 0;
        e->ignore();
        PostClose();
        return;
    }
    if (m_bReceiving == 1) {
        m_wave.StopCapture();
        m_bReceiving = 0;
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
    e->accept();
}

#include "app/ReceiverApp.h"

#include <QIcon>
#include <csignal>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "base/NumericLocale.h"
#include "headless/StopSignals.h"

CReceiverApp::CReceiverApp(int& argc, char** argv) : QApplication(argc, argv) {
    velto::KeepNumbersInCNotation();
}

CReceiverApp::~CReceiverApp() = default;

bool CReceiverApp::InitInstance() {
    setApplicationName(QStringLiteral("Velto"));
    setApplicationVersion(QStringLiteral(VELTO_VERSION));
    // The maker's key: the profile lives in ~/.config/Velto/Velto.conf.
    setOrganizationName(QStringLiteral("Velto"));
    // Lets Wayland desktops match the window to its installed desktop entry and icon.
    setDesktopFileName(QStringLiteral("org.velto.Velto"));
    // The images live in a static library; name them so the linker keeps them.
    Q_INIT_RESOURCE(app);
    setWindowIcon(QIcon(QStringLiteral(":/res/velto.svg")));
    m_translations = std::make_unique<CUiTranslations>(UiLanguageFromEnvironment());

    m_frame = std::make_unique<CMainFrame>();
    if (m_captureOverride) {
        m_frame->SetCaptureOverride(*m_captureOverride);
    }
    if (m_stationOverride) {
        m_frame->SetStationOverride(*m_stationOverride);
    }
    m_frame->show();
    if (InstallStopSignals({SIGINT, SIGTERM, SIGHUP}, IgnoredSignals::Kept)) {
        m_stopWatch = std::make_unique<CStopWatch>([this] { CloseForStop(); });
    } else {
        std::fputs("velto: cannot set up signal handling; a signal ends Velto at once.\n", stderr);
    }
    return true;
}

// A box or dialog that waits for an answer would keep the application open
// after the window: each is closed as Escape would close it. Bounded, for a
// box that refuses.
void CReceiverApp::CloseForStop() {
    constexpr int kMostBoxes = 16;
    for (int i = 0; i < kMostBoxes; ++i) {
        QWidget* box = activeModalWidget();
        if (box == nullptr || box == m_frame.get() || !box->close()) {
            break;
        }
    }
    m_frame->close();
}

void CReceiverApp::ShowAboutBox() {
    CAboutDlg dlg(m_frame.get());
    dlg.exec();
}

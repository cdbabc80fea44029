#include "app/ReceiverApp.h"

#include <QIcon>

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "base/NumericLocale.h"

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
    return true;
}

void CReceiverApp::ShowAboutBox() {
    CAboutDlg dlg(m_frame.get());
    dlg.exec();
}

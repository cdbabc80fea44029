#pragma once

#include <QApplication>
#include <memory>
#include <optional>

#include "language/UiLanguage.h"
#include "receiver/StationChoice.h"

class CMainFrame;
class CStopWatch;

// The application object: sets where the profile lives, creates the main
// frame and shows it, closes it on a stop signal, and shows the About box.
class CReceiverApp : public QApplication {
    Q_OBJECT

public:
    CReceiverApp(int& argc, char** argv);
    ~CReceiverApp() override;

    // Opens this capture device in place of the stored one (the simulator).
    void SetCaptureOverride(int deviceId) { m_captureOverride = deviceId; }
    // Receives this station in place of the stored one (--station).
    void SetStationOverride(const velto::StationChoice& choice) { m_stationOverride = choice; }

    bool InitInstance();
    CMainFrame* MainFrame() const { return m_frame.get(); }

public slots:
    void ShowAboutBox();

private:
    // SIGTERM, SIGINT or SIGHUP: what is open over the window is closed, then
    // the window, as Exit closes it, so that the run ends in order.
    void CloseForStop();

    std::unique_ptr<CStopWatch> m_stopWatch;
    std::unique_ptr<CUiTranslations> m_translations;
    std::unique_ptr<CMainFrame> m_frame;
    std::optional<int> m_captureOverride;
    std::optional<velto::StationChoice> m_stationOverride;
};

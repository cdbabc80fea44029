#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>

#include "audio/WaveDevice.h"
#include "dsp/Pipeline.h"
#include "timecode/DecoderEvents.h"
#include "views/StripSource.h"

class CChildView;
class CClockStatus;
class CCmdUI;
class CScope;
class CTimeCodeWnd;
class QAction;
class QMenu;

// The program's window and the owner of everything that runs: the audio
// devices, the reception chain's state, the strips and the oscilloscope.
class CMainFrame : public QMainWindow, public velto::INotifyTarget {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    // Opens this capture device instead of the stored one, for this run only.
    void SetCaptureOverride(int deviceId) { m_captureOverride = deviceId; }

    // Runs a command by its number, as a menu item or a key would (the update
    // handler first, and nothing when it leaves the command disabled).
    void SendCommand(int id);
    QAction* CommandAction(int id) const;
    // The update handlers of one menu, as when it is about to show.
    void UpdateMenu(QMenu* menu);
    QMenu* ReceiveMenu() const { return m_receiveMenu; }

    // Called on the audio service's thread: hands the buffer to this thread.
    void PostCaptureData() override;

    velto::DeviceSpec ReadDeviceSpec() const;
    velto::DeviceSpec ReadCaptureSpec() const;

    void OnCaptureData();
    void OnReceiveStart();
    void OnUpdateReceiveStart(CCmdUI* pCmdUI);
    void OnSoundCard();
    void OnUpdateSoundCard(CCmdUI* pCmdUI);
    void OnMonitor();
    void OnScope();
    void OnTimeCode();

    // The decoder's events, on this thread: the status-bar clock and the
    // time-code window take them.
    void OnDecoderSecond(const velto::DecoderSecond& s);
    void OnDecoderMinute(const velto::DecoderMinute& m);
    void OnDecoderStatus(const velto::DecoderStatus& s);

    CChildView* View() const { return m_wndView; }
    CScope* Scope() const { return m_wndScope; }
    CClockStatus* ClockStatus() const { return m_clockStatus; }
    CTimeCodeWnd* TimeCode() const { return m_wndTimeCode; }

    velto::CWaveDevice m_wave;
    velto::CPipeline m_pipeline;
    int m_bReceiving = 0;
    int m_bMonitor = 0;
    // 1 from a start of reception until the run's automatic monitor start.
    int m_bMonitorDue = 0;
    int m_displayIndex = -1;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void CreateMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id);
    void RunCommand(int id);
    void UpdateCommand(int id);
    void FillMonitor(int b);
    void FeedScope(int b);
    void PostClose();

    CStripSource m_stripSource;
    CChildView* m_wndView = nullptr;  // owned by Qt parenthood
    CScope* m_wndScope = nullptr;
    CTimeCodeWnd* m_wndTimeCode = nullptr;
    CClockStatus* m_clockStatus = nullptr;
    QMenu* m_receiveMenu = nullptr;
    std::map<int, QAction*> m_actions;
    std::optional<int> m_captureOverride;
};

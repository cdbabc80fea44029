#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "audio/WaveDevice.h"
#include "clock/ClockFeed.h"
#include "logfeed/ReceptionLogFeed.h"
#include "receiver/Receiver.h"
#include "receiver/StationChoice.h"
#include "spectrum/SpectrumAnalyser.h"

class CChildView;
class CClockStatus;
class CCmdUI;
class CScope;
class CSpectrumWnd;
class CStatusBar;
class CTimeCodeWnd;
class QAction;
class QMenu;
class QTimer;

// The program's window: owns the receiver (devices, chain, decoder,
// recorder), the strips and the oscilloscope that draw what it hands over,
// and the commands that drive it.
class CMainFrame : public QMainWindow, private velto::IReceiverObserver {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    // Receives this station at this rate instead of the stored choice, until
    // the sound-card dialog stores another (--station).
    void SetStationOverride(const velto::StationChoice& choice);
    const velto::StationChoice& Station() const { return m_station; }

    // Opens this capture device instead of the stored one, for this run only.
    void SetCaptureOverride(int deviceId);

    // Runs a command by its number, as a menu item or a key would (the update
    // handler first, and nothing when it leaves the command disabled).
    void SendCommand(int id);
    QAction* CommandAction(int id) const;
    // The update handlers of one menu, as when it is about to show.
    void UpdateMenu(QMenu* menu);
    QMenu* ReceiveMenu() const { return m_receiveMenu; }

    velto::DeviceSpec ReadCaptureSpec() const;

    // Asks for a file name: to replay, or to record to. Empty: cancelled.
    // Tests put their own answer in place of the file dialog.
    using FileChooser = std::function<QString()>;
    void SetOpenFileChooser(FileChooser chooser) { m_chooseOpenFile = std::move(chooser); }
    void SetRecordFileChooser(FileChooser chooser) { m_chooseRecordFile = std::move(chooser); }
    // Asks the user a yes-or-no question (a question box, unless a test answers).
    using Confirmer = std::function<bool(const QString&)>;
    void SetConfirmer(Confirmer confirm) { m_confirm = std::move(confirm); }
    // Shows a warning to the user (a message box, unless a test listens).
    using MessageSink = std::function<void(const QString&)>;
    void SetMessageSink(MessageSink sink) { m_showMessage = std::move(sink); }
    // Shows a failure of the audio service in a box of its own under its
    // caption, with no owner window (unless a test listens).
    using AudioBoxSink = std::function<void(const QString& caption, const QString& text)>;
    void SetAudioBoxSink(AudioBoxSink sink) { m_showAudioBox = std::move(sink); }

    void OnReceiveStart();
    void OnUpdateReceiveStart(CCmdUI* pCmdUI);
    void OnSoundCard();
    void OnUpdateSoundCard(CCmdUI* pCmdUI);
    void OnMonitor();
    void OnScope();
    void OnTimeCode();
    void OnSpectrum();
    void OnFileOpen();

    // The decoder's events, on this thread: the status-bar clock and the
    // time-code window take them. `captured` is when the second's on-time
    // point was captured by the system clock, for live capture; `heardAt`
    // when it reached the receiver, live or replayed (by default, as the
    // receiver's sample clock tells it).
    void OnDecoderSecond(const velto::DecoderSecond& s,
                         const std::optional<velto::SystemTime>& captured = {},
                         const std::optional<velto::SystemTime>& heardAt = {});
    void OnDecoderMinute(const velto::DecoderMinute& m);
    void OnDecoderStatus(const velto::DecoderStatus& s);
    void OnRecord();
    void OnUpdateRecord(CCmdUI* pCmdUI);
    void OnClockFeed();
    // Feeds the system clock as the profile says: off, or to chronyd's socket.
    void ApplyClockFeed();
    // Shows the feed's state in the status bar (also once a second while on).
    void ShowClockFeed();
    // The feed of the system clock while it is on; null while off.
    const velto::CClockFeed* ClockFeed() const { return m_clockFeed.get(); }
    // The reception log's feed while the profile keeps a log; null when not.
    const velto::CReceptionLogFeed* LogFeed() const { return m_logFeed.get(); }

    CChildView* View() const { return m_wndView; }
    CScope* Scope() const { return m_wndScope; }
    CClockStatus* ClockStatus() const { return m_clockStatus; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    CTimeCodeWnd* TimeCode() const { return m_wndTimeCode; }
    CSpectrumWnd* Spectrum() const { return m_wndSpectrum; }
    // The band's analyser, fed only while the spectrum window is shown;
    // null when it could not be had.
    const velto::CSpectrumAnalyser* Analyser() const { return m_analyser.get(); }

    velto::CReceiver& Receiver() { return m_receiver; }
    const velto::CReceiver& Receiver() const { return m_receiver; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void CreateMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id);
    void RunCommand(int id);
    void UpdateCommand(int id);
    // `recorded`: the station a replayed recording names, if any.
    bool StartRun(const velto::DeviceSpec& capture, const std::string& recorded = {});
    void FeedScope(const velto::ProcessedBuffer& buffer);
    void CreateSpectrum();
    void CreateLog();
    void OnSpectrumShown(bool shown);
    void FinishLog();
    // Values of the profile that would not do, in one message.
    void TellProfileFallbacks();
    void PostClose();
    void ShowMessage(const QString& text);
    // The boxes for what the audio layer had to say, in order.
    void ShowAudioBoxes(const velto::Warnings& told);
    void StopRun();
    void ShowPresent();
    void RefreshDevices();
    // How the status bar names the capture device of a spec.
    QString CaptureDeviceName(const velto::DeviceSpec& spec) const;

    // The receiver's events: the draw step of the cycle, and the decoder's
    // reports for the status-bar clock and the time-code window.
    void OnBufferProcessed(const velto::ProcessedBuffer& buffer) override;
    // The input in order: the spectrum's, while its window is shown.
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override;
    void OnSecond(const velto::DecoderSecond& s,
                  const std::optional<velto::SystemTime>& captured) override;
    void OnMinute(const velto::DecoderMinute& m,
                  const std::optional<velto::SystemTime>& captured) override;
    void OnStatus(const velto::DecoderStatus& s) override;
    void OnWarning(const velto::Warning& warning) override;
    void OnRecordingChanged(bool recording) override;
    void OnHealth(const velto::HealthEvent& event) override;
    // The capture device stopped delivering: reception has ended, quietly.
    void OnCaptureLost() override;
    // The replayed recording has ended: reception has stopped, as by 停止.
    void OnInputEnded() override;
    // The receiver's station and format changed: the captions and the clock follow.
    void OnConfigured(const velto::Station& station, velto::CaptureFormat format) override;

    velto::CReceiver m_receiver;
    CChildView* m_wndView = nullptr;  // owned by Qt parenthood
    CScope* m_wndScope = nullptr;
    CTimeCodeWnd* m_wndTimeCode = nullptr;
    CSpectrumWnd* m_wndSpectrum = nullptr;
    CClockStatus* m_clockStatus = nullptr;
    CStatusBar* m_statusBar = nullptr;
    QMenu* m_receiveMenu = nullptr;
    std::map<int, QAction*> m_actions;
    std::optional<int> m_captureOverride;
    // The station live runs receive; a replay takes the recording's rate,
    // and the station the recording names unless --station named one.
    velto::StationChoice m_station;
    bool m_stationGiven = false;
    FileChooser m_chooseOpenFile;
    FileChooser m_chooseRecordFile;
    Confirmer m_confirm;
    // The box for a monitor that found no output has been shown.
    bool m_toldNoOutput = false;
    // The recording the run replays; empty for a sound card.
    std::string m_replayFile;
    // The replay's station was only the stored one (the recording named none
    // that would do, and --station none) at 192 kHz, where the band holds
    // others: at its end, a replay that never showed the carrier says where
    // to choose another.
    bool m_replayStationGuessed = false;
    bool m_signalSeen = false;
    MessageSink m_showMessage;
    AudioBoxSink m_showAudioBox;
    std::unique_ptr<velto::CClockFeed> m_clockFeed;
    QTimer* m_clockFeedTimer = nullptr;
    // The receiver's and the sound card's delay (the clock feed's setting),
    // taken off the moments seconds were heard.
    double m_latencyMs = 0.0;
    std::unique_ptr<velto::CSpectrumAnalyser> m_analyser;
    bool m_spectrumShown = false;
    std::int64_t m_spectrumFeeds = 0;
    std::unique_ptr<velto::CReceptionLogFeed> m_logFeed;
};

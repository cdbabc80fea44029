#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/SampleWriter.h"
#include "audio/WaveDevice.h"
#include "base/CaptureFormat.h"
#include "dsp/Pipeline.h"
#include "health/ReceptionHealth.h"
#include "receiver/CaptureHandOver.h"
#include "receiver/DecoderFeed.h"
#include "receiver/ReceiverObserver.h"
#include "receiver/Recorder.h"
#include "receiver/SampleClock.h"
#include "station/Station.h"

namespace velto {

// Reception without a window: the capture and playback devices, the display
// chain (rows, slicing level, tone table, monitor), the decoder and the
// recorder, and the cycle that drives them once per completed capture
// buffer. The window and the console front end each own one and follow it
// through IReceiverObserver; nothing outside reaches its parts.
//
// Threads: the audio service tells the receiver's hand-over after each
// completed buffer, and once when the capture device is lost, on its own
// thread; the hand-over posts that to the thread that made the receiver,
// whose event loop then runs OnCaptureData or OnCaptureLost. Everything else
// runs on that thread too.
//
// What the audio layer has to tell the user of a call comes back in `told`;
// what the cycle meets by itself goes to the observers as warnings.
class CReceiver : private IDecoderSink {
public:
    CReceiver();
    ~CReceiver() override;
    CReceiver(const CReceiver&) = delete;
    CReceiver& operator=(const CReceiver&) = delete;

    void AddObserver(IReceiverObserver* observer);
    void RemoveObserver(IReceiverObserver* observer);

    // The station received and the format captured in the runs from now on
    // (jjy40 at 96000 samples/s until told otherwise): the capture's rate,
    // the display chain's carrier, what the decoder is given. False, and
    // nothing changed, for a station whose carrier the rate cannot carry or
    // while a run goes on.
    bool Configure(const Station& station, CaptureFormat format);
    const Station& ReceivedStation() const { return *m_station; }
    CaptureFormat Format() const { return m_format; }

    // Opens the capture device at the configured rate and begins a run;
    // false when the device did not open. `playback` is the device the
    // monitor opens on the run's second buffer, at the base rate.
    bool Start(const DeviceSpec& capture, const DeviceSpec& playback, Warnings& told);
    // Ends the run: capture, then the monitor, then any recording.
    void Stop(Warnings& told);
    // The two halves of Stop, for a close that stops one device at a time.
    void StopMonitor(Warnings& told);
    void StopCapture(Warnings& told);
    // Switches the monitor's playback on or off, receiving or not. The
    // monitor counts as on after a failed open too: the next toggle only
    // turns it off.
    void ToggleMonitor(const DeviceSpec& playback, Warnings& told);
    // An unattended run (a console that nobody watches or listens to) has
    // no display chain and no monitor: each cycle checks the input's health,
    // decodes and records.
    void SetUnattended(bool unattended) { m_unattended = unattended; }

    bool Receiving() const { return m_receiving; }
    bool MonitorOn() const { return m_monitorOn; }
    bool CaptureOpen() const { return m_wave.IsCaptureOpen(); }
    bool PlaybackOpen() const { return m_wave.IsPlaybackOpen(); }

    // One cycle, for the newest completed capture buffer.
    void OnCaptureData();
    // The capture device stopped delivering: the run ends as by Stop (the
    // rows keep what they hold), a device-lost warning goes out and the
    // observers are told. True when it ended a run.
    bool OnCaptureLost();
    // The replayed recording has come to its end, after its last buffer: the
    // run ends as by Stop and the observers are told. True when it ended a run.
    bool OnCaptureEnded();
    // A warning found outside the samples, as the stored card missing.
    void RaiseWarning(WarningCode code, const std::string& text);
    // What the samples of the run say about the input so far.
    InputState Input() const { return m_health.Input(); }
    // When the sample at this index reached the receiver by the system clock,
    // for a run of capture or replay once enough buffers have come (a replay
    // is played in real time): what carries a decoded time on to the present.
    std::optional<SystemTime> HeardAt(double sample) const;

    // Input that is not captured but read as fast as it comes (a file or a
    // pipe) at the configured rate: the decoder and the recorder see it, the
    // chain does not.
    void BeginInput();
    void FeedInput(const std::int16_t* samples, std::size_t n);
    // Ends unpaced input: reports a recording failure that is still pending.
    void EndInput();

    // Records the input from now on; false with a sentence in *error when
    // the recorder cannot start.
    bool StartRecording(std::unique_ptr<ISampleWriter> writer, std::string* error);
    void StopRecording();
    bool IsRecording() const { return m_recorder.Active(); }

private:
    void Tell(const Warnings& warnings);
    void BeginDecoding();
    void FillMonitor(int b);
    void CheckMonitorStep(int b);
    void DecodeCaptured();
    void FollowSystemClockSteps();
    void JudgeInput(const std::int16_t* samples, std::size_t n);
    void Deliver(std::int64_t first, const std::int16_t* samples, std::size_t n, bool mayWait);
    void Warn(WarningCode code, const std::string& text);
    void OnHealth(const HealthEvent& event);
    void CheckRecorder();
    // When the sample at this index was captured, for live capture once
    // enough buffers have come.
    std::optional<SystemTime> CaptureTime(double sample) const;
    void OnSecond(const DecoderSecond& second) override;
    void OnMinute(const DecoderMinute& minute) override;
    void OnStatus(const DecoderStatus& status) override;
    void OnRise(const DecoderRise& rise) override;

    CCaptureHandOver m_handOver{*this};
    CWaveDevice m_wave;
    CPipeline m_pipeline;
    bool m_receiving = false;
    // The monitor counts as playing, after a failed open too (the window's ID_MONITOR).
    bool m_monitorOn = false;
    // From a start of reception until the run's automatic monitor start.
    bool m_monitorDue = false;
    // The buffer the strips draw next; -1 before the first of a run.
    int m_displayIndex = -1;
    bool m_unattended = false;
    DeviceSpec m_playbackSpec;
    // The monitor this run opened itself plays in step with the capture ring,
    // reading buffer b's block about 100 ms after the cycle wrote it.
    bool m_monitorInStep = false;
    int m_lastToneBlock = -1;
    std::vector<IReceiverObserver*> m_observers;
    // Next capture buffer (counted from the run's start) the decoder reads.
    std::int64_t m_decodeCursor = 0;
    // Samples of unpaced input so far, and the buffer they are judged in.
    std::int64_t m_inputSamples = 0;
    std::vector<std::int16_t> m_healthBuffer;
    std::size_t m_healthFill = 0;
    bool m_live = false;
    const Station* m_station = &Stations().front();
    CaptureFormat m_format = kBaseFormat;
    CSampleClock m_clock{kSampleRate};
    // The steady clock at the last cycle and the system clock's lead on it.
    std::optional<double> m_lastBoot;
    double m_lastDifference = 0.0;
    CRecorder m_recorder;
    CDecoderFeed m_decoderFeed{*this};
    CReceptionHealth m_health{[this](const HealthEvent& event) { OnHealth(event); }};
};

}  // namespace velto

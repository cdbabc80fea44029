#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/ReceptionHealth.h"
#include "audio/SampleWriter.h"
#include "audio/WaveDevice.h"
#include "dsp/Pipeline.h"
#include "receiver/ReceiverObserver.h"
#include "receiver/Recorder.h"
#include "receiver/SampleClock.h"
#include "timecode/Decoder.h"

namespace velto {

// Reception without a window: the capture and playback devices, the chain
// (rows, slicing level, tone table, monitor), the decoder and the recorder,
// and the cycle that drives them once per completed capture buffer. The
// window and the console front end each own one and follow it through
// IReceiverObserver.
//
// Threads: the audio service tells `notify` after each completed buffer, and
// once when the capture device is lost, on its own thread; the owner hands
// that over to the receiver's thread (its event loop) and calls
// OnCaptureData or OnCaptureLost there. Everything else runs on that thread
// too.
class CReceiver : private IDecoderSink {
public:
    explicit CReceiver(INotifyTarget& notify);
    ~CReceiver() override;
    CReceiver(const CReceiver&) = delete;
    CReceiver& operator=(const CReceiver&) = delete;

    void AddObserver(IReceiverObserver* observer);
    void RemoveObserver(IReceiverObserver* observer);

    // Opens the capture device and begins a run; 1 on success, 0 when the
    // device did not open (the audio layer has told the user why).
    // `playback` is the device the monitor opens on the run's second buffer.
    int Start(const DeviceSpec& capture, const DeviceSpec& playback);
    // Ends the run: capture, then the monitor, then any recording.
    void Stop();
    // The two halves of Stop, for a close that stops one device at a time.
    void StopMonitor();
    void StopCapture();
    // Switches the monitor's playback on or off, receiving or not.
    void ToggleMonitor(const DeviceSpec& playback);
    // Off: the run's second buffer does not open the playback (no speaker
    // wanted, as on a server).
    void SetAutoMonitor(bool on) { m_autoMonitor = on; }

    // One cycle, for the newest completed capture buffer.
    void OnCaptureData();
    // The capture device stopped delivering: the run ends as by Stop (the
    // rows keep what they hold) and a device-lost warning goes out. True
    // when it ended a run.
    bool OnCaptureLost();
    // A warning found outside the samples, as the stored card missing.
    void RaiseWarning(WarningCode code, const std::string& text);
    // What the samples of the run say about the input so far.
    const CReceptionHealth& Health() const { return m_health; }

    // Input that is not captured but read as fast as it comes (a file or a
    // pipe): the decoder and the recorder see it, the chain does not.
    void BeginInput();
    void FeedInput(const std::int16_t* samples, std::size_t n);
    // Ends unpaced input: reports a recording failure that is still pending.
    void EndInput();

    // Records the input from now on; false with a sentence in *error when
    // the recorder cannot start.
    bool StartRecording(std::unique_ptr<ISampleWriter> writer, std::string* error);
    void StopRecording();
    bool IsRecording() const { return m_recorder.Active(); }

    // The system time at which an input sample arrived (seconds since the
    // epoch), for live capture once enough buffers have come.
    std::optional<double> UnixTimeOfSample(double sample) const;
    // The system clock against the capture's sample indices.
    const CSampleClock& SampleClock() const { return m_clock; }
    DecoderStatus Status() const { return m_decoder.Status(); }

    CWaveDevice m_wave;
    CPipeline m_pipeline;
    int m_bReceiving = 0;
    int m_bMonitor = 0;
    // 1 from a start of reception until the run's automatic monitor start.
    int m_bMonitorDue = 0;
    int m_displayIndex = -1;

private:
    void FillMonitor(int b);
    void CheckMonitorStep(int b);
    void DecodeCaptured();
    void Deliver(std::int64_t first, const std::int16_t* samples, std::size_t n, bool mayWait);
    void Warn(const std::string& code, const std::string& text);
    void OnHealth(const HealthEvent& event);
    void CheckRecorder();
    void OnSecond(const DecoderSecond& second) override;
    void OnMinute(const DecoderMinute& minute) override;
    void OnStatus(const DecoderStatus& status) override;

    INotifyTarget& m_notify;
    DeviceSpec m_playbackSpec;
    bool m_autoMonitor = true;
    // The monitor this run opened itself plays in step with the capture ring,
    // reading buffer b's block about 100 ms after the cycle wrote it.
    bool m_monitorInStep = false;
    int m_lastToneBlock = -1;
    std::vector<IReceiverObserver*> m_observers;
    // Next capture buffer (counted from the run's start) the decoder reads.
    std::int64_t m_decodeCursor = 0;
    // Samples of unpaced input so far.
    std::int64_t m_inputSamples = 0;
    bool m_live = false;
    CSampleClock m_clock{kSampleRate};
    CRecorder m_recorder;
    CDecoder m_decoder{*this};
    CReceptionHealth m_health{[this](const HealthEvent& event) { OnHealth(event); }};
};

}  // namespace velto

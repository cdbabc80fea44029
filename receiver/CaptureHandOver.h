#pragma once

#include <QEvent>
#include <QObject>

#include "audio/WaveDevice.h"

namespace velto {

class CReceiver;

// Posted once per completed capture buffer, once when the capture device
// stops delivering, and once when its input has ended.
inline constexpr QEvent::Type WM_CAPTUREDATA = static_cast<QEvent::Type>(QEvent::User + 1000);
inline constexpr QEvent::Type WM_CAPTURELOST = static_cast<QEvent::Type>(QEvent::User + 1001);
inline constexpr QEvent::Type WM_CAPTUREENDED = static_cast<QEvent::Type>(QEvent::User + 1002);

// The hand-over from the audio service's thread to the receiver's: each
// notification becomes an event posted to the thread that made the receiver,
// whose event loop runs the cycle. No lock is taken: the posted event is the
// hand-over, and the buffer it announces is not written again for 7.9 s.
class CCaptureHandOver : public QObject, public INotifyTarget {
public:
    explicit CCaptureHandOver(CReceiver& receiver) : m_receiver(receiver) {}

    void PostCaptureData() override;
    void PostCaptureLost() override;
    void PostCaptureEnded() override;

protected:
    bool event(QEvent* e) override;

private:
    CReceiver& m_receiver;
};

}  // namespace velto

#include "receiver/CaptureHandOver.h"

#include <QCoreApplication>

#include "receiver/Receiver.h"

namespace velto {

void CCaptureHandOver::PostCaptureData() {
    QCoreApplication::postEvent(this, new QEvent(WM_CAPTUREDATA));
}

void CCaptureHandOver::PostCaptureLost() {
    QCoreApplication::postEvent(this, new QEvent(WM_CAPTURELOST));
}

void CCaptureHandOver::PostCaptureEnded() {
    QCoreApplication::postEvent(this, new QEvent(WM_CAPTUREENDED));
}

bool CCaptureHandOver::event(QEvent* e) {
    if (e->type() == WM_CAPTUREDATA) {
        m_receiver.OnCaptureData();
        return true;
    }
    if (e->type() == WM_CAPTURELOST) {
        m_receiver.OnCaptureLost();
        return true;
    }
    if (e->type() == WM_CAPTUREENDED) {
        m_receiver.OnCaptureEnded();
        return true;
    }
    return QObject::event(e);
}

}  // namespace velto

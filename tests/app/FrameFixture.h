#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QShortcut>
#include <memory>
#include <string>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "tests/support/FakeWaveService.h"
#include "tests/views/ViewTestSupport.h"

// A frame on the scripted audio service, with an empty profile.
class CFrameFixture : public ::testing::Test {
protected:
    CFrameFixture() {
        QSettings().clear();
        velto::SetWaveService(&m_service);
        m_frame = std::make_unique<CMainFrame>();
        m_frame->SetAudioBoxSink([this](const QString& caption, const QString& text) {
            m_audioBoxes << caption + QStringLiteral(": ") + text;
        });
    }
    ~CFrameFixture() override {
        m_frame.reset();
        velto::SetWaveService(nullptr);
    }

    void Space() {
        for (QShortcut* s : m_frame->findChildren<QShortcut*>()) {
            if (s->key() == QKeySequence(Qt::Key_Space)) emit s->activated();
        }
    }
    // Handles the posted notifications, as the event loop would.
    void Deliver() { QCoreApplication::sendPostedEvents(nullptr, velto::WM_CAPTUREDATA); }
    // Buffers filled with `value`, each completed on a driver thread and handled.
    void Cycle(int n = 1, std::int16_t value = 0) {
        for (int k = 0; k < n; ++k) {
            ASSERT_TRUE(m_service.CompleteOnDriver(value));
            Deliver();
        }
    }
    // Reception, monitor, capture and playback as four digits: "1011" is a
    // run whose monitor flag is off while both devices are open.
    std::string Flags() const {
        const velto::CReceiver& r = m_frame->Receiver();
        std::string flags;
        for (bool on : {r.Receiving(), r.MonitorOn(), r.CaptureOpen(), r.PlaybackOpen()}) {
            flags += on ? '1' : '0';
        }
        return flags;
    }
    // The start command's text as the receive menu shows it when opened.
    QString StartText() {
        m_frame->UpdateMenu(m_frame->ReceiveMenu());
        return m_frame->CommandAction(ID_RECEIVE_START)->text();
    }

    velto::CFakeWaveService m_service;
    std::unique_ptr<CMainFrame> m_frame;
    // The audio layer's boxes, "caption: text".
    QStringList m_audioBoxes;
};

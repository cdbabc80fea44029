#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <memory>
#include <thread>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/FakeWaveService.h"

// A frame on the scripted audio service, with an empty profile.
class FrameTest : public ::testing::Test {
protected:
    FrameTest() {
        QSettings().clear();
        velto::SetWaveService(&m_service);
        m_frame = std::make_unique<CMainFrame>();
    }
    ~FrameTest() override {
        m_frame.reset();
        velto::SetWaveService(nullptr);
        QSettings().clear();
    }

    // Completes n capture buffers filled with `value`, on a driver thread.
    void Complete(int n, std::int16_t value = 0) {
        std::thread driver([&] {
            for (int k = 0; k < n; ++k) ASSERT_TRUE(m_service.CompleteBuffer(value));
        });
        driver.join();
    }
    // Completes one buffer and handles its notification, as the event loop would.
    void Cycle(int n = 1, std::int16_t value = 0) {
        for (int k = 0; k < n; ++k) {
            Complete(1, value);
            Deliver();
        }
    }
    void Deliver() { QCoreApplication::sendPostedEvents(m_frame.get(), WM_CAPTUREDATA); }
    void RunPosted() { QCoreApplication::sendPostedEvents(m_frame.get(), QEvent::MetaCall); }
    int Count(velto::FakeCall call) const {
        int n = 0;
        for (velto::FakeCall c : m_service.Calls()) n += c == call ? 1 : 0;
        return n;
    }

    velto::CFakeWaveService m_service;
    velto::CWarningRecorder m_warnings;
    std::unique_ptr<CMainFrame> m_frame;
};

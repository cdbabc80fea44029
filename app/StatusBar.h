#pragma once

#include <QStatusBar>
#include <QString>
#include <map>
#include <optional>

#include "health/InputHealth.h"
#include "health/ReceptionHealth.h"

class CElidedLabel;
class QHBoxLayout;
class QLabel;

// The main window's status bar, three rows high, so that each fits the
// window's width at fonts up to 12 points. The upper row shows whether
// reception runs, from which device, and on its right the feed of the system
// clock; the middle row holds what others add (the decoded time); the lower
// row tells about the input: the most urgent warning that stands (the clock
// feed's trouble among them), or else the input's state. Nothing here is modal.
class CStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit CStatusBar(QWidget* parent = nullptr);

    // Adds a widget to the middle row.
    void AddPermanent(QWidget* widget);

    // The card's name, "既定のデバイス" or the simulator's name.
    void SetDevice(const QString& name);
    void SetReceiving(bool receiving);
    // The input's state, judged at the capture's rate.
    void SetInput(velto::InputState state, int sampleRate);
    void OnHealthEvent(const velto::HealthEvent& event);
    // The clock feed: off, or on with the seconds since the daemon last took
    // a sample (none yet: empty) and its trouble (empty when none).
    void SetClockFeedOff();
    void SetClockFeed(std::optional<double> secondsSinceTaken, const QString& trouble);

    QString DeviceText() const { return m_deviceName; }
    QString ReceptionText() const;
    QString ClockFeedText() const;
    // What the lower row says (shortened with "…" where it would not fit).
    QString MessageText() const { return m_messageText; }
    // Whether the lower row shows its text whole.
    bool MessageFits() const;
    bool ShowsWarning() const { return !m_warnings.empty(); }

private:
    void ShowMessage();
    void FitMessage();
    void SetClockFeedTrouble(const QString& trouble);

    QHBoxLayout* m_upper = nullptr;
    QLabel* m_reception = nullptr;  // owned by Qt parenthood, like the others
    CElidedLabel* m_device = nullptr;
    QLabel* m_clockFeed = nullptr;
    QHBoxLayout* m_middle = nullptr;
    QLabel* m_icon = nullptr;
    CElidedLabel* m_message = nullptr;
    QString m_deviceName;
    QString m_messageText;
    bool m_receiving = false;
    velto::InputState m_input = velto::InputState::Unknown;
    int m_inputRate = 0;
    // Standing warnings by urgency (the enum's order is not).
    std::map<int, QString> m_warnings;
};

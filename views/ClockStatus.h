#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <optional>

#include "station/CivilTime.h"
#include "timecode/DecoderEvents.h"

// The decoded time for the main window's status bar: the JST date and time,
// ticking with the decoder's seconds, the state of reception, C/N0, and while
// the time is valid how far the system clock is from JJY. No time is shown
// unless the decoder holds a valid one.
class CClockStatus : public QWidget {
    Q_OBJECT

public:
    explicit CClockStatus(QWidget* parent = nullptr);

    // systemOffsetMs: the system clock minus JJY at this second's on-time
    // point, when the capture's timing is known.
    void OnSecond(const velto::DecoderSecond& s, std::optional<double> systemOffsetMs = {});
    void OnStatus(const velto::DecoderStatus& s);
    // Reception stopped: the state only, as at the start.
    void Clear();
    // The civil time the time is shown in (JST until told otherwise).
    void SetZone(velto::CivilZone zone) { m_zone = zone; }

    QString TimeText() const { return m_time->text(); }
    QString StateText() const { return m_state->text(); }
    QString Cn0Text() const { return m_cn0->text(); }
    QString OffsetText() const { return m_offset->text(); }
    // Where the time is drawn, in this widget's coordinates.
    QRect TimeArea() const { return m_time->geometry(); }

private:
    void SetState(velto::ReceptionState state);
    void ForgetTime();

    QLabel* m_time = nullptr;  // owned by Qt parenthood, like the others
    QLabel* m_state = nullptr;
    QLabel* m_cn0 = nullptr;
    QLabel* m_offset = nullptr;
    std::optional<velto::ReceptionState> m_shownState;
    velto::CivilZone m_zone = velto::CivilZone::Japan;
};

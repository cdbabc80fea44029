#pragma once

#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/SystemTime.h"
#include "station/CivilTime.h"
#include "timecode/DecoderEvents.h"

// The decoded time for the main window's status bar: the JST date and time
// now, the state of reception, C/N0, and while the time is valid how far the
// system clock is from JJY. No time is shown unless the decoder holds a valid
// one.
//
// The decoder judges a second some seconds after it began; the time shown is
// the newest judged second carried on to the present by the system clock
// from the moment its on-time point was heard, and it turns at each true
// second's start (a timer set for the next edge), not when a buffer arrives.
class CClockStatus : public QWidget {
    Q_OBJECT

public:
    // The second the clock shows: its POSIX time and, for an inserted leap
    // second, 60 (else -1).
    struct Present {
        std::int64_t utcUnix;
        int leapSecond;
    };
    using Clock = std::function<velto::SystemTime()>;

    explicit CClockStatus(QWidget* parent = nullptr);

    // systemOffsetMs: the system clock minus JJY at this second's on-time
    // point, when the capture's timing is known. heardAt: when, by the
    // system clock, the on-time point reached the antenna; without it no
    // time can be carried to the present, and none is shown.
    void OnSecond(const velto::DecoderSecond& s, std::optional<double> systemOffsetMs = {},
                  std::optional<velto::SystemTime> heardAt = {});
    void OnStatus(const velto::DecoderStatus& s);
    // Reception stopped: the state only, as at the start.
    void Clear();
    // The civil time the time is shown in (JST until told otherwise).
    void SetZone(velto::CivilZone zone) { m_zone = zone; }

    // The second shown now, if any.
    std::optional<Present> Shown() const { return m_shown; }
    // Told each time the shown second changes (or goes).
    void SetOnTick(std::function<void()> onTick) { m_onTick = std::move(onTick); }
    // Where "now" comes from (the system clock unless a test drives it), and
    // the next tick, which the timer otherwise gives at the second's edge.
    void SetClock(Clock clock) { m_now = std::move(clock); }
    void Tick();
    // The wait the timer was last set to, in ms, from the last tick: to just
    // after the next second's edge. -1 when it is not running.
    int TickInterval() const { return m_timer->isActive() ? m_timer->interval() : -1; }

    QString TimeText() const { return m_time->text(); }
    QString StateText() const { return m_state->text(); }
    QString Cn0Text() const { return m_cn0->text(); }
    QString OffsetText() const { return m_offset->text(); }
    // Where the time is drawn, in this widget's coordinates.
    QRect TimeArea() const { return m_time->geometry(); }

    // The second `elapsed` whole seconds after a judged one: an inserted leap
    // second is counted where its announcement puts it (the last second of
    // the UTC month), a deleted one left out.
    static Present Carried(const velto::DecoderSecond& s, std::int64_t elapsed);

private:
    struct Base {
        velto::DecoderSecond second;
        velto::SystemTime heardAt;
    };
    void SetState(velto::ReceptionState state);
    void ForgetTime();
    void Show(const std::optional<Present>& present);

    QLabel* m_time = nullptr;  // owned by Qt parenthood, like the others
    QLabel* m_state = nullptr;
    QLabel* m_cn0 = nullptr;
    QLabel* m_offset = nullptr;
    QTimer* m_timer = nullptr;
    std::optional<velto::ReceptionState> m_shownState;
    std::optional<Base> m_base;
    std::optional<Present> m_shown;
    Clock m_now;
    std::function<void()> m_onTick;
    velto::CivilZone m_zone = velto::CivilZone::Japan;
};

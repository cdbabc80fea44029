#include "views/ClockStatus.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPalette>
#include <chrono>
#include <cmath>

#include "views/TimeTexts.h"

using velto::ReceptionState;

namespace {

// How long after the last labelled second unlabelled ones keep the clock on.
constexpr double kBridgeSeconds = 2.5;

bool HoldsTime(ReceptionState state) {
    return state == ReceptionState::TimeValid || state == ReceptionState::Flywheel;
}

// The state's badge: green once the time is known, amber while it coasts or
// is still being found, gray without a signal.
QColor StateColour(ReceptionState state) {
    switch (state) {
        case ReceptionState::NoSignal:
            return {160, 160, 160};
        case ReceptionState::SecondLocked:
        case ReceptionState::MinuteLocked:
            return {240, 200, 80};
        case ReceptionState::TimeValid:
            return {90, 200, 110};
        case ReceptionState::Flywheel:
            return {245, 150, 60};
    }
    return {160, 160, 160};
}

// Sized for its widest text, so that the bar does not shift as texts change.
QLabel* FixedLabel(QWidget* parent, const QString& widest, Qt::Alignment align) {
    auto* label = new QLabel(parent);
    label->setMinimumWidth(QFontMetrics(label->font()).horizontalAdvance(widest) + 12);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

// The first second of the UTC month after `utc`.
std::int64_t NextMonth(std::int64_t utc) {
    using namespace std::chrono;
    const year_month_day day{floor<days>(sys_seconds{seconds{utc}})};
    const year_month next = year_month{day.year(), day.month()} + months{1};
    return sys_seconds{sys_days{next / 1}}.time_since_epoch().count();
}

velto::SystemTime SystemNow() {
    using namespace std::chrono;
    return velto::SystemTime::FromNanoseconds(
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

CClockStatus::CClockStatus(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_time = FixedLabel(this, tr("8888年88月88日(月) 88:88:88 JST"), Qt::AlignLeft);
    QString widestState;
    for (ReceptionState state :
         {ReceptionState::NoSignal, ReceptionState::SecondLocked, ReceptionState::MinuteLocked,
          ReceptionState::TimeValid, ReceptionState::Flywheel}) {
        const QString text = velto::StateText(state);
        if (QFontMetrics(font()).horizontalAdvance(text) >
            QFontMetrics(font()).horizontalAdvance(widestState)) {
            widestState = text;
        }
    }
    m_state = FixedLabel(this, widestState, Qt::AlignCenter);
    m_state->setAutoFillBackground(true);
    m_cn0 = FixedLabel(this, QStringLiteral("C/N0 88.8 dB-Hz"), Qt::AlignRight);
    m_offset = FixedLabel(this, tr("PC時計 +8888.8 ms"), Qt::AlignRight);
    m_offset->setToolTip(tr("PCの時計とJJYの差 (PCが進んでいれば正)"));
    for (QLabel* label : {m_time, m_state, m_cn0, m_offset}) {
        layout->addWidget(label);
    }
    m_now = SystemNow;
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &CClockStatus::Tick);
    Clear();
}

void CClockStatus::Clear() {
    ForgetTime();
    m_cn0->clear();
    SetState(ReceptionState::NoSignal);
}

void CClockStatus::ForgetTime() {
    m_base.reset();
    m_timer->stop();
    m_offset->clear();
    Show(std::nullopt);
}

CClockStatus::Present CClockStatus::Carried(const velto::DecoderSecond& s, std::int64_t elapsed) {
    if (elapsed <= 0) {
        return {s.utcUnix, s.secondInMinute == 60 ? 60 : -1};
    }
    // A leap second has the POSIX time of the second after it.
    if (s.secondInMinute == 60) {
        return {s.utcUnix + elapsed - 1, -1};
    }
    const std::int64_t naive = s.utcUnix + elapsed;
    const std::int64_t monthEnd = NextMonth(s.utcUnix);
    if (s.leap == 1 && naive >= monthEnd) {
        return naive == monthEnd ? Present{monthEnd, 60} : Present{naive - 1, -1};
    }
    if (s.leap == 2 && naive >= monthEnd - 1) {
        return {naive + 1, -1};
    }
    return {naive, -1};
}

// The shown second is the judged one's, carried on by the whole seconds
// since it was heard; the timer is set for just after the next edge.
void CClockStatus::Tick() {
    if (!m_base) {
        return;
    }
    const double since = m_now().SecondsAfter(m_base->heardAt);
    const auto elapsed = static_cast<std::int64_t>(std::floor(since));
    Show(Carried(m_base->second, elapsed));
    const double toEdge = static_cast<double>(elapsed + 1) - since;
    m_timer->start(static_cast<int>(std::ceil(toEdge * 1000.0)) + 1);
}

void CClockStatus::Show(const std::optional<Present>& present) {
    const bool same = present && m_shown && present->utcUnix == m_shown->utcUnix &&
                      present->leapSecond == m_shown->leapSecond;
    if (same || (!present && !m_shown)) {
        return;
    }
    m_shown = present;
    m_time->setText(present ? velto::CivilClockText(m_zone, present->utcUnix, present->leapSecond)
                            : QString());
    if (m_onTick) {
        m_onTick();
    }
}

void CClockStatus::SetState(ReceptionState state) {
    if (m_shownState == state) {
        return;
    }
    m_shownState = state;
    m_state->setText(velto::StateText(state));
    QPalette palette = m_state->palette();
    palette.setColor(QPalette::Window, StateColour(state));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_state->setPalette(palette);
}

void CClockStatus::OnSecond(const velto::DecoderSecond& s, std::optional<double> systemOffsetMs,
                            std::optional<velto::SystemTime> heardAt) {
    SetState(s.state);
    // A second heard but left unlabelled (the decoder doubts its rise has
    // stayed put) does not blank the clock at once: it turns on from the
    // last labelled second, which stays right, across one or two of them.
    if (!s.timeValid && HoldsTime(s.state) && m_base && heardAt &&
        heardAt->SecondsAfter(m_base->heardAt) < kBridgeSeconds) {
        return;
    }
    if (!s.timeValid || !HoldsTime(s.state) || !heardAt) {
        ForgetTime();
        return;
    }
    m_base = Base{s, *heardAt};
    m_offset->setText(systemOffsetMs ? tr("PC時計 %1").arg(velto::OffsetText(*systemOffsetMs))
                                     : QString());
    Tick();
}

void CClockStatus::OnStatus(const velto::DecoderStatus& s) {
    SetState(s.state);
    if (!HoldsTime(s.state)) {
        ForgetTime();
    }
    m_cn0->setText(velto::Cn0Text(s.cn0DbHz));
}

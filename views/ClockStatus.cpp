#include "views/ClockStatus.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPalette>

#include "views/TimeTexts.h"

using velto::ReceptionState;

namespace {

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
    Clear();
}

void CClockStatus::Clear() {
    ForgetTime();
    m_cn0->clear();
    SetState(ReceptionState::NoSignal);
}

void CClockStatus::ForgetTime() {
    m_time->clear();
    m_offset->clear();
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

void CClockStatus::OnSecond(const velto::DecoderSecond& s, std::optional<double> systemOffsetMs) {
    SetState(s.state);
    if (!s.timeValid || !HoldsTime(s.state)) {
        ForgetTime();
        return;
    }
    m_time->setText(velto::CivilClockText(m_zone, s.utcUnix, s.secondInMinute));
    m_offset->setText(systemOffsetMs ? tr("PC時計 %1").arg(velto::OffsetText(*systemOffsetMs))
                                     : QString());
}

void CClockStatus::OnStatus(const velto::DecoderStatus& s) {
    SetState(s.state);
    if (!HoldsTime(s.state)) {
        ForgetTime();
    }
    m_cn0->setText(velto::Cn0Text(s.cn0DbHz));
}

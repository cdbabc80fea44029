#include "app/StatusBar.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ElidedLabel.h"
#include "language/LibraryTexts.h"

using velto::InputState;
using velto::WarningCode;

namespace {

int Urgency(WarningCode code) {
    switch (code) {
        case WarningCode::DeviceLost:
            return 0;
        case WarningCode::NoUltrasound:
            return 1;
        case WarningCode::Silence:
            return 2;
        case WarningCode::Clipping:
            return 3;
        case WarningCode::SamplesDropped:
            return 4;
        case WarningCode::StoredDeviceMissing:
            return 5;
        case WarningCode::ClockFeed:
            return 6;
        default:
            break;  // not the input's: told elsewhere
    }
    return 8;
}

QString ClockFeedTroubleText(const QString& trouble) {
    return QCoreApplication::translate("CStatusBar", "時計合わせ: ") + trouble;
}

// A good input has content above a quarter of its rate: what a sound server
// at half the rate would have removed.
QString InputText(InputState state, int sampleRate) {
    switch (state) {
        case InputState::Unknown:
            return QCoreApplication::translate("CStatusBar", "入力を調べています…");
        case InputState::Good:
            return QCoreApplication::translate("CStatusBar",
                                               "入力は良好です (%1 kHz 以上の成分があります)")
                .arg(sampleRate / 4000);
        case InputState::NoUltrasound:
        case InputState::Clipping:
        case InputState::Silence:
            break;
    }
    return {};
}

}  // namespace

CStatusBar::CStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    auto* panel = new QWidget(this);
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    m_upper = new QHBoxLayout;
    m_upper->setSpacing(10);
    m_reception = new QLabel(panel);
    m_reception->setAlignment(Qt::AlignCenter);
    m_reception->setAutoFillBackground(true);
    m_reception->setMinimumWidth(QFontMetrics(m_reception->font()).horizontalAdvance(tr("受信中")) +
                                 16);
    m_device = new CElidedLabel(Qt::ElideMiddle, panel);
    m_device->setMinimumWidth(QFontMetrics(m_device->font()).averageCharWidth() * 12);
    m_clockFeed = new QLabel(panel);
    m_clockFeed->setAutoFillBackground(true);
    m_clockFeed->hide();
    m_upper->addWidget(m_reception);
    m_upper->addWidget(m_device, 1);
    m_upper->addWidget(m_clockFeed);
    rows->addLayout(m_upper);

    m_middle = new QHBoxLayout;
    m_middle->setSpacing(10);
    rows->addLayout(m_middle);

    auto* lower = new QHBoxLayout;
    lower->setSpacing(4);
    // Each row is one line high whatever it shows, so that the window, whose
    // height is fixed with the bar's, never squeezes the strips.
    const int line = QFontMetrics(font()).height() + 4;
    for (QHBoxLayout* row : {m_upper, m_middle, lower}) {
        row->addStrut(line);
    }
    m_icon = new QLabel(panel);
    const int side = QFontMetrics(font()).height();
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    m_icon->setFixedSize(side, side);
    m_message = new CElidedLabel(Qt::ElideRight, panel);
    lower->addWidget(m_icon);
    lower->addWidget(m_message, 1);
    rows->addLayout(lower);

    addWidget(panel, 1);
    SetDevice(tr("既定のデバイス"));
    SetReceiving(false);
}

void CStatusBar::AddPermanent(QWidget* widget) {
    m_middle->addWidget(widget);
    m_middle->addStretch(1);
}

void CStatusBar::SetDevice(const QString& device) {
    const QString name = ShownDeviceName(device);
    m_deviceName = name;
    m_device->setToolTip(tr("録音デバイス: ") + name);
    m_device->SetFullText(name);
}

void CStatusBar::SetClockFeedOff() {
    m_clockFeed->hide();
    m_clockFeed->clear();
    SetClockFeedTrouble(QString());
}

void CStatusBar::SetClockFeed(std::optional<double> secondsSinceTaken, const QString& trouble) {
    QString text = tr("時計合わせ: ");
    if (!trouble.isEmpty()) {
        text += tr("送れません");
    } else if (secondsSinceTaken) {
        text += tr("%1 秒前に送信").arg(static_cast<int>(*secondsSinceTaken));
    } else {
        text += tr("時刻の確定待ち");
    }
    QPalette palette = m_clockFeed->palette();
    palette.setColor(QPalette::Window,
                     trouble.isEmpty() ? QColor(200, 200, 200) : QColor(245, 150, 60));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_clockFeed->setPalette(palette);
    m_clockFeed->setText(text);
    m_clockFeed->setToolTip(trouble.isEmpty() ? tr("chronyd がサンプルを最後に受け取ってからの時間")
                                              : trouble);
    m_clockFeed->show();
    SetClockFeedTrouble(trouble);
}

// The trouble stands in the lower row with the input's warnings.
void CStatusBar::SetClockFeedTrouble(const QString& trouble) {
    const int urgency = Urgency(WarningCode::ClockFeed);
    const QString shown = trouble.isEmpty() ? QString() : ClockFeedTroubleText(trouble);
    const auto standing = m_warnings.find(urgency);
    if ((standing == m_warnings.end() ? QString() : standing->second) == shown) {
        return;
    }
    if (shown.isEmpty()) {
        m_warnings.erase(urgency);
    } else {
        m_warnings[urgency] = shown;
    }
    ShowMessage();
}

QString CStatusBar::ClockFeedText() const { return m_clockFeed->text(); }

void CStatusBar::SetReceiving(bool receiving) {
    m_receiving = receiving;
    m_reception->setText(ReceptionText());
    QPalette palette = m_reception->palette();
    palette.setColor(QPalette::Window, receiving ? QColor(90, 200, 110) : QColor(200, 200, 200));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_reception->setPalette(palette);
    ShowMessage();
}

QString CStatusBar::ReceptionText() const { return m_receiving ? tr("受信中") : tr("停止"); }

void CStatusBar::SetInput(InputState state, int sampleRate) {
    if (state == m_input && sampleRate == m_inputRate) {
        return;
    }
    m_input = state;
    m_inputRate = sampleRate;
    ShowMessage();
}

void CStatusBar::OnHealthEvent(const velto::HealthEvent& event) {
    if (event.raised) {
        m_warnings[Urgency(event.code)] = ShownWarningText(event.text);
    } else {
        m_warnings.erase(Urgency(event.code));
    }
    ShowMessage();
}

bool CStatusBar::MessageFits() const { return m_message->text() == m_messageText; }

// Shortened where it would not fit; the whole text stays in the tooltip.
void CStatusBar::FitMessage() { m_message->SetFullText(m_messageText); }

void CStatusBar::ShowMessage() {
    if (m_warnings.empty()) {
        m_icon->hide();
        m_messageText = m_receiving ? InputText(m_input, m_inputRate) : QString();
        m_message->setToolTip({});
        FitMessage();
        return;
    }
    QString text = m_warnings.begin()->second;
    if (m_warnings.size() > 1) {
        text += tr(" (ほかに %1 件)").arg(m_warnings.size() - 1);
    }
    QStringList all;
    for (const auto& [urgency, warning] : m_warnings) {
        all << warning;
    }
    m_icon->show();
    m_messageText = text;
    m_message->setToolTip(all.join(QLatin1Char('\n')));
    FitMessage();
}

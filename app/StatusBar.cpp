#include "app/StatusBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QVBoxLayout>

using velto::InputState;
using velto::WarningCode;

namespace {

// Widths of the upper row's own labels; the decoded time takes the rest.
constexpr int kDeviceWidth = 150;

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
        default:
            break;  // not the input's: told elsewhere
    }
    return 6;
}

QString InputText(InputState state) {
    switch (state) {
        case InputState::Unknown:
            return QStringLiteral("入力を調べています…");
        case InputState::Good:
            return QStringLiteral("入力は良好です (24 kHz 以上の成分があります)");
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
    m_reception->setMinimumWidth(
        QFontMetrics(m_reception->font()).horizontalAdvance(QStringLiteral("受信中")) + 16);
    m_device = new QLabel(panel);
    m_device->setFixedWidth(kDeviceWidth);
    m_upper->addWidget(m_reception);
    m_upper->addWidget(m_device);
    m_upper->addStretch(1);
    rows->addLayout(m_upper);

    auto* lower = new QHBoxLayout;
    lower->setSpacing(4);
    m_icon = new QLabel(panel);
    const int side = QFontMetrics(font()).height();
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    m_icon->setFixedSize(side, side);
    m_message = new QLabel(panel);
    // Its width is the row's, whatever the text: FitMessage shortens the text.
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lower->addWidget(m_icon);
    lower->addWidget(m_message, 1);
    rows->addLayout(lower);

    addWidget(panel, 1);
    SetDevice(QStringLiteral("既定のデバイス"));
    SetReceiving(false);
}

void CStatusBar::AddPermanent(QWidget* widget) { m_upper->addWidget(widget); }

void CStatusBar::SetDevice(const QString& name) {
    m_deviceName = name;
    m_device->setText(
        QFontMetrics(m_device->font()).elidedText(name, Qt::ElideMiddle, kDeviceWidth));
    m_device->setToolTip(QStringLiteral("録音デバイス: ") + name);
}

void CStatusBar::SetReceiving(bool receiving) {
    m_receiving = receiving;
    m_reception->setText(ReceptionText());
    QPalette palette = m_reception->palette();
    palette.setColor(QPalette::Window, receiving ? QColor(90, 200, 110) : QColor(200, 200, 200));
    palette.setColor(QPalette::WindowText, Qt::black);
    m_reception->setPalette(palette);
    ShowMessage();
}

QString CStatusBar::ReceptionText() const {
    return m_receiving ? QStringLiteral("受信中") : QStringLiteral("停止");
}

void CStatusBar::SetInput(InputState state) {
    if (state == m_input) {
        return;
    }
    m_input = state;
    ShowMessage();
}

void CStatusBar::OnHealthEvent(const velto::HealthEvent& event) {
    if (event.raised) {
        m_warnings[Urgency(event.code)] = QString::fromStdString(event.text);
    } else {
        m_warnings.erase(Urgency(event.code));
    }
    ShowMessage();
}

void CStatusBar::resizeEvent(QResizeEvent* e) {
    QStatusBar::resizeEvent(e);
    FitMessage();
}

bool CStatusBar::MessageFits() const { return m_message->text() == m_messageText; }

// The whole text stays in the tooltip.
void CStatusBar::FitMessage() {
    const int width = m_message->contentsRect().width();
    m_message->setText(
        width > 0 ? QFontMetrics(m_message->font()).elidedText(m_messageText, Qt::ElideRight, width)
                  : m_messageText);
}

void CStatusBar::ShowMessage() {
    if (m_warnings.empty()) {
        m_icon->hide();
        m_messageText = m_receiving ? InputText(m_input) : QString();
        m_message->setToolTip({});
        FitMessage();
        return;
    }
    QString text = m_warnings.begin()->second;
    if (m_warnings.size() > 1) {
        text += QStringLiteral(" (ほかに %1 件)").arg(m_warnings.size() - 1);
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

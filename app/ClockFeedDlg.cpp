#include "app/ClockFeedDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cmath>

#include "receiver/ChronySock.h"

namespace {

const QString kEnabledKey = QStringLiteral("ClockFeed/Enabled");
const QString kSocketKey = QStringLiteral("ClockFeed/ChronySocket");
const QString kLatencyKey = QStringLiteral("ClockFeed/LatencyMs");
// The same bound as the console's --latency-ms.
constexpr double kMaxLatencyMs = 10000.0;

}  // namespace

ClockFeedSettings ClockFeedSettings::Load() {
    const QSettings settings;
    ClockFeedSettings s;
    s.enabled = settings.value(kEnabledKey, false).toBool();
    const QString socket = settings.value(kSocketKey, s.chronySock).toString();
    if (velto::CChronySock::PathFits(socket.toStdString())) {
        s.chronySock = socket;
    }
    bool ok = false;
    const double latency = settings.value(kLatencyKey, 0.0).toDouble(&ok);
    s.latencyMs = ok && std::abs(latency) <= kMaxLatencyMs ? latency : 0.0;
    return s;
}

void ClockFeedSettings::Save() const {
    QSettings settings;
    settings.setValue(kEnabledKey, enabled);
    settings.setValue(kSocketKey, chronySock);
    settings.setValue(kLatencyKey, latencyMs);
}

CClockFeedDlg::CClockFeedDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("時計合わせの設定"));
    setModal(true);
    const ClockFeedSettings s = ClockFeedSettings::Load();

    m_enabled = new QCheckBox(QStringLiteral("受信した時刻を chronyd に送る"), this);
    m_enabled->setChecked(s.enabled);
    m_socket = new QLineEdit(s.chronySock, this);
    m_latency = new QDoubleSpinBox(this);
    m_latency->setRange(-kMaxLatencyMs, kMaxLatencyMs);
    m_latency->setDecimals(1);
    m_latency->setSuffix(QStringLiteral(" ms"));
    m_latency->setValue(s.latencyMs);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("chronyd のソケット:"), m_socket);
    form->addRow(QStringLiteral("受信機の遅延:"), m_latency);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CClockFeedDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(
        new QLabel(QStringLiteral("chrony.conf: refclock SOCK <ソケット> refid JJY poll 2"), this));
    layout->addWidget(buttons);
}

void CClockFeedDlg::accept() {
    ClockFeedSettings s;
    s.enabled = m_enabled->isChecked();
    s.chronySock = m_socket->text().trimmed();
    s.latencyMs = m_latency->value();
    if (!velto::CChronySock::PathFits(s.chronySock.toStdString())) {
        m_problem = QStringLiteral("chronyd のソケットのパスが空か、長すぎます。");
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Velto"), m_problem, QMessageBox::Ok,
                        this);
        if (isVisible()) {
            box.exec();
        }
        return;
    }
    m_problem.clear();
    s.Save();
    QDialog::accept();
}

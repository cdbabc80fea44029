#include "app/ClockFeedDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ProfileProblem.h"
#include "clock/ClockFeedSettings.h"

using velto::ClockFeedSettings;

CClockFeedDlg::CClockFeedDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("時計合わせの設定"));
    setModal(true);
    const ClockFeedSettings s = ClockFeedSettings::Load();

    m_enabled = new QCheckBox(tr("受信した時刻を chronyd に送る"), this);
    m_enabled->setChecked(s.enabled);
    m_socket = new QLineEdit(QString::fromStdString(*s.chronySock), this);
    m_latency = new QDoubleSpinBox(this);
    m_latency->setRange(-ClockFeedSettings::kMaxLatencyMs, ClockFeedSettings::kMaxLatencyMs);
    m_latency->setDecimals(1);
    m_latency->setSuffix(QStringLiteral(" ms"));
    m_latency->setValue(s.latencyMs);

    auto* form = new QFormLayout;
    form->addRow(tr("chronyd のソケット:"), m_socket);
    form->addRow(tr("受信機の遅延:"), m_latency);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CClockFeedDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(
        new QLabel(tr("chrony.conf: refclock SOCK <ソケット> refid JJY poll 2"), this));
    layout->addWidget(buttons);
}

void CClockFeedDlg::accept() {
    ClockFeedSettings s;
    s.enabled = m_enabled->isChecked();
    s.chronySock = m_socket->text().trimmed().toStdString();
    s.latencyMs = m_latency->value();
    if (!ClockFeedSettings::ChronySockFits(*s.chronySock)) {
        m_problem = tr("chronyd のソケットのパスが空か、長すぎます。");
        ShowDialogProblem(this, m_problem);
        return;
    }
    m_problem = s.Save() ? QString() : ProfileUnwritableText();
    if (!m_problem.isEmpty()) {
        ShowDialogProblem(this, m_problem);
    }
    QDialog::accept();
}

#include "app/SoundCardDlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

#include "audio/WaveDevice.h"
#include "audio/WaveService.h"

namespace {

// Dialog units of the 8-point dialog font: 1.5 pixels across and down.
int Dlu(int units) { return units * 3 / 2; }

}  // namespace

CSoundCardDlg::CSoundCardDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("サウンドカードの設定"));
    setFixedSize(Dlu(285), Dlu(69) + 8);
    setModal(true);

    m_list = new QComboBox(this);
    m_list->setEditable(false);
    m_list->setGeometry(Dlu(8), Dlu(21), Dlu(260), m_list->sizeHint().height());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(Dlu(161), Dlu(46), Dlu(50), Dlu(14));
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setGeometry(Dlu(220), Dlu(46), Dlu(50), Dlu(14));
    connect(ok, &QPushButton::clicked, this, &CSoundCardDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    Load();
    Fill();
    connect(m_list, &QComboBox::activated, this, &CSoundCardDlg::OnSelChange);
}

void CSoundCardDlg::Load() {
    const StoredDevice stored = LoadStoredDevice();
    m_deviceId = stored.id;
    m_deviceName = stored.name;
}

// The list is rebuilt from the devices there are now; the stored pair is
// selected only while that number still carries that name.
void CSoundCardDlg::Fill() {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    const int n = velto::WaveService().InGetNumDevs();
    int selected = -1;
    for (int d = 0; d < n; ++d) {
        const QString name =
            TrimTrailingSpaces(QString::fromStdString(velto::WaveService().InGetDevName(d)));
        m_list->addItem(name);
        if (d == m_deviceId && name == m_deviceName) {
            selected = d;
        }
    }
    m_list->setCurrentIndex(selected);
}

void CSoundCardDlg::OnSelChange(int index) {
    if (index < 0) {
        return;
    }
    m_deviceId = index;
    m_deviceName = m_list->itemText(index);
    Fill();
}

void CSoundCardDlg::Save() {
    m_deviceName = TrimTrailingSpaces(m_deviceName);
    SaveStoredDevice({m_deviceId, m_deviceName});
}

void CSoundCardDlg::accept() {
    Save();
    QDialog::accept();
}

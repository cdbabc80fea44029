#include "app/SoundCardDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "audio/WaveDevice.h"
#include "audio/WaveService.h"

namespace {

// Dialog units of the 8-point dialog font: 1.5 pixels across.
int Dlu(int units) { return units * 3 / 2; }

const QString kDefaultDevice = QStringLiteral("既定のデバイス");

}  // namespace

CSoundCardDlg::CSoundCardDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("サウンドカードの設定"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("録音デバイス(&D):"), this);
    m_list = new QComboBox(this);
    m_list->setEditable(false);
    m_list->setMinimumWidth(Dlu(260));
    label->setBuddy(m_list);
    m_current = new QLabel(this);
    m_current->setTextFormat(Qt::PlainText);
    m_current->setWordWrap(true);
    auto* hint = new QLabel(
        QStringLiteral("40 kHz の搬送波を受けるには、96 kHz で録音できるデバイスが必要です。"
                       "サウンドサーバー (PipeWire、PulseAudio) を通る既定のデバイスは"
                       "たいてい 48 kHz なので、カードのハードウェアデバイス "
                       "(名前に hw: を含むもの) を選んでください。"),
        this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSoundCardDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QWidget* w : std::initializer_list<QWidget*>{label, m_list, m_current, hint, buttons}) {
        layout->addWidget(w);
    }
    setFixedWidth(Dlu(285));

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
// selected only while that number still carries that name, and a stored
// number of none selects 既定のデバイス.
void CSoundCardDlg::Fill() {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    m_list->addItem(kDefaultDevice);
    const int n = velto::WaveService().InGetNumDevs();
    int selected = m_deviceId == velto::WAVE_MAPPER ? 0 : -1;
    for (int d = 0; d < n; ++d) {
        const QString name =
            TrimTrailingSpaces(QString::fromStdString(velto::WaveService().InGetDevName(d)));
        m_list->addItem(name);
        if (d == m_deviceId && name == m_deviceName) {
            selected = d + 1;
        }
    }
    m_list->setCurrentIndex(selected);
    if (selected < 0) {
        m_current->setText(
            QStringLiteral("現在の設定: %1 (見つかりません。既定のデバイスで受信します)")
                .arg(m_deviceName));
    } else {
        m_current->setText(QStringLiteral("現在の設定: ") + m_list->itemText(selected));
    }
}

QString CSoundCardDlg::CurrentText() const { return m_current->text(); }

void CSoundCardDlg::OnSelChange(int index) {
    if (index < 0) {
        return;
    }
    m_deviceId = index - 1;
    m_deviceName = index == 0 ? QString() : m_list->itemText(index);
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

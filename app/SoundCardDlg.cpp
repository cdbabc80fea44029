#include "app/SoundCardDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ProfileProblem.h"
#include "audio/WaveDevice.h"
#include "audio/WaveService.h"
#include "language/LibraryTexts.h"
#include "receiver/StationChoice.h"

namespace {

// Dialog units of the 8-point dialog font: 1.5 pixels across.
int Dlu(int units) { return units * 3 / 2; }

QString DefaultDeviceText() {
    return QCoreApplication::translate("CSoundCardDlg", "既定のデバイス");
}

QString Khz(double hz) { return QString::number(hz / 1000.0) + QStringLiteral(" kHz"); }

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CSoundCardDlg::CSoundCardDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("サウンドカードの設定"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* stationLabel = new QLabel(tr("受信する局(&S):"), this);
    m_stations = new QComboBox(this);
    for (const velto::Station& st : velto::Stations()) {
        m_stations->addItem(Text(st.title));
    }
    stationLabel->setBuddy(m_stations);
    auto* rateLabel = new QLabel(tr("サンプリングレート(&F):"), this);
    m_rates = new QComboBox(this);
    rateLabel->setBuddy(m_rates);
    auto* label = new QLabel(tr("録音デバイス(&D):"), this);
    m_list = new QComboBox(this);
    m_list->setEditable(false);
    m_list->setMinimumWidth(Dlu(260));
    label->setBuddy(m_list);
    m_current = new QLabel(this);
    m_current->setTextFormat(Qt::PlainText);
    m_current->setWordWrap(true);
    m_hint = new QLabel(this);
    m_hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSoundCardDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QWidget* w : std::initializer_list<QWidget*>{stationLabel, m_stations, rateLabel, m_rates,
                                                      label, m_list, m_current, m_hint, buttons}) {
        layout->addWidget(w);
    }
    setFixedWidth(Dlu(285));

    Load();
    Fill();
    connect(m_list, &QComboBox::activated, this, &CSoundCardDlg::OnSelChange);
    connect(m_stations, &QComboBox::activated, this, [this] { FillRates(0); });
    connect(m_rates, &QComboBox::activated, this, [this] { ShowHint(); });
}

// The rates the chosen station allows, `rate` selected when among them,
// else its default.
void CSoundCardDlg::FillRates(int rate) {
    const velto::Station& st =
        velto::Stations()[static_cast<std::size_t>(m_stations->currentIndex())];
    const QSignalBlocker quiet(m_rates);
    m_rates->clear();
    for (int r : velto::RatesFor(st)) {
        m_rates->addItem(Khz(r), r);
    }
    const int wanted = m_rates->findData(rate);
    m_rates->setCurrentIndex(wanted >= 0 ? wanted : m_rates->findData(st.sampleRate));
    ShowHint();
}

// At 96 kHz the words of the 40 kHz station as they always were.
void CSoundCardDlg::ShowHint() {
    const velto::Station& st =
        velto::Stations()[static_cast<std::size_t>(m_stations->currentIndex())];
    m_hint->setText(tr("%1 の搬送波を受けるには、%2 で録音できるデバイスが必要です。"
                       "サウンドサーバー (PipeWire、PulseAudio) を通る既定のデバイスは"
                       "たいてい 48 kHz なので、カードのハードウェアデバイス "
                       "(名前に hw: を含むもの) を選んでください。")
                        .arg(Khz(st.carrierHz), Khz(m_rates->currentData().toInt())));
}

QString CSoundCardDlg::HintText() const { return m_hint->text(); }

void CSoundCardDlg::Load() {
    const StoredDevice stored = LoadStoredDevice();
    m_deviceId = stored.id;
    m_deviceName = stored.name;
    const velto::StationChoice station = velto::LoadStoredStation();
    m_stations->setCurrentIndex(static_cast<int>(station.station - velto::Stations().data()));
    FillRates(station.format.rate);
}

// The list is rebuilt from the devices there are now; the stored pair is
// selected only while that number still carries that name, and a stored
// number of none selects 既定のデバイス.
void CSoundCardDlg::Fill() {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    m_list->addItem(DefaultDeviceText());
    const int n = velto::WaveService().InGetNumDevs();
    int selected = m_deviceId == velto::WAVE_MAPPER ? 0 : -1;
    for (int d = 0; d < n; ++d) {
        const QString name =
            TrimTrailingSpaces(QString::fromStdString(velto::WaveService().InGetDevName(d)));
        // The name as the item's data, the offer of 192 kHz beside it.
        const QString shown = ShownDeviceName(name);
        m_list->addItem(velto::WaveService().InSupportsRate(d, 2 * velto::kSampleRate)
                            ? shown + QStringLiteral("  (192 kHz)")
                            : shown,
                        name);
        if (d == m_deviceId && name == m_deviceName) {
            selected = d + 1;
        }
    }
    m_list->setCurrentIndex(selected);
    if (selected < 0) {
        m_current->setText(tr("現在の設定: %1 (見つかりません。既定のデバイスで受信します)")
                               .arg(ShownDeviceName(m_deviceName)));
    } else {
        m_current->setText(tr("現在の設定: ") +
                           (selected == 0
                                ? DefaultDeviceText()
                                : ShownDeviceName(m_list->itemData(selected).toString())));
    }
}

QString CSoundCardDlg::CurrentText() const { return m_current->text(); }

void CSoundCardDlg::OnSelChange(int index) {
    if (index < 0) {
        return;
    }
    m_deviceId = index - 1;
    m_deviceName = index == 0 ? QString() : m_list->itemData(index).toString();
    Fill();
}

bool CSoundCardDlg::Save() {
    m_deviceName = TrimTrailingSpaces(m_deviceName);
    bool saved = SaveStoredDevice({m_deviceId, m_deviceName});
    const velto::Station& st =
        velto::Stations()[static_cast<std::size_t>(m_stations->currentIndex())];
    std::string ignored;
    const std::optional<velto::StationChoice> choice =
        velto::ChooseStation(st.name, m_rates->currentData().toInt(), &ignored);
    if (choice) {
        saved = velto::SaveStoredStation(*choice) && saved;
    }
    return saved;
}

void CSoundCardDlg::accept() {
    m_problem = Save() ? QString() : ProfileUnwritableText();
    if (!m_problem.isEmpty()) {
        ShowDialogProblem(this, m_problem);
    }
    QDialog::accept();
}

#pragma once

#include <QDialog>
#include <QString>

#include "receiver/DeviceProfile.h"

class QComboBox;
class QLabel;

// "サウンドカードの設定": picks the station, its sampling rate and the capture
// device, and stores them when OK is pressed: the device in the profile
// section "SoundCard" ("DeviceId", "Name"), the station in its own
// ("Station": "Name", "Rate"). The device list begins with 既定のデバイス (the
// system's default, stored as -1 and an empty name), which is also the way
// back to it, and marks the devices that offer 192 kHz; the current choice is
// shown above a hint on which device carries the station's carrier.
class CSoundCardDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSoundCardDlg(QWidget* parent = nullptr);

    // Item 0 is 既定のデバイス, item d + 1 the capture device d.
    QComboBox* DeviceList() const { return m_list; }
    // The stations in Stations()'s order, and the rates the chosen one allows.
    QComboBox* StationList() const { return m_stations; }
    QComboBox* RateList() const { return m_rates; }
    QString HintText() const;
    QString CurrentText() const;
    // The sentence shown when OK could not write the profile; empty if none.
    const QString& Problem() const { return m_problem; }

public slots:
    void accept() override;

private:
    void Load();
    void Fill();
    void OnSelChange(int index);
    bool Save();
    void FillRates(int rate);
    void ShowHint();

    QComboBox* m_stations = nullptr;
    QComboBox* m_rates = nullptr;
    QComboBox* m_list = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_hint = nullptr;
    QString m_deviceName;
    int m_deviceId = -1;
    QString m_problem;
};

#pragma once

#include <QDialog>
#include <QString>

#include "receiver/DeviceProfile.h"

class QComboBox;
class QLabel;

// "サウンドカードの設定": picks the capture device and stores the choice in the
// profile section "SoundCard" ("DeviceId", "Name") when OK is pressed. The
// list begins with 既定のデバイス (the system's default, stored as -1 and an
// empty name), which is also the way back to it; the current choice is shown
// above a hint on which device carries the 40 kHz carrier.
class CSoundCardDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSoundCardDlg(QWidget* parent = nullptr);

    // Item 0 is 既定のデバイス, item d + 1 the capture device d.
    QComboBox* DeviceList() const { return m_list; }
    QString CurrentText() const;

public slots:
    void accept() override;

private:
    void Load();
    void Fill();
    void OnSelChange(int index);
    void Save();

    QComboBox* m_list = nullptr;
    QLabel* m_current = nullptr;
    QString m_deviceName;
    int m_deviceId = -1;
};

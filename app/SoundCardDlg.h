#pragma once

#include <QDialog>
#include <QString>

#include "receiver/DeviceProfile.h"

class QComboBox;

// "サウンドカードの設定": picks the capture device and stores the choice in the
// profile section "SoundCard" ("DeviceId", "Name") when OK is pressed.
class CSoundCardDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSoundCardDlg(QWidget* parent = nullptr);

    QComboBox* DeviceList() const { return m_list; }

public slots:
    void accept() override;

private:
    void Load();
    void Fill();
    void OnSelChange(int index);
    void Save();

    QComboBox* m_list = nullptr;
    QString m_deviceName;
    int m_deviceId = -1;
};

#pragma once

#include <QDialog>
#include <QString>

class QComboBox;

// Returns text without its trailing space characters (0x20 only).
QString TrimTrailingSpaces(const QString& text);

// "サウンドカードの設定": picks the capture device and stores the choice in the
// profile section "SoundCard" ("DeviceId", "Name") when OK is pressed.
class CSoundCardDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSoundCardDlg(QWidget* parent = nullptr);

    QComboBox* DeviceList() const { return m_list; }

    QString m_deviceName;
    int m_deviceId = -1;

public slots:
    void accept() override;

private:
    void Load();
    void Fill();
    void OnSelChange(int index);
    void Save();

    QComboBox* m_list = nullptr;
};

// The capture device Start opens: the stored "DeviceId" while that device
// still exists under the stored "Name", else the system's default.
int StoredCaptureDevice();

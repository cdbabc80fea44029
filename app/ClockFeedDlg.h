#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;

// "時計合わせの設定": whether the window sends its samples to chronyd, to
// which socket, and the receiver's delay (velto::ClockFeedSettings). Stored
// when OK is pressed; off unless the user turns it on.
class CClockFeedDlg : public QDialog {
    Q_OBJECT

public:
    explicit CClockFeedDlg(QWidget* parent = nullptr);

    QCheckBox* Enabled() const { return m_enabled; }
    QLineEdit* Socket() const { return m_socket; }
    QDoubleSpinBox* Latency() const { return m_latency; }
    // The sentence shown when the socket path cannot be used or the profile
    // not written; empty if none.
    const QString& Problem() const { return m_problem; }

public slots:
    void accept() override;

private:
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_socket = nullptr;
    QDoubleSpinBox* m_latency = nullptr;
    QString m_problem;
};

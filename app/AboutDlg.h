#pragma once

#include <QDialog>

// "About Velto": icon, name and version, copyright, OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

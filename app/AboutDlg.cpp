#include "app/AboutDlg.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {

// Dialog units of the 9-point UI font, about 1.5 pixels each.
int Dlu(int units) { return units * 3 / 2; }

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("バージョン情報 Velto"));
    setFixedSize(Dlu(171), Dlu(69));

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setGeometry(Dlu(14), Dlu(14), 32, 32);

    auto* name = new QLabel(QStringLiteral("Velto   Version 1.0"), this);
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(Dlu(42), Dlu(14), Dlu(114), Dlu(8) + 4);

    auto* copyright = new QLabel(QStringLiteral("Copyright (C) 2026 Velto Project"), this);
    copyright->setGeometry(Dlu(42), Dlu(26), Dlu(114), Dlu(8) + 4);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(Dlu(113), Dlu(45), Dlu(50), Dlu(14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

#include "app/AboutDlg.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {

// Dialog units of the 9-point UI font, about 1.5 pixels each.
int Dlu(int units) { return units * 3 / 2; }

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("バージョン情報 Velto"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setGeometry(Dlu(14), Dlu(14), 32, 32);

    // The texts keep their places; a label wider than its place in the layout
    // (the font may be larger than the layout assumed) widens the box rather
    // than losing its end.
    // The project's version, as velto --version gives it.
    auto* name = new QLabel(QStringLiteral("Velto   Version " VELTO_VERSION), this);
    name->setTextFormat(Qt::PlainText);
    auto* copyright = new QLabel(QStringLiteral("Copyright (C) 2026 Velto Project"), this);
    auto place = [](QLabel* label, int top) {
        const QSize text = label->sizeHint();
        label->setGeometry(Dlu(42), top, std::max(Dlu(114), text.width()),
                           std::max(Dlu(8) + 4, text.height()));
        return label->geometry();
    };
    const QRect nameRect = place(name, Dlu(14));
    const QRect copyrightRect = place(copyright, std::max(Dlu(26), nameRect.bottom() + 3));
    const int extra = std::max(nameRect.right(), copyrightRect.right()) + 1 - Dlu(42 + 114);
    const int okTop = std::max(Dlu(45), copyrightRect.bottom() + 1 + Dlu(4));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(Dlu(113) + std::max(0, extra), okTop, Dlu(50), Dlu(14));
    setFixedSize(Dlu(171) + std::max(0, extra), okTop - Dlu(45) + Dlu(69));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

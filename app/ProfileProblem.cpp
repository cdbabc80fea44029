#include "app/ProfileProblem.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QWidget>

#include "receiver/DeviceProfile.h"

QString ProfileUnwritableText() {
    return QCoreApplication::translate("ProfileProblem",
                                       "設定を保存できませんでした。%1 に書き込めません。")
        .arg(QDir::toNativeSeparators(ProfilePath()));
}

void ShowDialogProblem(QWidget* dialog, const QString& text) {
    if (!dialog->isVisible()) {
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velto"), text, QMessageBox::Ok, dialog);
    box.exec();
}

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

QString ProfileFallbackText(const velto::ProfileFallbacks& fallbacks) {
    QString text =
        QCoreApplication::translate(
            "ProfileProblem", "設定ファイル %1 の次の値は使えないため、→ の後の値を使います。")
            .arg(QDir::toNativeSeparators(ProfilePath()));
    for (const velto::ProfileFallback& fallback : fallbacks) {
        text += QLatin1Char('\n') + QString::fromStdString(velto::FallbackLine(fallback));
    }
    return text;
}

void ShowDialogProblem(QWidget* dialog, const QString& text) {
    if (!dialog->isVisible()) {
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velto"), text, QMessageBox::Ok, dialog);
    box.exec();
}

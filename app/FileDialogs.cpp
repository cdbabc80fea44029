#include "app/FileDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QStringList>

#include "audio/SoundFileReader.h"

namespace {

QString Run(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::LookIn, QCoreApplication::translate("FileDialogs", "場所:"));
    dialog.setLabelText(QFileDialog::FileName,
                        QCoreApplication::translate("FileDialogs", "ファイル名:"));
    dialog.setLabelText(QFileDialog::FileType,
                        QCoreApplication::translate("FileDialogs", "ファイルの種類:"));
    dialog.setLabelText(QFileDialog::Reject,
                        QCoreApplication::translate("FileDialogs", "キャンセル"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace

QString RecordingFilter() {
    QStringList all;
    QStringList each;
    for (const velto::CSoundFileReader::Format& f : velto::CSoundFileReader::Formats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromStdString(f.extension);
        if (!all.contains(pattern)) {
            all << pattern;
        }
        each << QStringLiteral("%1 (%2)").arg(QString::fromStdString(f.name), pattern);
    }
    return QCoreApplication::translate("FileDialogs", "録音 (%1);;")
               .arg(all.join(QLatin1Char(' '))) +
           each.join(QStringLiteral(";;")) +
           QCoreApplication::translate("FileDialogs", ";;すべてのファイル (*)");
}

QString ChooseRecordingToOpen(QWidget* parent) {
    QFileDialog dialog(parent, QCoreApplication::translate("FileDialogs", "ファイルを開く"),
                       QString(), RecordingFilter());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, QCoreApplication::translate("FileDialogs", "開く"));
    return Run(dialog);
}

QString ChooseRecordingTarget(QWidget* parent) {
    QFileDialog dialog(parent, QCoreApplication::translate("FileDialogs", "録音"), QString(),
                       QStringLiteral("WAV (*.wav)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setLabelText(QFileDialog::Accept, QCoreApplication::translate("FileDialogs", "保存"));
    return Run(dialog);
}

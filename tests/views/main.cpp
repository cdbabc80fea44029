#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "base/NumericLocale.h"

// Widget tests need one application object for the whole run; they draw
// offscreen and look at the pixels of the images the widgets paint. The
// profile and the data (the reception log) live in a directory of the run's
// own, never in the user's.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir profile;
    qputenv("XDG_DATA_HOME", QDir(profile.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    velto::KeepNumbersInCNotation();
    QApplication::setOrganizationName(QStringLiteral("VeltoTests"));
    QApplication::setApplicationName(QStringLiteral("Velto"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "base/NumericLocale.h"

// One application for the run, offscreen; profile and data in the run's own directory.
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

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "base/NumericLocale.h"

// The pictures are drawn into images; their text needs a QGuiApplication,
// which runs on the offscreen platform as the console front end's does.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    velto::KeepNumbersInCNotation();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

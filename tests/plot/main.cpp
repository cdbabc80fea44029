#include <gtest/gtest.h>

#include <QGuiApplication>

#include "base/NumericLocale.h"

// Text in images needs a QGuiApplication, offscreen as the console's.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    velto::KeepNumbersInCNotation();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

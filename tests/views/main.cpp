#include <gtest/gtest.h>

#include <QApplication>

// Widget tests need one application object for the whole run; they draw
// offscreen and look at the pixels of the images the widgets paint.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

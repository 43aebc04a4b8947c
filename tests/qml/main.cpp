#include "setup.h"

#include <QApplication>
#include <QtQuickTest>

// A widget application, as the program's: the window's file dialog is the
// framework's widget dialog where the platform has none, offscreen too.
int main(int argc, char **argv)
{
    QTEST_SET_MAIN_SOURCE_PATH
    QApplication app(argc, argv);
    QmlTestSetup setup;
    return quick_test_main_with_setup(argc, argv, "tervalo_qml", QUICK_TEST_SOURCE_DIR, &setup);
}

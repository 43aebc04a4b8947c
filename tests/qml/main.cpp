#include "setup.h"

#include <QtQuickTest>

QUICK_TEST_MAIN_WITH_SETUP(tervalo_qml, QmlTestSetup)

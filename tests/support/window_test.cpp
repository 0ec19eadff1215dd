#include "window_test.h"

#include <QApplication>
#include <QLocale>
#include <QTest>

void WindowTest::initTestCase() {
    QLocale::setDefault(QLocale::c());
}

void WindowTest::cleanup() {
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

#pragma once

#include <QObject>

// The base of the tests that drive the window: texts shown and compared in the C locale, and no
// window left behind by any test.
class WindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sandbox.h"
#include "stray_boxes.h"

#include <QApplication>
#include <QtTest>

// Like QTEST_MAIN, but inside the sandbox and always with a QApplication (offscreen in CTest).
#define QUORVANE_TEST_MAIN(TestObject)                                                                                 \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        TestSandbox::Prepare();                                                                                        \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        CloseStrayBoxes();                                                                                             \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        const int result = QTest::qExec(&tc, argc, argv);                                                              \
        TestSandbox::Remove();                                                                                         \
        return result;                                                                                                 \
    }

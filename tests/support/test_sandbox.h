#pragma once

#include <QApplication>
#include <QString>
#include <QtTest>

namespace TestSandbox {

// Points the settings store, the temporary folder and the runtime folder at a fresh
// throw-away folder, so no test ever reads or writes the user's own files. Must run
// before the first settings access of the process (QUORVANE_TEST_MAIN does it first).
void Prepare();

// The root of this process's sandbox.
QString Root();

// Points TEMP at a new empty folder inside the sandbox and returns it.
QString FreshTempFolder();

// Removes the sandbox and everything in it.
void Remove();

} // namespace TestSandbox

// Like QTEST_MAIN, but inside the sandbox and always with a QApplication (offscreen in CTest).
#define QUORVANE_TEST_MAIN(TestObject)                                                                                 \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        TestSandbox::Prepare();                                                                                        \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        const int result = QTest::qExec(&tc, argc, argv);                                                              \
        TestSandbox::Remove();                                                                                         \
        return result;                                                                                                 \
    }

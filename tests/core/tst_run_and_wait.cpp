#include "failure.h"
#include "run_and_wait.h"
#include "test_sandbox.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

class RunAndWaitTest : public QObject
{
    Q_OBJECT

private slots:
    void returnsExitStatus_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("expected");
        QTest::newRow("exit 2") << uR"(/bin/sh -c "exit 2")"_s << 2;
        QTest::newRow("success") << u"/bin/true"_s << 0;
        QTest::newRow("killed by signal 9") << uR"(/bin/sh -c "kill -9 $$")"_s << 128 + 9;
    }

    void returnsExitStatus()
    {
        QFETCH(QString, commandLine);
        QElapsedTimer clock;
        clock.start();
        QTEST(int(ShellAndWait(commandLine, 0)), "expected");
        // At least one full poll cycle, and an ended program is noticed within about one more.
        QVERIFY(clock.elapsed() >= 100);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void missingProgramFailsAtOnce()
    {
        QElapsedTimer clock;
        clock.start();
        ShellRunDetails details;
        const qint32 result = ShellAndWait(u"/nonexistent/sox.exe"_s, {u"-n"_s}, 0, &details);
        QVERIFY(result < 0);
        QCOMPARE(result, StartFailureOffset + ENOENT);
        QVERIFY(!details.started);
        QVERIFY(details.errorOutput.contains(u"/nonexistent/sox.exe"_s));
        QVERIFY(clock.elapsed() < 100); // no poll cycle for a failed start
        QVERIFY(ShellAndWait(QString(), 0) < 0);
    }

    void keepsBoundedErrorOutput()
    {
        ShellRunDetails details;
        QCOMPARE(ShellAndWait(u"/bin/sh"_s, {u"-c"_s, u"echo out; echo 'it broke' >&2; exit 1"_s}, 0, &details), 1);
        QVERIFY(details.started);
        QCOMPARE(details.errorOutput, u"it broke"_s);

        // A flood of error output neither blocks the program nor grows without bound.
        QCOMPARE(ShellAndWait(u"/bin/sh"_s, {u"-c"_s, u"head -c 1000000 /dev/zero | tr '\\0' x >&2"_s}, 0, &details),
                 0);
        QCOMPARE(details.errorOutput.size(), MaxErrorOutput);
    }

    void windowEventsRunDuringTheWait()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(50);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ShellAndWait(u"/bin/sleep 1"_s, 0), 0);
        QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks))); // one per poll cycle at least
    }

    void checkedProgramRunsOrIsRefused()
    {
        int checks = 0;
        const ExecutableCheck accept = [&](int openedFile) {
            QVERIFY(openedFile >= 0);
            ++checks;
        };
        // The opened file is started as it is, so the program must not be a symlink.
        const QString shell = QFileInfo(u"/bin/sh"_s).canonicalFilePath();
        QCOMPARE(ShellAndWait(shell, {u"-c"_s, u"exit 3"_s}, 0, nullptr, {accept}), 3);
        QCOMPARE(checks, 1);

        ShellRunDetails details;
        const ExecutableCheck refuse = [](int) { throw Failure(u"not ours"_s); };
        const qint32 result = ShellAndWait(shell, {u"-c"_s, u"touch should-not-exist"_s}, 0, &details, {refuse});
        QVERIFY(result < 0);
        QVERIFY(!details.started);
        QCOMPARE(details.errorOutput, u"not ours"_s);
    }

    void fileSizeLimitStopsAWriter()
    {
        const QString file = TestSandbox::FreshTempFolder() + u"/big"_s;
        const QStringList writeTwoMiB{u"-c"_s, u"head -c 2097152 /dev/zero > \"$0\""_s, file};
        QCOMPARE(ShellAndWait(u"/bin/sh"_s, writeTwoMiB, 0, nullptr, {{}, 1 << 20}), 128 + SIGXFSZ);
        QCOMPARE(QFileInfo(file).size(), 1 << 20);
        QCOMPARE(ShellAndWait(u"/bin/sh"_s, writeTwoMiB, 0, nullptr, {{}, 4 << 20}), 0);
        QCOMPARE(QFileInfo(file).size(), 2 << 20);
    }

    void stopRunningProgramEndsTheWait()
    {
        QTimer::singleShot(300, this, [] { StopRunningProgram(); });
        QElapsedTimer clock;
        clock.start();
        ShellRunDetails details;
        const qint32 result = ShellAndWait(u"/bin/sleep 30"_s, 0, &details);
        QCOMPARE(result, 128 + 15); // SIGTERM
        QVERIFY(details.stopped);
        QVERIFY(clock.elapsed() < 5000);
        StopRunningProgram(); // nothing runs now: no effect
    }
};

QUORVANE_TEST_MAIN(RunAndWaitTest)
#include "tst_run_and_wait.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "child_process.h"
#include "core/failure.h"
#include "core/run/run_and_wait.h"
#include "test_sandbox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// True when the process runs the named program and sleeps in a system call.
bool SleepingIn(pid_t pid, const QByteArray &program)
{
    QFile comm(u"/proc/%1/comm"_s.arg(pid));
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == program && stat.open(QIODevice::ReadOnly) &&
           stat.readAll().split(')').value(1).trimmed().startsWith('S');
}

} // namespace

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
        QStringList arguments = QProcess::splitCommand(commandLine);
        const QString program = arguments.takeFirst();
        QTEST(int(ShellAndWait(program, arguments, 0)), "expected");
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
        QVERIFY(ShellAndWait(QString(), {}, 0) < 0);
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
        QCOMPARE(ShellAndWait(u"/bin/sleep"_s, {u"1"_s}, 0), 0);
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
        const qint32 result = ShellAndWait(u"/bin/sleep"_s, {u"30"_s}, 0, &details);
        QCOMPARE(result, 128 + 15); // SIGTERM
        QVERIFY(details.stopped);
        QVERIFY(clock.elapsed() < 5000);
        StopRunningProgram(); // nothing runs now: no effect
    }

    void blockedToolDiesWithTheProgram()
    {
        const QString sox = QStandardPaths::findExecutable(u"sox"_s);
        if (qEnvironmentVariableIsSet("QUORVANE_BLOCKING_OUTPUT")) {
            // In the program's place: waits for a tool that blocks writing into a pipe nobody reads.
            ShellAndWait(sox,
                         {u"-n"_s, qEnvironmentVariable("QUORVANE_BLOCKING_OUTPUT"), u"synth"_s, u"9"_s, u"sine"_s}, 0);
            return;
        }
        // Orphans come to this process, which can then see how they ended.
        QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        const QString pipe = TestSandbox::FreshTempFolder() + u"/preview.wav"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUORVANE_BLOCKING_OUTPUT"_s, pipe);
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationFilePath(), {u"blockedToolDiesWithTheProgram"_s});
        pid_t tool = 0;
        const auto reap = qScopeGuard([&] {
            if (tool > 0 && ::kill(tool, SIGKILL) == 0)
                ::waitpid(tool, nullptr, 0);
        });
        QTRY_VERIFY_WITH_TIMEOUT((tool = FirstChildProcess(program.processId())) && SleepingIn(tool, "sox"), 10000);
        QTest::qWait(300);
        QVERIFY(SleepingIn(tool, "sox")); // still blocked, not just starting

        program.kill();
        QVERIFY(program.waitForFinished());
        int status = 0;
        pid_t ended = 0;
        QTRY_VERIFY_WITH_TIMEOUT(ended == tool || (ended = ::waitpid(tool, &status, WNOHANG)) == tool, 5000);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGKILL);
    }
};

QUORVANE_TEST_MAIN(RunAndWaitTest)
#include "tst_run_and_wait.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/run_and_wait.h"

#include "core/failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int PollIntervalMs = 100;
constexpr int TerminateGraceMs = 1500;

// The one program that a ShellAndWait call is waiting for, so closing the window can stop it.
QPointer<QProcess> runningProcess;
bool stopRequested = false;
bool waitWithoutWindow = false;

// The error number that starting the program would give, for the start-failure result.
int StartErrorNumber(const QString &program)
{
    if (program.isEmpty())
        return ENOENT;
    if (!program.contains(u'/'))
        return QStandardPaths::findExecutable(program).isEmpty() ? ENOENT : EIO;
    if (::access(QFile::encodeName(program).constData(), X_OK) != 0)
        return errno;
    return EIO;
}

qint32 ExitCodeOf(const QProcess &process)
{
    // A program ended by a signal reports as a shell would: 128 + the signal's number.
    return process.exitStatus() == QProcess::CrashExit ? 128 + process.exitCode() : process.exitCode();
}

void KeepErrorOutput(QProcess &process, QByteArray &kept)
{
    const QByteArray chunk = process.readAllStandardError();
    kept.append(chunk.left(MaxErrorOutput - kept.size()));
}

// Argument vector for starting an already opened program file; built before the fork so the
// child does nothing but the exec.
struct OpenedProgram
{
    int fd = -1;
    std::vector<QByteArray> storage;
    std::vector<char *> argv;

    ~OpenedProgram()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Runs in the child between fork and exec: only async-signal-safe calls. The program dies
// with us, even when we are killed, and never writes more than the limit. The death signal is
// one it cannot catch: the tool finishes its file on SIGTERM, and one blocked in a system call
// (opening a named pipe, say) would not even do that. What it was writing is incomplete anyway.
// Qt starts the child with vfork semantics, on our own stack: the address checker must leave no
// marks there.
[[gnu::no_sanitize_address]] void PrepareChild(struct rlimit fileSizeLimit, pid_t parent, int passedFile)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    ::setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
    if (passedFile >= 0)
        ::fcntl(passedFile, F_SETFD, 0);
}

// Our limit, never above the one this program was given ("ulimit -f"): that one stays in force.
struct rlimit FileSizeLimit(qint64 maxFileSize)
{
    struct rlimit limit
    {
        RLIM_INFINITY, RLIM_INFINITY
    };
    ::getrlimit(RLIMIT_FSIZE, &limit);
    if (maxFileSize > 0) {
        limit.rlim_cur = std::min(limit.rlim_cur, rlim_t(maxFileSize));
        limit.rlim_max = std::min(limit.rlim_max, rlim_t(maxFileSize));
    }
    return limit;
}

} // namespace

// One process started, watched and reaped, with its state in one place.
// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity)
qint32 ShellAndWait(const QString &program, const QStringList &arguments,
                    [[maybe_unused]] std::optional<int> windowStyle, ShellRunDetails *details,
                    const ShellRunOptions &options)
{
    ShellRunDetails ignored;
    ShellRunDetails &run = details ? *details : ignored;
    run = {};

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());

    OpenedProgram opened;
    const ExecutableCheck &check = options.check;
    const struct rlimit fileSizeLimit = FileSizeLimit(options.maxFileSize);
    run.fileSizeLimit = fileSizeLimit.rlim_cur == RLIM_INFINITY ? 0 : qint64(fileSizeLimit.rlim_cur);
    const pid_t parent = ::getpid();
    const int passedFile = options.passedFile;
    if (check) {
        // Check the very file that will run: start it through the descriptor that was checked,
        // so nothing can be swapped in between.
        opened.fd = ::open(QFile::encodeName(program).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (opened.fd < 0) {
            const int error = errno;
            run.errorOutput = u"Cannot start %1: %2"_s.arg(program, SystemError(error));
            return StartFailureOffset + error;
        }
        try {
            check(opened.fd);
        } catch (const std::exception &refusal) {
            run.errorOutput = DescribeException(refusal);
            return StartFailureOffset + EACCES;
        }
        opened.storage.push_back(QFile::encodeName(program));
        for (const QString &argument : arguments)
            opened.storage.push_back(argument.toLocal8Bit());
        for (QByteArray &argument : opened.storage)
            opened.argv.push_back(argument.data());
        opened.argv.push_back(nullptr);
        process.setChildProcessModifier([&opened, fileSizeLimit, parent, passedFile] {
            PrepareChild(fileSizeLimit, parent, passedFile);
            ::fexecve(opened.fd, opened.argv.data(), environ);
            static const char message[] = "The checked program could not be started.\n";
            [[maybe_unused]] auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(127);
        });
    } else {
        process.setChildProcessModifier(
            [fileSizeLimit, parent, passedFile] { PrepareChild(fileSizeLimit, parent, passedFile); });
    }

    process.start();
    if (!process.waitForStarted(-1)) {
        run.errorOutput = u"Cannot start %1: %2"_s.arg(program, process.errorString());
        return StartFailureOffset + StartErrorNumber(program);
    }
    run.started = true;
    runningProcess = &process;
    stopRequested = false;

    QByteArray errorOutput;
    qint32 exitCode = 0;
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (waitWithoutWindow)
            process.waitForFinished(PollIntervalMs);
        else
            QThread::msleep(PollIntervalMs);
        // Query just before the test, so a program that ended during the sleep is noticed now and
        // not one cycle later. (Reaps it when it has ended.)
        if (process.state() != QProcess::NotRunning)
            process.waitForFinished(0);
        exitCode = process.state() == QProcess::NotRunning ? ExitCodeOf(process) : StillActive;
        KeepErrorOutput(process, errorOutput);
        if (exitCode != StillActive)
            break;
        if (options.onPoll)
            options.onPoll();
    }
    runningProcess = nullptr;
    run.stopped = stopRequested;
    run.errorOutput = QString::fromLocal8Bit(errorOutput).trimmed();
    return exitCode;
}

void SetWaitWithoutWindow(bool withoutWindow)
{
    waitWithoutWindow = withoutWindow;
}

void StopRunningProgram()
{
    if (!runningProcess || runningProcess->state() == QProcess::NotRunning)
        return;
    stopRequested = true;
    runningProcess->terminate();
    if (!runningProcess->waitForFinished(TerminateGraceMs)) {
        runningProcess->kill();
        runningProcess->waitForFinished(TerminateGraceMs);
    }
}

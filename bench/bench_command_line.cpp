// SPDX-License-Identifier: GPL-3.0-or-later

// The command line from start to exit, against what it stands in for: a Save of a 1 s tone
// against the bare tool making the same tone, and --help against the smallest Qt Core program
// that shows its help (bench_minimal_core). Medians over pairs of runs made one right after the
// other, so a drift of the shared machine hits both sides of a pair alike.

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

// Starts the program with its output thrown away and waits for it; the time it took in ms, or
// a negative value when it failed.
double TimedRun(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    storage.reserve(arguments.size() + 1);
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(storage.size() + 1);
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const qint64 start = MonotonicNs();
    pid_t pid = 0;
    int status = -1;
    const bool ran = ::posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0 &&
                     ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const qint64 end = MonotonicNs();
    posix_spawn_file_actions_destroy(&quiet);
    return ran ? Ms(end - start) : -1;
}

// The medians of both sides over pairs of runs.
std::pair<double, double> MedianPair(const QString &baseline, const QStringList &baselineArguments,
                                     const QString &program, const QStringList &arguments)
{
    QList<double> baselines;
    QList<double> programs;
    for (int i = 0; i < Repeats(30); ++i) {
        const double base = TimedRun(baseline, baselineArguments);
        const double ours = TimedRun(program, arguments);
        if (base < 0 || ours < 0) {
            Say(u"bench_command_line: %1 or %2 failed"_s.arg(baseline, program));
            std::exit(EXIT_FAILURE);
        }
        baselines.append(base);
        programs.append(ours);
    }
    return {Median(baselines), Median(programs)};
}

} // namespace

int main(int argc, char *argv[])
{
    PrepareSandbox();
    QCoreApplication app(argc, argv);
    const QString program = QStringLiteral(QUORVANE_PROGRAM);
    const QString folder = SandboxRoot() + u"/command-line"_s;
    QDir().mkpath(folder);

    Say(u"\n== 8. Command line: start to exit, medians over pairs of runs"_s);
    const QString sox = QStandardPaths::findExecutable(u"sox"_s);
    const auto [tool, save] = MedianPair(
        sox, {u"-r"_s, u"48000"_s, u"-n"_s, folder + u"/bare.wav"_s, u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s}, program,
        {u"--save"_s, folder + u"/saved.wav"_s, u"--length"_s, u"1"_s, u"--frequencies"_s, u"1000"_s});
    Say(u"   1 s sine, 1000 Hz: bare tool %1 ms, quorvane --save %2 ms, ratio %3"_s.arg(tool, 0, 'f', 1)
            .arg(save, 0, 'f', 1)
            .arg(save / tool, 0, 'f', 2));
    PrintVerdict(u"Command line Save, 1 s tone"_s, u"%1 ms against %2 ms"_s.arg(save, 0, 'f', 1).arg(tool, 0, 'f', 1),
                 u"at most 1.3 x the tool + 30 ms"_s, save <= 1.3 * tool + 30);

    const auto [minimal, help] =
        MedianPair(QStringLiteral(QUORVANE_BENCH_MINIMAL_CORE), {u"--help"_s}, program, {u"--help"_s});
    Say(u"   --help: minimal QCoreApplication %1 ms, quorvane %2 ms, ratio %3"_s.arg(minimal, 0, 'f', 1)
            .arg(help, 0, 'f', 1)
            .arg(help / minimal, 0, 'f', 2));
    PrintVerdict(u"Command line --help"_s, u"%1 x the minimal program"_s.arg(help / minimal, 0, 'f', 2),
                 u"at most 1.2 x"_s, help <= 1.2 * minimal);
    return EXIT_SUCCESS;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_support.h"

#include "sandbox.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace Bench {

void PrepareSandbox()
{
    TestSandbox::Prepare();
    std::atexit(TestSandbox::Remove);
}

QString SandboxRoot()
{
    return TestSandbox::Root();
}

qint64 MonotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

double Median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Max(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

int Repeats(int full)
{
    return qEnvironmentVariableIsSet("QUORVANE_BENCH_QUICK") ? std::max(3, full / 3) : full;
}

qint64 PeakResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression peak(u"^VmHWM:\\s+(\\d+) kB"_s, QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = peak.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

int SpawnAndWait(const QString &program, const QStringList &arguments, double *cpuMs)
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
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return -1;
    if (cpuMs)
        *cpuMs = (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
                 (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1e3;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QString Verdict(bool met)
{
    return met ? u"met"_s : u"MISSED"_s;
}

void PrintVerdict(const QString &name, const QString &figure, const QString &aim, bool met)
{
    Say(u"VERDICT|%1|%2|%3|%4"_s.arg(name, figure, aim, Verdict(met)));
}

void Say(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace Bench

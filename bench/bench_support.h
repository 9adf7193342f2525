// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Small helpers shared by the benchmark programs: a private sandbox, clocks, medians and the
// one-line verdicts that run-benchmarks collects into its summary.
namespace Bench {

// Points the settings store, the temporary folder and the runtime folder at a fresh folder
// that is removed at exit, so a benchmark never touches the user's own files. Call before the
// application object exists.
void PrepareSandbox();
QString SandboxRoot();

// CLOCK_MONOTONIC in nanoseconds: one clock for every process on the machine, so a child can
// report a moment that its parent compares with its own.
qint64 MonotonicNs();
inline double Ms(qint64 ns)
{
    return double(ns) / 1e6;
}

double Median(QList<double> values);
double Max(const QList<double> &values);

// How many times to repeat a measurement: the full count, or a third of it (at least 3) when
// QUORVANE_BENCH_QUICK is set.
int Repeats(int full);

// Peak resident size of this process so far, in kibibytes (VmHWM).
qint64 PeakResidentKiB();

// Starts a program and waits for it without any polling: the plain way to run the tool.
// Returns the exit status, or -1 when it could not be started. cpuMs, when given, receives the
// processor time (user and system) that the program took: on a shared machine a steadier
// measure of its work than the time on the clock.
int SpawnAndWait(const QString &program, const QStringList &arguments, double *cpuMs = nullptr);

// "met" or "MISSED".
QString Verdict(bool met);

// One summary line for run-benchmarks: name | figure | aim | verdict.
void PrintVerdict(const QString &name, const QString &figure, const QString &aim, bool met);

// Prints one line at once (stdout is a pipe under run-benchmarks).
void Say(const QString &line);

} // namespace Bench

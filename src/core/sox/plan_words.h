// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"

#include <QString>
#include <QStringList>

// A typed plan in the tool's words: one run's arguments around its output file.
struct RunWords
{
    QStringList options; // global options, and the null input's format
    // The inputs, when the sound is not the synth effect's on the null input: runs of the tool
    // read through pipes ("|" and each command, quoted for the shell the tool starts them with),
    // steps or sources made apart; or the null input, when the effects make the steps one after
    // another themselves.
    QStringList inputs;
    QStringList outputOptions; // the output's format, when the inputs are these
    QStringList synth;         // the synth effect's words after "synth"
    QString typedSynth;        // the same as typed, blanks and all, for the tone as typed
    QStringList effects;       // after the synth effect (or the inputs)
};

// The run's arguments, writing to output.
QStringList RunArguments(const RunWords &words, const QString &output);

// How the plan's run is written.
struct WriteOptions
{
    // The word the level of a measured plan takes (the shell's gain); empty: such a level has none.
    QString measuredGain;
    // Steps that can be are made in the one run, each an effects chain after the one before: the
    // same samples, without a run of the tool for each. Else each step is a run of its own, read
    // through a pipe, which is how the copied command gives them.
    bool chainSteps = false;
};

// Where a periodic noise's period is written for the tool to read: beside the program that makes
// the runs, "periodic-noise.wav" in its folder.
QString PeriodFileBeside(const QString &program);

// The plan's run; the runs it reads are made by program.
RunWords WritePlan(const TonePlan &plan, const QString &program, const WriteOptions &how = {});

// The arguments of the run that measures the tone of a measured plan: the same tone, to no file,
// reported by the stats effect before its level is set.
QStringList MeasuringArguments(const TonePlan &plan, const QString &program);

// The word as one POSIX shell word: unchanged when it holds only characters that the shell takes
// literally, else in single quotes.
QString ShellQuoted(const QString &word);

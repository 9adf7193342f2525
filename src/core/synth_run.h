// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run_and_wait.h"
#include "core/synth_command.h"

#include <optional>

// The largest file a run may write: a wave file cannot describe more than 4 GiB of sound. Every
// length that the fields let through has an end; this is the backstop.
inline constexpr qint64 MaxToneFileSize = qint64(4) << 30;

// One synthesis run: what it was asked for and what it left behind.
struct SynthRun
{
    ToneRequest request;
    int sampleRate = 0; // of the file that the command writes
    qint32 exitCode = -1;
    ShellRunDetails details;
};

// Runs the command with no window, starting only the trusted tool file from a private folder and
// never more than MaxToneFileSize of output. A request whose fields do not fit their grammar at
// the command's sample rate is refused without starting anything (the reminder is the reason). onPoll, when given, is
// called once every poll cycle while the tool runs.
SynthRun RunSynthCommand(const SynthCommand &command, const ToneRequest &request,
                         const std::function<void()> &onPoll = {});

// Why the file at the path does not hold the whole tone of this length, as the tool makes it at
// the sample rate the command used, or nothing: a file more than a millisecond short is cut short.
// A file that libsndfile cannot read is not judged.
std::optional<QString> CutShortProblem(const QString &outputPath, const QString &length, int sampleRate);

// Why the run did not make its file, or an empty text when it did: only a tool that started,
// ended with status 0, reported no failure and left a regular file at the path that holds the
// whole tone at the command's sample rate (see CutShortProblem) counts. An older file proves
// nothing.
QString SynthRunProblem(const SynthRun &run, const QString &outputPath);

#pragma once

#include "run_and_wait.h"
#include "synth_command.h"

#include <optional>

// The largest file a run may write: a wave file cannot describe more than 4 GiB of sound, and
// without a limit a tone without end would fill the disk.
inline constexpr qint64 MaxToneFileSize = qint64(4) << 30;

// Why the tool would make this request without end, or nothing. With no input the tool takes a
// missing or zero length, or a first word that is not a number, as "forever" and writes until the
// disk is full. A length that only rounds to zero samples is stopped by MaxToneFileSize.
std::optional<QString> EndlessLengthProblem(const ToneRequest &request);

// One synthesis run and what it left behind.
struct SynthRun
{
    qint32 exitCode = -1;
    ShellRunDetails details;
};

// Runs the command with no window, starting only the trusted tool file and never more than
// MaxToneFileSize of output. A request without end is refused without starting anything.
// onPoll, when given, is called once every poll cycle while the tool runs.
SynthRun RunSynthCommand(const SynthCommand &command, const ToneRequest &request,
                         const std::function<void()> &onPoll = {});

// Why the run did not make its file, or an empty text when it did: only a tool that started,
// ended with status 0, reported no failure and left a regular file at the path counts. An older
// file proves nothing.
QString SynthRunProblem(const SynthRun &run, const QString &outputPath);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"
#include "core/run/run_and_wait.h"
#include "core/sound/sound_file.h"
#include "core/sox/synth_command.h"

#include <optional>

// The largest file a run may write: a wave file cannot describe more than 4 GiB of sound. Every
// length that the fields let through fits (see MaxSoundDataBytes); this is the backstop.
inline constexpr qint64 MaxToneFileSize = qint64(4) << 30;

// The quoted path of the deployed tool that begins every command line.
struct SynthToolPart
{
    QString text;
    QString program;
};

SynthToolPart BuildSynthToolPart();

// One synthesis run as readable text and as what the process start really receives: the tool's
// part and the plan's (see SynthArgumentPart).
struct SynthCommand
{
    QString text;           // "\"<temp>/sox.exe\" -r 48000 -n \"<output>\" synth <length> <type> <frequencies>"
    QString program;        // the tool path
    QStringList arguments;  // -r 48000 -n <output> synth, then each field split at blanks
    SampleLayout layout;    // of the file it writes
    QString outputPath;     // the file it writes, as the tool gets it
    int outputArgument = 0; // where outputPath stands in arguments
    qint64 frames = 0;      // the samples of the whole file
};

SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments);

// One synthesis run: what it was asked for and what it left behind.
struct SynthRun
{
    Tone tone;
    int sampleRate = 0; // of the file that the command writes
    qint32 exitCode = -1;
    ShellRunDetails details;
    // What was found wrong with the written file right after the run (cut short, stored at
    // another rate, not put in place), or an empty text.
    QString fileProblem;
    // Nothing was made because the options cannot make this tone (its level would clip): what to
    // tell the person instead of a failure.
    std::optional<QString> reminder;
};

// Runs the command with no window, starting only the trusted tool file from a private folder and
// never more than MaxToneFileSize of output. A command for no samples or more than its layout lets
// a file hold, or a working folder that cannot be made, is refused without starting anything (the
// reason is the folder's problem or the length's reminder); so is an output name that the tool
// would read as a playlist (the run's reminder). The tool writes a private file
// in a folder beside the output that is put in place only when it holds the whole tone (see OutputTarget). Right after
// the run, while the tool is still there, the written file is measured. onPoll, when given, is called once every poll
// cycle while the tool runs, with the size of what it has written so far.
SynthRun RunSynthCommand(const SynthCommand &command, const std::function<void(qint64 writtenBytes)> &onPoll = {});

// Why a file that holds what `written` says is not the whole tone of so many samples made at this
// rate, or an empty text: it is cut short when it is more than a millisecond shorter, in its own
// rate, than the tool makes the tone; and a file whose format stored another rate than the one
// chosen does not play as asked. For a file cut short in writtenFolder, the text also says why
// writing there fails, when it does (no space, a quota, an I/O error).
QString WrittenToneProblem(const SoundFileInfo &written, qint64 frames, int sampleRate,
                           const QString &writtenFolder = {});

// Runs the measuring command of a measured plan, the same tone to no file, and sets the plan's
// level from what the tool reports. An empty text when it did (the plan may then hold a reminder),
// else why not, as SynthRunProblem tells it.
QString MeasureTone(const SynthToolPart &tool, TonePlan &plan, const std::function<void()> &onPoll = {});

// Why the run did not make its file, or an empty text when it did: only a tool that started,
// ended with status 0, reported no failure and left a regular file at the path that holds the
// whole tone at the rate chosen (see WrittenToneProblem) counts. An older file proves nothing.
QString SynthRunProblem(const SynthRun &run, const QString &outputPath);

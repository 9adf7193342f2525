// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run/run_and_wait.h"
#include "core/sound/sound_file.h"
#include "core/plan/synth_command.h"
#include "core/plan/tone_plan.h"

#include <optional>

// The largest file a run may write: a wave file cannot describe more than 4 GiB of sound. Every
// length that the fields let through fits (see MaxSoundDataBytes); this is the backstop.
inline constexpr qint64 MaxToneFileSize = qint64(4) << 30;

// One synthesis run: what it was asked for and what it left behind.
struct SynthRun
{
    ToneRequest request;
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
// never more than MaxToneFileSize of output. A request whose fields do not fit their grammar in
// the command's sample layout, or a working folder that cannot be made, is refused without
// starting anything (the reminder or the folder's problem is the reason); so is an output name
// that the tool would read as a playlist (the run's reminder). The tool writes a private file
// beside the output that is put in place only when it holds the whole tone (see OutputTarget). Right after the run,
// while the tool is still there, the written file is measured. onPoll, when given, is called once every poll cycle
// while the tool runs, with the size of what it has written so far.
SynthRun RunSynthCommand(const SynthCommand &command, const ToneRequest &request,
                         const std::function<void(qint64 writtenBytes)> &onPoll = {});

// Why a file that holds what `written` says is not the whole tone of this length made at this
// rate, or an empty text: it is cut short when it is more than a millisecond shorter, in its own
// rate, than the tool makes the tone; and a file whose format stored another rate than the one
// chosen does not play as asked. For a file cut short in writtenFolder, the text also says why
// writing there fails, when it does (no space, a quota, an I/O error).
QString WrittenToneProblem(const SoundFileInfo &written, const QString &length, int sampleRate,
                           const QString &writtenFolder = {});

// Runs the measuring command of a measured plan, the same tone to no file, and sets the plan's
// level from what the tool reports. An empty text when it did (the plan may then hold a reminder),
// else why not, as SynthRunProblem tells it.
QString MeasureTone(const SynthToolPart &tool, TonePlan &plan, const ToneRequest &request,
                    const std::function<void()> &onPoll = {});

// Why the run did not make its file, or an empty text when it did: only a tool that started,
// ended with status 0, reported no failure and left a regular file at the path that holds the
// whole tone at the rate chosen (see WrittenToneProblem) counts. An older file proves nothing.
QString SynthRunProblem(const SynthRun &run, const QString &outputPath);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run/synth_run.h"
#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <functional>
#include <optional>

class CommandSteps;

// Making one tone, as the window's Save and Preview and the command line do it: the fields are
// checked, the tool files deployed, the inputs read, the command built and run with its progress
// reported, and what it left behind judged. Only who reads the inputs and who sees the progress
// differ.

inline const QString ForgotLengthReminder = QStringLiteral("You forgot to input length of audio.");
inline const QString ForgotFrequenciesReminder = QStringLiteral("You forgot to input frequencies.");

// The reminder for a field that does not fit what the tool may be given, or for options that
// cannot make the tone, or nothing. The emptiness of the fields is checked before, on its own.
std::optional<QString> ToneReminder(const ToneRequest &request, const OutputOptions &options);

// The command that makes the tone with a plain "sox" (see CopyableSoxCommand). Fields that make no
// tone are given as typed (the window and the command line remind instead of copying them).
QString CopyableSoxCommand(const ToneRequest &request, const OutputOptions &options);

// The statements of one command that make a tone, with the line number each one reports.
struct ToneJobLines
{
    qint32 deploy;     // the first of the tool files' deployment lines
    qint32 toolPart;   // the tool's path
    qint32 outputPath; // the preview's path, or 0 when the command already has its output
    qint32 arguments;  // reading the inputs into the tool's arguments
    qint32 join;       // the whole command line
    qint32 run;        // running the tool until it ends
};

struct ToneJobInputs
{
    ToneRequest request;
    OutputOptions options;
};

// Called with how far the tone has got (see ToneProgressText) while it is made, and with nothing
// once the run has ended, however it ended.
using ToneJobProgress = std::function<void(const std::optional<QString> &)>;

// Deploys the tool files, reads the inputs (after deployment: edits made until then count),
// builds the command and runs it; a preview's path is chosen on the way. A level that needs the
// tone measured first gets a run of its own before; when it does not fit, nothing is made and the
// run holds the reminder. The caller removes the tool files and judges (SynthRunProblem).
SynthRun MakeTone(CommandSteps &steps, const ToneJobLines &lines, QString &outputPath,
                  const std::function<ToneJobInputs()> &readInputs, const ToneJobProgress &progress);

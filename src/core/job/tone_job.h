// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/tone_plan.h"
#include "core/run/synth_run.h"
#include "core/tone/output_options.h"
#include "core/tone/tone.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <functional>
#include <optional>

class CommandSteps;

// Making one tone, as the window's Save and Preview and the command line do it: the fields are
// checked, the tool files deployed, the inputs read, the command built and run with its progress
// reported, and what it left behind judged. Only who reads the inputs and who sees the progress
// differ.

// The inputs read once and planned once: what a command checks before it asks for anything, and
// then makes, unless the inputs changed in between.
struct PlannedTone
{
    ToneRequest request;
    OutputOptions options;
    ToneReading reading;
    TonePlan plan; // of a tone that was read

    // Why no tone is made of the inputs: the fields do not fit what the tool may be given, or the
    // options cannot make the tone. The emptiness of the fields is checked before, on its own.
    std::optional<ToneRefusal> refusal() const;
};

PlannedTone PlanInputs(const ToneRequest &request, const OutputOptions &options);

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

// Called with how far the tone has got (see ToneProgressText) while it is made, and with nothing
// once the run has ended, however it ended.
using ToneJobProgress = std::function<void(const std::optional<QString> &)>;

// Deploys the tool files, reads and plans the inputs (after deployment: edits made until then
// count; readInputs may hand on a plan made of the same inputs before), builds the command and
// runs it; a preview's path is chosen on the way. A level that needs the
// tone measured first gets a run of its own before; when it does not fit, nothing is made and the
// run holds the reminder. The caller removes the tool files and judges (SynthRunProblem).
SynthRun MakeTone(CommandSteps &steps, const ToneJobLines &lines, QString &outputPath,
                  const std::function<PlannedTone()> &readInputs, const ToneJobProgress &progress);

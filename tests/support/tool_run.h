// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/job/tone_job.h"
#include "core/run/command_steps.h"
#include "core/run/run_and_wait.h"
#include "core/run/synth_run.h"
#include "core/run/tool_files.h"
#include "core/sox/synth_command.h"

#include <algorithm>

// The commands' own deployment, command and removal code, for tests that drive the core without
// a window. A failing deployment statement is thrown, since no error report is there to show it.
namespace ToolRun {

inline void Deploy()
{
    RecordingSteps steps;
    DeployToolFiles(steps, 100);
    steps.throwFirstFailure();
}

inline void Remove()
{
    RecordingSteps steps;
    RemoveToolFiles(steps, 100);
}

// The command the tone's plan gives, run by the deployed tool (for fields that make no tone, the
// command of an empty plan).
inline SynthCommand Command(const QString &outputPath, const ToneRequest &request, const OutputOptions &options = {})
{
    const TonePlan plan = PlanInputs(request, options).plan;
    const SynthToolPart tool = BuildSynthToolPart();
    return JoinSynthCommand(tool, BuildSynthArgumentPart(outputPath, plan, tool.program));
}

// Options from "Key=value" pairs as the settings store holds them.
inline OutputOptions Options(const QString &stored)
{
    OutputOptions options;
    for (const QString &pair : stored.split(u' ', Qt::SkipEmptyParts)) {
        const auto &rows = OutputSettingRows();
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const OutputSettingRow &r) { return r.key == pair.section(u'=', 0, 0); });
        options.restore(row->setting, pair.section(u'=', 1));
    }
    return options;
}

// Makes the tone as the commands do, by their own code: the tool files out for the run, a
// measuring run first when the level needs it. The run's problem, or the reminder, or an empty text.
inline QString Make(const QString &outputPath, const ToneRequest &request, const OutputOptions &options,
                    ShellRunDetails *details = nullptr)
{
    RecordingSteps steps;
    QString path = outputPath;
    const SynthRun run =
        MakeTone(steps, {100, 110, 0, 111, 112, 113}, path, [&] { return PlanInputs(request, options); }, {});
    Remove();
    steps.throwFirstFailure();
    if (details)
        *details = run.details;
    return run.reminder.value_or(SynthRunProblem(run, outputPath));
}

} // namespace ToolRun

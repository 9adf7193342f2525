// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run/command_steps.h"
#include "core/run/run_and_wait.h"
#include "core/plan/synth_command.h"
#include "core/run/synth_run.h"
#include "core/run/tool_files.h"

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

inline SynthCommand Command(const QString &outputPath, const ToneRequest &request, const OutputOptions &options = {})
{
    return JoinSynthCommand(BuildSynthToolPart(), BuildSynthArgumentPart(outputPath, request, options));
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

// Makes the tone as the commands do, with the tool files out for the run: a measuring run first
// when the level needs it. The run's problem, or the reminder, or an empty text.
inline QString Make(const QString &outputPath, const ToneRequest &request, const OutputOptions &options,
                    ShellRunDetails *details = nullptr)
{
    Deploy();
    const SynthToolPart tool = BuildSynthToolPart();
    TonePlan plan = PlanTone(request, options);
    QString problem = plan.measured ? MeasureTone(tool, plan, request) : QString();
    if (problem.isEmpty() && plan.reminder)
        problem = *plan.reminder;
    if (problem.isEmpty()) {
        const SynthCommand command = JoinSynthCommand(tool, BuildSynthArgumentPart(outputPath, request, plan));
        const SynthRun run = RunSynthCommand(command, request);
        problem = SynthRunProblem(run, outputPath);
        if (details)
            *details = run.details;
    }
    Remove();
    return problem;
}

} // namespace ToolRun

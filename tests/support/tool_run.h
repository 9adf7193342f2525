// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/command_steps.h"
#include "core/synth_command.h"
#include "core/tool_files.h"

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

} // namespace ToolRun

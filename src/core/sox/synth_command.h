// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"

#include <QString>
#include <QStringList>
#include <optional>

// What follows the tool's path in a synthesis run's command, as readable text and as what the
// process start really receives. The argument vector is built from the same pieces as the text,
// never by re-parsing it, so an output path is always exactly one argument whatever characters it
// holds.
struct SynthArgumentPart
{
    QString text; // -r 48000 -n "<output>" synth <length> <type> <frequencies>
    QStringList arguments;
    SampleLayout layout;    // of the file it writes
    QString outputPath;     // as the tool gets it
    int outputArgument = 0; // where outputPath stands in arguments
    qint64 frames = 0;      // the samples of the whole file
};

// The plan's command for the file at outputPath. The output options add their global options
// before "-n" and their effects after the synth words; at their defaults the command is the
// plain one above. An output path that starts with "-" is given as "./-...", so the tool never
// takes it for an option. Tones made apart and steps are made by runs of program; steps that can be
// are made by this run itself, one effects chain after another, unless each is to be a run of its own.
SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const TonePlan &plan, const QString &program,
                                         bool runPerStep = false);

// The command that makes the same tone with a plain "sox" into "tone.wav", every argument quoted
// as a POSIX shell needs, for people who want to rerun or adapt it themselves. A tone whose level
// comes from a measuring run gets both runs, joined by the shell, the gain worked out by awk. Each
// step is a run of its own, which makes the same file as the program's one run.
QString CopyableSoxCommand(const TonePlan &plan);

// Why the plan has no command to copy, or nothing when it has one: a periodic noise's period is the
// program's own, and no command alone could make it.
std::optional<QString> NoCopyableCommand(const TonePlan &plan);

// The tool would expand a wildcard in the output's name and write whatever file it matches: the
// arguments with the option that stops it, just before the output.
void WithoutGlobbing(QStringList &arguments, int outputArgument);

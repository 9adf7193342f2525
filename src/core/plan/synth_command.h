// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <QStringList>

struct TonePlan;

// One synthesis run as readable text and as what the process start really receives. The
// argument vector is built from the same pieces as the text, never by re-parsing it, so an
// output path is always exactly one argument whatever characters it holds.
struct SynthCommand
{
    QString text;          // "\"<temp>/sox.exe\" -r 48000 -n \"<output>\" synth <length> <type> <frequencies>"
    QString program;       // the tool path
    QStringList arguments; // -r 48000 -n <output> synth, then each field split at blanks
    int sampleRate = 0;    // samples per second of the file it writes
    int bitsPerSample = 32;
    int channels = 1;
    QString outputPath;     // the file it writes, as the tool gets it
    int outputArgument = 0; // where outputPath stands in arguments
    qint64 frames = -1;     // the samples of the whole file, when not the length field's
};

// The quoted tool path that begins every command line.
struct SynthToolPart
{
    QString text;
    QString program;
};

// Everything after the tool path.
struct SynthArgumentPart
{
    QString text;
    QStringList arguments;
    int sampleRate = 0;
    int bitsPerSample = 32;
    int channels = 1;
    QString outputPath;
    int outputArgument = 0; // where outputPath stands in arguments
    qint64 frames = -1;
};

SynthToolPart BuildSynthToolPart();
// The output options add their global options before "-n" and their effects after the synth
// words; at their defaults the command is the plain one above. An output path that starts with
// "-" is given as "./-...", so the tool never takes it for an option.
SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const ToneRequest &request,
                                         const OutputOptions &options = {});
// The same from a plan already made (a measured plan once its level is set). Tones made apart are
// made by pipedProgram, by default the tool that the command runs.
SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const ToneRequest &request, const TonePlan &plan,
                                         const QString &pipedProgram = {});
// The inputs of a plan's tones made apart, each "|" and the command of its run by program.
QStringList PipedInputs(const TonePlan &plan, const QString &program);
// The same for a plan's steps, in order.
QStringList StepInputs(const TonePlan &plan, const QString &program);
SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments);

// The command that makes the same tone with a plain "sox" into "tone.wav", every argument quoted
// as a POSIX shell needs, for people who want to rerun or adapt it themselves. A tone whose level
// comes from a measuring run gets both runs, joined by the shell, the gain worked out by awk.
QString CopyableSoxCommand(const ToneRequest &request, const OutputOptions &options);

// The word as one POSIX shell word: unchanged when it holds only characters that the shell takes
// literally, else in single quotes.
QString ShellQuoted(const QString &word);

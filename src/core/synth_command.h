#pragma once

#include "tone_request.h"

#include <QString>
#include <QStringList>

// One synthesis run as readable text and as what the process start really receives. The
// argument vector is built from the same pieces as the text, never by re-parsing it, so an
// output path is always exactly one argument whatever characters it holds.
struct SynthCommand
{
    QString text;          // "\"<temp>/sox.exe\" -r 48000 -n \"<output>\" synth <length> <type> <frequencies>"
    QString program;       // the tool path
    QStringList arguments; // -r 48000 -n <output> synth, then each field split at blanks
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
};

inline constexpr int SynthSampleRate = 48000;

SynthToolPart BuildSynthToolPart();
SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const ToneRequest &request);
SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments);

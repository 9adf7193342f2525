// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone.h"
#include "core/tone/tone_level.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Everything a tone takes from the tool, worked out from the tone and the output options. With
// every option at its default it is the plain command: the fields as typed after "synth", then
// the options' effects. The options that need to know the tone (an RMS level, alias-free shapes,
// a noise band) change the words, and may need a measuring run before the tone is made.
struct TonePlan
{
    QStringList toolOptions; // before the null input (or before the inputs of tones made apart)
    QStringList synth;       // the synth effect's words
    // The fields as typed, when the synth effect gets them as they are: what the command shows.
    QString typedSynth;
    // Tones made apart, each by a tool run of its own whose output the tool reads through a pipe
    // (the arguments of each run); when there are some, they are the inputs, and there is no synth.
    QList<QStringList> pipedTones;
    QStringList outputOptions;  // before the output file, when the inputs are tones made apart
    QStringList synthesis;      // effects that finish making the tone, ending at the file's rate
    QStringList level;          // the level's effects
    QStringList softEdges;      // the fades at both ends
    QStringList dither;         // a step's own dither, before what must stay digital zero
    QStringList channelEffects; // which channels sound (and a step's gate and pause)
    SampleLayout layout;        // of the file
    qint64 frames = 0;          // the samples of the whole file (steps and their pauses too)
    LevelTarget target;
    // The level needs the tone's own peak and RMS level, measured by a run of the same tone before
    // (the noises, made the same each time for that); until then level is empty.
    bool measured = false;
    // Measured for each side of a left | right mix whose peaks are only bounded: the peak each
    // channel is brought to. The level is then a gain for each channel.
    QList<double> sidePeakTargets;
    // The tool holds the whole tone before it writes any of it (it normalises the peak).
    bool buffered = false;
    // Why the tone may not be made: nothing runs.
    std::optional<QString> reminder;
    // Steps that play one after another: each made by a tool run of its own whose output the tool
    // reads through a pipe, in order; when there are some, they are the inputs, and there is no
    // synth. Each step's plan is complete, its pause after it.
    std::vector<TonePlan> steps;
    // Every effect after the synth effect: a level that the tool normalises comes after the soft
    // edges, so that it is the tone's peak that reaches it, not a sample the fades take away.
    QStringList effects() const
    {
        return synthesis + (buffered ? softEdges + level : level + softEdges) + dither + channelEffects;
    }
};

TonePlan PlanTone(const Tone &tone, const OutputOptions &options);

// The plain command's plan for fields that make no tone: the fields as typed, the options' words.
// Nothing runs it; it shows what the fields hold, as a copied command.
TonePlan PlanAsTyped(const ToneRequest &fields, const OutputOptions &options);

// The arguments of the run that measures the tone of a measured plan: the same tone, to no file,
// reported by the stats effect before its level is set. Tones made apart come as pipedInputs.
QStringList MeasuringArguments(const TonePlan &plan, const QStringList &pipedInputs = {});

// Sets the measured plan's level from what the measuring run reported: the whole tone's levels,
// or each channel's for a plan measured by side (as many as it has sides). False when the report
// does not hold what the plan needs.
bool ApplyMeasuredLevels(TonePlan &plan, const QList<ToneLevels> &levels);

// The stats effect's report turned into the level's gain by awk, as the program turns it, for a
// measured plan's command that a person runs in a shell: the gain is the shell's "$g".
QString MeasuredGainScript(const TonePlan &plan);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/alias_free.h"
#include "core/plan/periodic_noise.h"
#include "core/plan/sweep_plan.h"
#include "core/tone/output_options.h"
#include "core/tone/sample_layout.h"
#include "core/tone/tone.h"
#include "core/tone/tone_level.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

// How a tone is made, as plain data in the order the sound goes through it: the sources, each
// channel's mix of them, the level, the fades, a burst's window and gate, the channel map, the
// dither and the silence after; or steps that play one after another, each such a plan. Nothing
// here is a word of the tool: core/sox/ writes the command from it, and a renderer of its own
// could make the same sound from the same numbers.

// A periodic tone. The tool makes it from the words typed (the frequency or sweep and its numbers,
// which it reads as the plan does), or band-limited as the design says.
struct PeriodicSource
{
    ShapeKind shape = ShapeKind::Sine;
    QString words;                         // as typed
    std::optional<ToneTerm> term;          // the same, read; nothing for several channels' tones
    std::optional<AliasFreeDesign> design; // made band-limited
    // Made by a run of its own and read through a pipe: each band-limited tone of tones together,
    // and each of their tones that alias-free shapes leave as they are.
    bool apart = false;
    // A multitone's sine on an FFT's bin: the tool gets the term's frequency and phase, every digit
    // of them, as no words typed could give them.
    bool onBin = false;
};

// A noise of its colour: the tool makes it from the words typed after the type (it reads the numbers
// and nothing of a frequency), limited to the band between the range's two frequencies when band is
// set: a twelfth-order band pass, flat within 0.4 dB inside, more than 60 dB down an octave outside.
struct NoiseSource
{
    NoiseColour colour = NoiseColour::White;
    QString words;
    std::optional<ToneTerm> term;
    bool band = false;
};

// A tone burst's sine, from phase zero.
struct BurstSource
{
    double frequency = 0;
};

// A periodic noise: one period that the program makes and writes beside the tool, which reads it
// and repeats it to the length, whole periods.
struct NoisePeriodSource
{
    NoiseColour colour = NoiseColour::White;
    FftBins bins;
    std::shared_ptr<const PeriodicNoiseDesign> design;
};

using ToneSource = std::variant<PeriodicSource, NoiseSource, MeasurementSweep, BurstSource, NoisePeriodSource>;

// One source in a channel of the file, at a gain (1: as made).
struct ChannelGain
{
    int source = 0;
    double gain = 1;
};
using ChannelMix = QList<ChannelGain>;

// How the level is set, after the sources (and their mix).
struct LevelStage
{
    std::optional<double> gainDb; // a gain known in advance
    // The peak is only bounded: the tool finds it, holding the whole tone, and brings it here.
    std::optional<double> normalisedPeakDb;
    QList<double> channelGainsDb; // a gain for each channel
    // Only the tone itself can tell: a run of the same tone measures its peak and RMS level first
    // (a noise's, made the same in both runs), or each channel's peak, to bring to sidePeakTargets.
    bool measured = false;
    QList<double> sidePeakTargets;
};

// A burst in its slot: a sine of so many cycles from the slot's start (under a Hann window of 6.5
// cycles), then digital zero to the slot's end.
struct BurstStage
{
    double cycles = 0;
    bool hann = false;
    qint64 slot = 0;       // samples
    QList<qint64> lengths; // each channel's burst, in samples
};

// The fades of Soft Start and End: a half-sine over this long at each end.
inline constexpr double SoftEdgeSeconds = 0.01;

struct TonePlan
{
    SampleLayout layout; // of the file
    qint64 frames = 0;   // the samples of the whole file (steps and their pauses too)
    LevelTarget target;
    std::optional<QString> reminder; // why the tone may not be made: nothing runs

    QString length; // the sources' length, as typed
    QList<ToneSource> sources;
    QList<ChannelMix> mix; // each channel's sources; empty: the one source, or each channel as made
    LevelStage level;
    bool softEdges = false;
    std::optional<BurstStage> burst;
    ChannelMap channels = ChannelMap::Mono; // where a tone of one channel sounds
    // The one channel of the file's that it sounds in instead, the others digital zero: a turn of
    // each channel in turn.
    std::optional<int> soundingChannel;
    // Dithered to the file's bits before what must stay digital zero (a step's pause, a sweep's
    // silence, a burst's gate).
    std::optional<int> ditherBits;
    qint64 silenceAfter = 0; // samples of digital zero: a step's pause, a sweep's decay
    // Steps that play one after another, each a plan of its own at the tool's own sample size; the
    // file's format is written from them.
    std::vector<TonePlan> steps;
    // The steps are the channels' turns, each the same tone: a level measured once sets them all.
    bool turns = false;
    // The tool's random numbers are the same in every run: a dithered tone is the same file
    // however often it is made, and a measured noise is the noise measured.
    bool repeatable = false;
    bool toolDitherOff = false; // the tool adds no dither of its own as it writes the samples

    // The tool holds the whole tone before it writes any of it (it normalises the peak).
    bool buffered() const { return level.normalisedPeakDb.has_value(); }
    bool measured() const { return level.measured; }
    // What a measuring run makes: the tone of the first turn, or the tone.
    const TonePlan &measuredTone() const { return turns ? steps.front() : *this; }
    // The sources are made by runs of their own, read through pipes.
    bool sourcesApart() const;
    // The period that the run (or a step's) reads, which must be written beside the tool first.
    const NoisePeriodSource *periodRead() const;
};

inline bool TonePlan::sourcesApart() const
{
    for (const ToneSource &source : sources) {
        if (const auto *periodic = std::get_if<PeriodicSource>(&source); periodic && periodic->apart)
            return true;
    }
    return false;
}

inline const NoisePeriodSource *TonePlan::periodRead() const
{
    for (const ToneSource &source : sources) {
        if (const auto *period = std::get_if<NoisePeriodSource>(&source))
            return period;
    }
    return steps.empty() ? nullptr : steps.front().periodRead();
}

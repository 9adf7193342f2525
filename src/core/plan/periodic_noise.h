// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/field_grammar.h"
#include "core/tone/noise_colour.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

// One period of a noise set bin by bin: every bin of an FFT of the period's length in the range
// gets its colour's power over the bin's width (white the same everywhere, pink 3 dB less an
// octave, brown 6), at a phase drawn from a seed that never changes; the bins outside get none.
// Repeated, it is a noise in which an analyser of that length sees, without a window, each bin at
// its level, and each third of an octave at its colour's level however short the measurement.
struct PeriodicNoiseDesign
{
    qint64 firstBin = 0; // the range's bins, both included; none when lastBin < firstBin
    qint64 lastBin = -1;
    std::vector<double> period; // scaled so that its largest sample is 1
    double meanSquare = 0;      // of the period as scaled

    bool empty() const { return lastBin < firstBin; }
    // Peak to RMS, in dB.
    double crestFactorDb() const;
};

// The design of the colour's noise over the bins' range (capped below half the rate). The last one
// asked for is kept, so that a plan made again of the same fields costs no new period.
std::shared_ptr<const PeriodicNoiseDesign> DesignPeriodicNoise(NoiseColour colour, const FftBins &bins, int sampleRate);

// The period as a mono WAVE file at the rate, for the tool to repeat, in 32-bit integer samples:
// the tool's own, which a file of any other sample size is written from.
QByteArray PeriodWaveFile(const PeriodicNoiseDesign &design, int sampleRate);

// What the Done line adds for a periodic noise, "periodic pink noise, 65536-sample period, crest
// factor 11.4 dB"; empty for any other tone.
QString DescribePeriodicNoise(NoiseColour colour, const FftBins &bins, int sampleRate);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/tone.h"

#include <QList>

// A multitone on the bins of an FFT: each tone's bin, its frequency and its phase, and what their
// sum comes to. Every tone makes a whole number of periods in the FFT's length, so the sum repeats
// after it exactly, and its peak and power over one period are those of the whole file.
struct MultitoneDesign
{
    qint64 period = 0;         // samples: the FFT's length
    QList<qint64> bins;        // rising, each once: tones that land on one bin are one tone
    QList<double> frequencies; // hertz, bin * rate / period: exact in binary at the usual rates
    QList<double> phases;      // fractions of a period, as the synth effect adds them
    double peak = 0;           // the sum of the tones at amplitude 1, over one period
    double meanSquare = 0;     // the same: half the number of tones, as each sine brings its own

    // Peak to RMS, in dB: 3.01 for one sine.
    double crestFactorDb() const;
};

// The tones spaced evenly in log frequency over the range, each moved to its nearest bin at the
// rate (never the lowest, DC, nor the middle one or above), with Schroeder's phases
// (phi_n = -pi n (n - 1) / N for the n-th of N tones), which keep the crest factor low.
MultitoneDesign DesignMultitone(const FftBins &bins, int sampleRate);

// What the Done line adds for a tone on FFT bins: a multitone's tones (and how many were asked for,
// when some shared a bin) and its crest factor, "31 tones, crest factor 12.7 dB", or what a
// periodic noise is (see DescribePeriodicNoise); empty for any other.
QString DescribeBins(const Tone &tone);

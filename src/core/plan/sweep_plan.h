// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone.h"

#include <QString>
#include <optional>

// The exponential sweep that measurements deconvolve: x(t) = sin(2π f0 L (e^(t/L) − 1)). With f0 L a
// whole number, every harmonic of the sweep is in phase with the sweep at the moments it passes
// through the same frequency, so the responses of the harmonics that the deconvolution separates
// can be read as well as their levels. It takes L · ln(f2/f1) to cross the band f1 to f2 that was
// typed, and runs on beyond it at both ends, where its fades are: the spectrum at a frequency f comes
// from the stretch of sweep within about sqrt(L/f) seconds of where it passes f (stationary phase),
// so fades inside the band, or a sweep that starts or ends in it, would bend the response there. It
// is followed by a second of digital silence, in which the system's decay is recorded.
struct MeasurementSweep
{
    double from = 0;           // f1, in hertz: the band typed, which a wire reads flat
    double to = 0;             // f2
    double sweepRate = 0;      // L, in seconds: the time the frequency takes to grow e-fold
    double startFrequency = 0; // f0, below f1: a whole number of cycles in L
    double endFrequency = 0;   // what the sweep reaches in its whole number of samples, above f2
    qint64 sweepSamples = 0;   // the sweep without its silence
    qint64 fadeInSamples = 0;  // the lower half of the run below f1: a raised cosine
    qint64 fadeOutSamples = 0; // the upper half of the run above f2
    int sampleRate = 0;

    qint64 silenceSamples() const { return sampleRate; }
    qint64 totalSamples() const { return sweepSamples + silenceSamples(); }
    // How far before the linear response the response of the n-th harmonic lies, in seconds.
    double harmonicLead(int harmonic) const;
};

// The longest measurement sweep, which is also the longest inverse filter that Make Impulse Response
// takes.
inline constexpr int LongestMeasurementSweepSeconds = 600;
// The highest frequency the sweep reaches at a rate, above its band.
double HighestMeasuredFrequency(int sampleRate);

// The sweep for a rising f1 to f2 that crosses them in about lengthSeconds; nothing when the numbers
// make none (a frequency at or above half the rate, no room above f2 for the fade).
std::optional<MeasurementSweep> DesignMeasurementSweep(double from, double to, double lengthSeconds, int sampleRate);

// The sweep that the tone and options make with the measurement sweep on, or why there is none.
struct MeasurementSweepDesign
{
    std::optional<MeasurementSweep> sweep;
    QString reminder;
};
MeasurementSweepDesign DesignRequestedSweep(const Tone &tone, const OutputOptions &options);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/tone_plan.h"

#include <QString>
#include <QStringList>
#include <optional>

// The exponential sweep that measurements deconvolve: x(t) = sin(2π f1 L (e^(t/L) − 1)). With L a
// whole number of periods of f1, every harmonic of the sweep is in phase with the sweep at the
// moments it passes through the same frequency, so the responses of the harmonics that the
// deconvolution separates can be read as well as their levels. The sweep lasts L · ln(f2/f1) and is
// followed by a second of digital silence, in which the system's decay is recorded.
struct MeasurementSweep
{
    double from = 0;           // f1, in hertz
    double to = 0;             // f2, as asked
    double sweepRate = 0;      // L, in seconds: the time the frequency takes to grow e-fold
    qint64 sweepSamples = 0;   // the sweep without its silence
    double endFrequency = 0;   // what the sweep reaches in its whole number of samples
    qint64 fadeInSamples = 0;  // the first period of f1
    qint64 fadeOutSamples = 0; // the last tenth of an octave before f2
    int sampleRate = 0;

    qint64 silenceSamples() const { return sampleRate; }
    qint64 totalSamples() const { return sweepSamples + silenceSamples(); }
    // How far before the linear response the response of the n-th harmonic lies, in seconds.
    double harmonicLead(int harmonic) const;
    // The synth words: the sweep's samples, and the sweep from f1 to the end frequency. The tool
    // reaches its second frequency at the end of the length, so it is given the one that the
    // samples reach: then its sweep is the formula above, sample for sample.
    QStringList synthWords() const;
    // The fades that keep the band edges from ringing: a raised cosine over the first period and
    // over the last tenth of an octave.
    QStringList fadeWords() const;
};

// The sweep for a rising f1 to f2, of about lengthSeconds; nothing when the numbers make none (a
// sweep shorter than its fades, a frequency at or above half the rate).
std::optional<MeasurementSweep> DesignMeasurementSweep(double from, double to, double lengthSeconds, int sampleRate);

// The sweep that the request and options make with the measurement sweep on, or why there is none.
struct MeasurementSweepDesign
{
    std::optional<MeasurementSweep> sweep;
    QString reminder;
};
MeasurementSweepDesign DesignRequestedSweep(const ToneRequest &request, const OutputOptions &options);

// The plan of the measurement sweep: the sweep, its level, its channels and its silence.
TonePlan PlanMeasurementSweep(const Tone &tone, const OutputOptions &options);

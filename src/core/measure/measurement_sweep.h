// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <QStringList>
#include <optional>

struct Tone;
struct TonePlan;

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

// Where Save puts the inverse filter of a sweep saved at this path: beside it, named after it.
QString InverseFilterPath(const QString &sweepPath);
// Where Make Impulse Response puts the response of a recording: beside it, named after it.
QString ImpulseResponsePath(const QString &recordingPath);
// The comment an inverse filter carries, which tells the inverse of an earlier Save of the same
// name from a file of someone else's, and holds the L that the response's start is measured by.
QString InverseFilterComment(const QString &sweepPath, double sweepRate);
// The L of a comment of that form, or nothing.
std::optional<double> SweepRateOfComment(const QString &comment);
// Whether a comment is that of the inverse filter of a sweep saved at that path.
bool IsInverseFilterComment(const QString &comment, const QString &sweepPath);

// Whether a file is at the name the inverse filter of a sweep saved at sweepPath takes, and is not
// the inverse filter of an earlier sweep of that name (which is the sweep's own, to be replaced).
bool InverseFilterNameTaken(const QString &sweepPath);

// After a measurement sweep is saved at sweepPath: writes its inverse filter beside it, through
// the measuring plugin, and returns its path; nothing when the options make no measurement sweep.
// Throws a Failure when it cannot be written; a file of that name is then as it was.
std::optional<QString> WriteInverseFilterBeside(const QString &sweepPath, const ToneRequest &request,
                                                const OutputOptions &options);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QtPlugin>
#include <functional>
#include <limits>

// What the measuring plugin offers: the inverse filter of a saved sweep, and the impulse response
// of a recording. It brings libsndfile and FFTW, so it is loaded only when they are used.

// An impulse response that was written.
struct ImpulseResponseMade
{
    qint64 frames = 0;      // of the written file
    qint64 peakFrame = 0;   // where the linear response peaks in it
    qint64 delayFrames = 0; // how long after the recording's start it peaks: the system's delay
    double peakDb = 0;      // its level, full scale being 0 dB
    int sampleRate = 0;
    int channels = 0;
    double recordingPeak = 0; // the recording's largest sample, full scale being 1
    // The level of what follows the response's decay (the last quarter of the file after its peak),
    // in dBFS: the noise that the peak stands out of.
    double noiseDb = -std::numeric_limits<double>::infinity();
};

// Called with the share done (0 to 1) now and then; false stops the work, which then throws a
// Failure that says "Cancelled.".
using MeasureProgress = std::function<bool(double share)>;

class MeasurePlugin
{
public:
    virtual ~MeasurePlugin() = default;
    // Writes the inverse filter (see InverseFilter) of the sweep in the first sweepSamples frames of
    // the sound file at sweepPath (its loudest channel: Left Only and Right Only leave the other
    // silent), as 32-bit float at its rate, with the comment. Throws a Failure with the reason when
    // it cannot.
    virtual void writeInverseFilter(const QString &sweepPath, qint64 sweepSamples, double sweepRate,
                                    double endFrequency, const QString &inversePath, const QString &comment) const = 0;
    // The comment a sound file carries; empty when it has none or cannot be read.
    virtual QString comment(const QString &path) const = 0;
    // Convolves each channel of the recording with the inverse filter and writes the response to
    // outputPath as 32-bit float with the comment, its samples as they come (above 1 too), from
    // leadSeconds before its linear response's peak (or from its start, and always when leadSeconds
    // is negative) to the end of the recording. Refuses, with a Failure that says why and nothing
    // written, a recording or a filter that cannot be read, holds no sound or samples that are no
    // numbers, has more than MostChannels channels or another rate than the other; a recording
    // longer than an hour, a filter longer than LongestFilterSeconds, and work that would take more
    // than MostMeasuringBytes of memory.
    virtual ImpulseResponseMade makeImpulseResponse(const QString &recordingPath, const QString &inversePath,
                                                    const QString &outputPath, double leadSeconds,
                                                    const QString &comment, const MeasureProgress &progress) const = 0;
};

#define QUORVANE_MEASURE_PLUGIN_IID "example.quorvane.MeasurePlugin/2.2"
Q_DECLARE_INTERFACE(MeasurePlugin, QUORVANE_MEASURE_PLUGIN_IID)

inline const QString MeasurePluginFile = QStringLiteral("quorvane-measure.so");

// What Make Impulse Response takes at most: an hour of recording, a filter as long as the longest
// measurement sweep, 32 channels, and a gigabyte of memory for the work.
inline constexpr int LongestRecordingSeconds = 3600;
inline constexpr int LongestFilterSeconds = 600;
inline constexpr int MostChannels = 32;
inline constexpr qint64 MostMeasuringBytes = 1000000000;

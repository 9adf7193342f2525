// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/tone_analysis.h"

#include <QString>
#include <QStringList>

// What the tone window reads from an impulse response's spectra: the frequency response smoothed
// over a fraction of an octave, its phase, and the harmonic distortion against the frequency that
// excites it. The bands are fractional octaves as IEC 61260-1 draws them (base ten: an octave is
// 10^0.3), and a band's level is the mean power of the bins within it, so that smoothing keeps a
// flat response where it is.

// The smoothings offered, as bands per octave.
inline constexpr std::array<int, 4> ResponseSmoothings{3, 6, 12, 24};

struct ResponsePoint
{
    double hertz = 0;
    double decibels = 0; // the linear response's level, a wire reading 0
    double degrees = 0;  // its phase, time zero at its peak, from -180 to 180
};

// The frequencies a response is read at: 48 a octave across the band swept (10 Hz to half the rate
// when the file does not say).
std::vector<double> ResponseFrequencies(const ResponseAnalysis &response, int sampleRate);

// The channel's linear response at the frequencies, smoothed over 1/bandsPerOctave octave.
std::vector<ResponsePoint> FrequencyResponse(const ResponseAnalysis &response, int channel,
                                             const std::vector<double> &hertz, int bandsPerOctave);

// The order's harmonic (2 to 5) against the linear response at the frequency that excites it, as a
// ratio of amplitudes; NaN where the harmonic or its excitation lies outside the band swept.
double HarmonicDistortion(const ResponseAnalysis &response, int channel, int order, double hertz, int bandsPerOctave);
// The 2nd to 5th harmonics together, the root of the sum of their squares (those in the band).
double TotalHarmonicDistortion(const ResponseAnalysis &response, int channel, double hertz, int bandsPerOctave);

// The channel's response as text that REW and other tools import: comment lines that start with
// '*', then one line a frequency: hertz, dB and degrees.
QString ResponseText(const ResponseAnalysis &response, int channel, int sampleRate, int bandsPerOctave,
                     const QString &source);

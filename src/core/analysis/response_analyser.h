// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/sweep_shape.h"
#include "core/analysis/tone_analysis.h"

// One channel of an impulse response, on FFTW: the samples of region, which starts at the frame
// regionStart of the file and holds its linear response's peak at peakFrame and the harmonics'
// before it, turned into spectra of fftSize (a power of two) as ResponseAnalysis keeps them.
ResponseAnalysis::Channel AnalyseResponseChannel(std::span<const float> region, qint64 regionStart, qint64 peakFrame,
                                                 const SweepShape &shape, int sampleRate, qint64 fftSize);

// The frames a response's linear window takes before its peak (half way to the 2nd harmonic's
// response) and at most after it.
qint64 LinearResponseLead(const SweepShape &shape, int sampleRate);
inline constexpr qint64 LongestResponseTail = qint64(1) << 19;

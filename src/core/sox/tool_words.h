// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"
#include "core/tone/tone.h"

#include <QString>

// The tool's words for the types of tone it makes.
QString ShapeWord(ShapeKind shape);
QString NoiseWord(NoiseColour colour);

// Every number the tool gets, written in one of these forms. Each keeps its precision because the
// files made from them must stay the same from one version to the next.

// Frequencies, gains as factors and seconds: twelve significant digits, far finer than a sample.
inline constexpr int PlainDigits = 12;
// The alias-free designs' numbers, which a later step divides or subtracts: all of a double's.
inline constexpr int DesignDigits = 17;

QString PlainNumber(double value);
QString DesignNumber(double value);

// A number of decibels as the gain effect takes it: four places (GainPlaces), no trailing zeros.
QString DecibelWord(double decibels);

// A fraction as the synth effect's percentages take it: ten places of a percent, far finer than a
// sample, without the last bits of binary rounding.
QString PercentWord(double fraction);
// The same for a phase, where 100 % is 0 %.
QString PhasePercentWord(double fraction);

// A length in samples: "480s".
QString SampleCountWord(qint64 samples);

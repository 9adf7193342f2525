// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/periodic_shape.h"

#include <QString>
#include <algorithm>
#include <optional>

// The frequencies field as numbers, read as the tool reads it, for the options that must know the
// tone rather than pass its words on: a frequency or a sweep, then the offset, phase and shape
// parameters.

// How a sweep moves from its first frequency to its second, by the character between them.
enum class SweepKind
{
    Steady,      // one frequency
    Linear,      // ':'
    SquareLaw,   // '+': the frequency grows with the square of the time
    Exponential, // '/': the same number of semitones every second
    Stepped,     // '-': exponential, the frequency set anew at the start of each period
};

struct ToneTerm
{
    QString word;      // the frequency or sweep as typed; empty when the field gives none
    QString fromWord;  // its first frequency as typed
    double from = 440; // hertz
    double to = 440;
    SweepKind sweep = SweepKind::Steady;
    ShapeParameters parameters;

    double lowest() const { return std::min(from, to); }
    double highest() const { return std::max(from, to); }
    // The frequency at a share (0 to 1) of the tone's length, as the tool moves it.
    double frequencyAt(double share) const;
};

// One frequency word: "440", "1k", "%-12" (semitones from A4) or a note such as "A4" or "C#5".
std::optional<double> ParseFrequency(const QString &word);

// The field as the tool would read it after a periodic type, or nothing when the tool would refuse
// it (a parameter out of its range, too many of them, a word that is no number).
std::optional<ToneTerm> ParseToneTerm(const QString &frequencies);

// The shape that a type word names, or nothing for the noises.
std::optional<ShapeKind> ShapeOfWaveform(const QString &waveform);

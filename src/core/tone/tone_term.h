// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"

#include <QString>
#include <algorithm>
#include <optional>

// The frequencies field as numbers, read as the tool reads it: a frequency or a sweep, then the
// offset, phase and shape parameters.

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

    // An exponential sweep from or to 0 Hz never gets anywhere: the tool refuses it when it runs.
    bool toolRefuses() const { return sweep >= SweepKind::Exponential && from * to == 0; }
    double lowest() const { return std::min(from, to); }
    double highest() const { return std::max(from, to); }
    // The frequency at a share (0 to 1) of the tone's length, as the tool moves it.
    double frequencyAt(double share) const;
};

// One frequency word: "440", "1k", "%-12" (semitones from A4) or a note such as "A4" or "C#5".
std::optional<double> ParseFrequency(const QString &word);

// The frequencies field of a periodic tone, as the tool reads it: the one description of what the
// field takes. Each channel's tone is a frequency or a sweep, then up to five numbers (the offset
// from -100 to 100 %, the phase and three shape parameters from 0 to 100 %); the first may be the
// numbers alone, its frequency left at the tool's 440 Hz, and a word that is no more of them
// starts the next channel's. Nothing when the tool would refuse the field or read more into it:
// an empty text, a word that is no frequency or number, a number out of its range.
std::optional<QList<ToneTerm>> ParseToneTerms(const QString &frequencies);

// The same for a field that holds one channel's tone, or nothing.
std::optional<ToneTerm> ParseToneTerm(const QString &frequencies);

// True when the word is one that a tone may hold: a frequency, a sweep, or a plain number.
bool IsToneWord(const QString &word);

// The shape that a type word names, or nothing for the noises.
std::optional<ShapeKind> ShapeOfWaveform(const QString &waveform);

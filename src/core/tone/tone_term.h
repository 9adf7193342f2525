// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"

#include <QString>
#include <algorithm>
#include <optional>

// One tone of the frequencies field as numbers, as the tool reads it: a frequency or a sweep, then
// the offset, phase and shape parameters (field_grammar.h reads them).

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

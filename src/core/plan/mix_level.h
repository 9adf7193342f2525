// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"
#include "core/tone/tone_term.h"

#include <QList>

// The mean square of periodic tones summed in one channel, as the tool makes them: what an RMS
// level of tones together is set from.

// One tone of a channel, as far as the channel's level is concerned.
struct SideTone
{
    double amplitude = 1; // relative to the channel's loudest
    PeriodicShape shape;
    ToneTerm term;
    double meanSquare = 0; // its own, over the tone, as it is made
    double scale = 1;      // it is made at this many times its shape's series
    // A band-limited tone holds its harmonics below half the rate; a plain one holds them all (and
    // their aliases).
    bool bandLimited = false;
};

// A steady tone's samples visit few phases when its frequency is a simple fraction of the rate;
// their mean square then differs from the shape's.
double SampledMeanSquare(const PeriodicShape &shape, const ToneTerm &term, qint64 samples, int sampleRate);

// The mean square of a channel's tones summed. Plain steady tones whose samples repeat within a few
// thousand are added up sample by sample, as the tool makes them. Otherwise from their series:
// the means add, each tone brings its own power, and tones that share harmonics add those
// coherently, in phase or against it.
double SideMeanSquare(const QList<SideTone> &tones, qint64 samples, int rate);

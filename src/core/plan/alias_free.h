// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"
#include "core/tone/tone_term.h"

#include <optional>
#include <vector>

// Square, triangle, sawtooth, trapezium and exp tones that hold only their own harmonics below
// half the sample rate. The tool still makes every sample; what changes is how it is asked to:
//
// - Additive: one sine per harmonic, each on a channel of its own, summed by remix with the
//   harmonic's own amplitude and phase. Exact, and cheap while the harmonics are few.
// - Oversampled: the tool's own shape at many times the rate, then the rate effect down to the
//   file's rate, whose filter removes everything above half of it. Whatever folds back at the
//   high rate stays; for a shape without jumps (a triangle) it falls fast with the factor.
// - Integrated: a square is the slope of a triangle, a sawtooth the slope of its own square
//   (saw * saw, made by the synth's multiplying mode), an exp shape the slope of a square times
//   the exp shape plus a ramp. Those have no jumps, so they fold back far less at the high rate;
//   a first difference (biquad) turns them into the wanted shape before the rate effect. A
//   sweep's slope grows with its frequency: at the file's rate the divide effect divides it by
//   the frequency as a share of the highest, which the synth effect makes on a channel of its
//   own (a line, a parabola or an exponential, as the sweep moves).
//
// A steady tone with 12 harmonics or fewer below half the rate is made additively. Otherwise the
// cheaper of the other two that keeps folded components 76 dB below the loudest harmonic (66 dB
// for a sweep) is chosen, or the one that comes closest, at no more than 9.6 MHz. The design holds
// the way and its numbers; the tool's words are written from it in core/sox/.

// The three ways above.
enum class AliasFreeMethod
{
    Additive,
    Oversampled,
    Integrated,
};

// One sine of the additive way: harmonic k of the shape, at the phase (0 to 1) that the tool's
// sine takes, and its gain in the sum.
struct AliasFreeSine
{
    int harmonic = 1;
    double phase = 0;
    double gain = 0;
};

// What the integrated way makes at the high rate: the first difference of it is the shape.
enum class SlopeSource
{
    Triangle,        // for a square: a triangle peaking at the square's duty cycle
    SawtoothSquared, // for a sawtooth, or a triangle peaking at 0 or 100 %: saw * saw
    ExpSum,          // for an exp shape: a square times the exp shape, plus a falling ramp
};

struct IntegratedSlope
{
    SlopeSource source = SlopeSource::Triangle;
    // The first synth effect's offset and shape parameter: the triangle's, or the exp sum's
    // square's (whose duty cycle is where the exp shape peaks).
    double offset = 0;
    double peakAt = 0;
    // The exp sum's depth (the exp shape's second parameter) and its ramp's offset.
    double depth = 0;
    double rampOffset = 0;
    std::optional<double> startShift; // what starts the slope at 0, when it does not start there
    double gain = 0;                  // the first difference's
    bool divided = false;             // a sweep: divided by f / highest at the file's rate
};

// How a band-limited tone is made and what it comes to, in numbers.
struct AliasFreeDesign
{
    AliasFreeMethod method = AliasFreeMethod::Additive;
    int factor = 1;                   // the synth effect works at this many times the file's rate,
    int synthRate = 0;                // this rate
    int components = 1;               // channels of the synth effect
    std::vector<AliasFreeSine> sines; // the additive way's
    IntegratedSlope slope;            // the integrated way's
    double shift = 0;                 // a constant added last: the mean that the sines or the slope leave out
    double alias = 0;      // the folded components' estimated level against the loudest harmonic (additive: 0)
    double peak = 0;       // the largest magnitude of the result (full scale 1)
    bool peakExact = true; // else peak is an upper bound: the level is then set by measuring
    double meanSquare = 0; // over the whole tone
    // The result is this many times the shape's band-limited series (its mean and its harmonics).
    double amplitude = 1;
};

// The tone to make band-limited: its shape, its frequency or sweep with its numbers, and its length
// at the file's rate.
struct AliasFreeRequest
{
    ShapeKind shape = ShapeKind::Sine;
    ToneTerm term;
    qint64 samples = 0;
    int sampleRate = 0;
};

// How to make the tone band-limited, or nothing when it needs nothing (a sine, a frequency of 0,
// a shape the tool makes constant) or cannot be (a single frequency at or above half the rate:
// nothing of it would remain).
std::optional<AliasFreeDesign> DesignAliasFreeTone(const AliasFreeRequest &request);

// How many different phases the samples of a steady tone visit: q when frequency / rate is p / q
// in lowest terms with q up to the limit, else 0.
qint64 PhaseCount(double frequency, int sampleRate, qint64 limit);

// The largest magnitude of the shape's series below half the rate (its mean included) over the
// samples of a steady tone of that length: what normalising its peak finds, rendered ahead.
double BandLimitedPeak(const PeriodicShape &shape, double frequency, int sampleRate, qint64 samples);

// True when an alias-free tone at this single frequency would hold nothing.
bool AboveHalfTheRate(const ToneTerm &term, int sampleRate);

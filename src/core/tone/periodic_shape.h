// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <complex>
#include <vector>

// The tool's periodic waveforms as functions of the phase (0 to 1 over one period), exactly as its
// synth effect computes them: the same formulas, the same defaults for the shape parameters, and
// its offset and phase parameters. Knowing a waveform as a function lets the program work out its
// harmonics, its peak and its power without making a sample.
enum class ShapeKind
{
    Sine,
    Square,
    Sawtooth,
    Triangle,
    Trapezium,
    Exp,
    // The positive half-cycle of a sine, then zero for the other half: which way a speaker moves
    // first. The tool makes it as a sine gated by a square of the same frequency.
    PolarityPulse,
};

// The numbers that may follow a frequency, as fractions (the tool reads percentages). A shape
// parameter below zero was not given, and the shape takes the tool's default for it.
struct ShapeParameters
{
    double offset = 0; // -1 to 1: added, with the shape scaled down to make room
    double phase = 0;  // 0 to 1: added to the phase
    double p1 = -1;
    double p2 = -1;
    double p3 = -1;
};

// The tool makes these as they are even with Alias-Free Waveforms: a sine has nothing to leave
// out, and a polarity pulse is the sine's own half-cycle.
inline bool MadeAsTyped(ShapeKind kind)
{
    return kind == ShapeKind::Sine || kind == ShapeKind::PolarityPulse;
}

class PeriodicShape
{
public:
    PeriodicShape(ShapeKind kind, const ShapeParameters &parameters);

    ShapeKind kind() const { return m_kind; }
    // The sample the tool makes at this phase of the tone (before its phase parameter is added).
    double value(double phase) const;
    // The mean over a period, and the complex amplitude of harmonic k >= 1: the waveform is
    // mean() + the sum over k of 2 Re(harmonic(k) e^(2 pi i k phase)).
    double mean() const { return m_mean; }
    std::complex<double> harmonic(int k) const;
    double meanSquare() const { return m_meanSquare; }
    // The largest magnitude over a period.
    double peak() const { return m_peak; }

private:
    // One piece of the period, from..to, on which the value before the offset is
    // scale * e^(rate (u - from)) + shift, or start + slope (u - from) when rate is 0.
    struct Piece
    {
        double from;
        double to;
        double start = 0;
        double slope = 0;
        double rate = 0;
        double scale = 0;
        double shift = 0;

        double at(double u) const;
    };

    void addPiece(Piece piece);

    ShapeKind m_kind;
    double m_phase;
    double m_scale;  // 1 - |offset|
    double m_offset; // the offset
    std::vector<Piece> m_pieces;
    double m_mean = 0;
    double m_meanSquare = 0;
    double m_peak = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/noise_colour.h"
#include "core/tone/periodic_shape.h"

#include <optional>
#include <variant>
#include <vector>

// A steady tone as the program plays it live: plain values, made on the window's thread and
// handed to the renderer, which makes the same samples as the tool would (the same shapes, the
// same noise generators and band filter) for as long as it plays.

// A periodic tone: the tool's shape at one frequency. Band-limited, it is the shape's Fourier
// series up to the last harmonic below half the sample rate (its mean included), which is what
// the tool makes of it with Alias-Free Waveforms on; the level that the tool's design gives it
// is the caller's gain.
struct LivePeriodic
{
    ShapeKind kind = ShapeKind::Sine;
    ShapeParameters parameters;
    double frequency = 1000;
    bool bandLimited = false;
};

// Limits a noise to low..high hertz, by the band filter that a saved noise gets: twelfth-order
// Butterworth sides, their corners a tenth outside the band, after the noise is brought down by
// 12 dB (a side above half the rate, or a low edge of 0, is left open).
struct NoiseBand
{
    double low = 0;
    double high = 0;

    friend bool operator==(const NoiseBand &, const NoiseBand &) = default;
};

struct LiveNoise
{
    NoiseColour colour = NoiseColour::White;
    std::optional<NoiseBand> band;
    double offset = 0; // -1 to 1, as the tool's offset parameter: the noise is scaled to make room

    friend bool operator==(const LiveNoise &, const LiveNoise &) = default;
};

// One periodic tone or noise and how much of it each channel gets (linear, one gain a channel).
struct LiveSource
{
    std::variant<LivePeriodic, LiveNoise> signal;
    std::vector<double> gains;
};

struct LiveTone
{
    int sampleRate = 48000;
    int channels = 1;
    std::vector<LiveSource> sources;
};

// What a noise comes to, rendered ahead: the level maths of a tone takes it from there.
struct NoiseLevels
{
    double peak = 0;
    double meanSquare = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/live/live_tone.h"

#include <QtGlobal>
#include <array>

// The tool's noises, sample by sample: its random numbers (a 32-bit linear congruential
// generator), white noise as they come, pink noise through its six-pole filter (Paul Kellet's
// refined method), brown noise as their bounded running sum, and the band filter of a saved
// noise. Started from seed 0, a noise gives the very samples of the tool's repeatable mode (-R).
// Plain values only, so that a generator is copied on the audio thread without allocating.
class NoiseGenerator
{
public:
    NoiseGenerator(const LiveNoise &noise, int sampleRate, quint32 seed = 0);

    double next() noexcept;

private:
    // One two-pole section as the tool's biquad effect runs it (direct form I, in double).
    struct Section
    {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double in1 = 0, in2 = 0, out1 = 0, out2 = 0;

        double filter(double in) noexcept;
    };

    // The next random number, as a signed 32-bit value.
    double draw() noexcept;

    NoiseColour m_colour;
    quint32 m_random;
    std::array<double, 7> m_pink{};
    double m_brown = 0;
    double m_scale;  // 1 - |offset|
    double m_offset; // added after scaling
    double m_preGain = 1;
    std::array<Section, 12> m_sections{};
    int m_sectionCount = 0;
};

// The noise's peak and mean square over its first frames, as it will play from the same seed: a
// live noise is set to an RMS level from these, as a saved one is from the tool's measuring run.
NoiseLevels MeasureNoise(const LiveNoise &noise, int sampleRate, qint64 frames, quint32 seed = 0);

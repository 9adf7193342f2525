// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/live/noise_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The generator's full scale: its values are signed 32-bit numbers.
constexpr double RandomScale = 1.0 / (65536.0 * 32768.0);
// A band-limited noise is brought down by 12 dB before its filters, as the tool's vol 0.25 does,
// so that the sections ringing near their corners never clip.
constexpr double BandPreGain = 0.25;
// The band's corners lie a tenth outside it.
constexpr double CornerShare = 0.9;
constexpr int SectionsPerSide = 6;

// The Q of section i of a twelfth-order Butterworth side.
double ButterworthQ(int i)
{
    return 1 / (2 * std::sin((2 * (SectionsPerSide - i) - 1) * std::numbers::pi / (4 * SectionsPerSide)));
}

} // namespace

double NoiseGenerator::Section::filter(double in) noexcept
{
    const double out = in * b0 + in1 * b1 + in2 * b2 - out1 * a1 - out2 * a2;
    in2 = in1;
    in1 = in;
    out2 = out1;
    out1 = out;
    return out;
}

NoiseGenerator::NoiseGenerator(const LiveNoise &noise, int sampleRate, quint32 seed)
    : m_colour(noise.colour), m_random(seed), m_scale(1 - std::abs(noise.offset)), m_offset(noise.offset)
{
    if (!noise.band)
        return;
    m_preGain = BandPreGain;
    // The tool's two-pole highpass and lowpass designs (its biquads effect), normalised by a0.
    const auto add = [&](double corner, double q, bool highpass) {
        const double w0 = 2 * std::numbers::pi * corner / sampleRate;
        const double cosine = std::cos(w0);
        const double alpha = std::sin(w0) / (2 * q);
        const double a0 = 1 + alpha;
        Section &section = m_sections.at(size_t(m_sectionCount++));
        section.b0 = (highpass ? (1 + cosine) / 2 : (1 - cosine) / 2) / a0;
        section.b1 = (highpass ? -(1 + cosine) : 1 - cosine) / a0;
        section.b2 = section.b0;
        section.a1 = -2 * cosine / a0;
        section.a2 = (1 - alpha) / a0;
    };
    if (noise.band->low > 0) {
        for (int i = 0; i < SectionsPerSide; ++i)
            add(noise.band->low * CornerShare, ButterworthQ(i), true);
    }
    if (noise.band->high / CornerShare < sampleRate / 2.0) {
        for (int i = 0; i < SectionsPerSide; ++i)
            add(noise.band->high / CornerShare, ButterworthQ(i), false);
    }
}

double NoiseGenerator::draw() noexcept
{
    m_random = 1664525U * m_random + 1013904223U;
    return double(qint32(m_random));
}

double NoiseGenerator::next() noexcept
{
    double value = 0;
    switch (m_colour) {
    case NoiseColour::White:
        value = draw() * RandomScale;
        break;
    case NoiseColour::Pink: {
        // The tool's coefficients, on its 32-bit random numbers scaled down by 8.
        constexpr double Unit = 0.125 * RandomScale;
        const double d = draw();
        auto &c = m_pink;
        c[0] = .99886 * c[0] + d * (.0555179 * Unit);
        c[1] = .99332 * c[1] + d * (.0750759 * Unit);
        c[2] = .96900 * c[2] + d * (.1538520 * Unit);
        c[3] = .86650 * c[3] + d * (.3104856 * Unit);
        c[4] = .55000 * c[4] + d * (.5329522 * Unit);
        c[5] = -.7616 * c[5] - d * (.0168980 * Unit);
        value = c[0] + c[1] + c[2] + c[3] + c[4] + c[5] + c[6] + d * (.5362 * Unit);
        c[6] = d * (.115926 * Unit);
        break;
    }
    case NoiseColour::Brown:
        // A step that would leave full scale is drawn again; half of all steps at worst.
        do
            value = m_brown + draw() * RandomScale / 16;
        while (std::abs(value) > 1);
        m_brown = value;
        break;
    }
    value = (value * m_scale + m_offset) * m_preGain;
    for (int i = 0; i < m_sectionCount; ++i)
        value = m_sections[size_t(i)].filter(value);
    return value;
}

NoiseLevels MeasureNoise(const LiveNoise &noise, int sampleRate, qint64 frames, quint32 seed)
{
    NoiseGenerator generator(noise, sampleRate, seed);
    NoiseLevels levels;
    double sum = 0;
    for (qint64 i = 0; i < frames; ++i) {
        const double value = generator.next();
        levels.peak = std::max(levels.peak, std::abs(value));
        sum += value * value;
    }
    levels.meanSquare = frames > 0 ? sum / double(frames) : 0;
    return levels;
}

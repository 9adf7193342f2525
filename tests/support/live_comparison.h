// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/live/live_renderer.h"
#include "wav_analysis.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

// The live renderer's sound against the tool's, as what a person would hear: periodic tones sample
// by sample, noises by their level and spectrum (their random numbers need not be the same ones).
namespace LiveComparison {

// The fade-in at the start, left out of every comparison: 5 ms at 48 kHz.
inline constexpr qsizetype StartFrames = 240;

// The tone rendered live for so many frames in blocks of 256, one vector a channel, without the
// first skipped frames.
inline std::vector<std::vector<double>> Render(const LiveTone &tone, qsizetype frames, qsizetype skipped = StartFrames)
{
    LiveRenderer renderer(tone.sampleRate, tone.channels);
    renderer.setTone(tone);
    std::vector<float> samples(size_t(frames * tone.channels));
    for (qsizetype done = 0; done < frames; done += 256)
        renderer.render(samples.data() + done * tone.channels, std::min<qsizetype>(256, frames - done));
    std::vector<std::vector<double>> channels(size_t(tone.channels));
    for (qsizetype n = skipped; n < frames; ++n) {
        for (int c = 0; c < tone.channels; ++c)
            channels[size_t(c)].push_back(samples[size_t(n * tone.channels + c)]);
    }
    return channels;
}

// The largest difference of two signals, sample by sample, over the shorter.
inline double WorstDifference(const std::vector<double> &a, const std::vector<double> &b)
{
    double worst = 0;
    for (size_t n = 0; n < std::min(a.size(), b.size()); ++n)
        worst = std::max(worst, std::abs(a[n] - b[n]));
    return worst;
}

// Why two noises do not sound alike: RMS levels more than 0.05 dB apart, or a third-octave band
// (IEC 61260, base ten, from 20 Hz up, wherever the noise is within 100 dB of its loudest band)
// more than 0.5 dB apart; nothing when they do.
inline std::optional<QString> NoiseDisagreement(const std::vector<double> &live, const std::vector<double> &tool,
                                                int sampleRate)
{
    const auto db = [](double power) { return 10 * std::log10(power); };
    const double rms = db(RmsLevel(live) * RmsLevel(live)) - db(RmsLevel(tool) * RmsLevel(tool));
    if (std::abs(rms) >= 0.05)
        return QStringLiteral("RMS level %1 dB apart").arg(rms);
    const size_t length = 1 << 17;
    const std::vector<double> a = KaiserSpectrum(live, 0, length);
    const std::vector<double> b = KaiserSpectrum(tool, 0, length);
    const double binWidth = sampleRate / double(length);
    std::vector<std::pair<double, double>> bands;
    for (int n = -17; 1000 * std::pow(10, (n + 0.5) / 10) < sampleRate / 2.0; ++n) {
        const double centre = 1000 * std::pow(10, n / 10.0);
        double powerA = 0;
        double powerB = 0;
        for (auto k = size_t(centre * std::pow(10, -0.05) / binWidth);
             double(k) < centre * std::pow(10, 0.05) / binWidth; ++k) {
            powerA += a[k] * a[k];
            powerB += b[k] * b[k];
        }
        bands.emplace_back(db(powerA), db(powerB));
    }
    const double loudest = std::max_element(bands.begin(), bands.end(), [](const auto &x, const auto &y) {
                               return x.second < y.second;
                           })->second;
    for (const auto &[liveDb, toolDb] : bands) {
        if (toolDb > loudest - 100 && std::abs(liveDb - toolDb) >= 0.5)
            return QStringLiteral("a third-octave band at %1 against %2 dB").arg(liveDb).arg(toolDb);
    }
    return std::nullopt;
}

} // namespace LiveComparison

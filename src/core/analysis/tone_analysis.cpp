// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/analysis/tone_analysis.h"

#include <algorithm>
#include <cmath>

SpectralComponent ToneAnalysis::strongestComponent(int channel, std::span<const double> awayFromHertz) const
{
    if (channel < 0 || std::size_t(channel) >= finePower.size() || fineBinHertz <= 0)
        return {};
    const std::vector<float> &power = finePower[std::size_t(channel)];
    const double width = lineHalfWidthBins * fineBinHertz;
    const auto isAway = [&](std::size_t bin) {
        const double hertz = double(bin) * fineBinHertz;
        return std::none_of(awayFromHertz.begin(), awayFromHertz.end(),
                            [&](double excluded) { return std::abs(hertz - excluded) <= width; });
    };
    std::size_t strongest = 0;
    for (std::size_t bin = std::size_t(lineHalfWidthBins) + 1; bin + 1 < power.size(); ++bin) {
        if ((strongest == 0 || power[bin] > power[strongest]) && isAway(bin))
            strongest = bin;
    }
    if (strongest == 0)
        return {};
    // A parabola through the three bins' decibels: a low-leakage window's line is close to one.
    const double before = PowerDecibels(power[strongest - 1]);
    const double top = PowerDecibels(power[strongest]);
    const double after = PowerDecibels(power[strongest + 1]);
    const double curvature = before - 2 * top + after;
    const double offset = curvature < 0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
    return {(double(strongest) + offset) * fineBinHertz, top - 0.25 * (before - after) * offset};
}

double ToneAnalysis::linePower(int channel, double hertz) const
{
    if (channel < 0 || std::size_t(channel) >= finePower.size() || fineBinHertz <= 0)
        return 0;
    const std::vector<float> &power = finePower[std::size_t(channel)];
    const auto centre = qint64(std::llround(hertz / fineBinHertz));
    double sum = 0;
    for (qint64 bin = std::max<qint64>(0, centre - lineHalfWidthBins);
         bin <= std::min<qint64>(qint64(power.size()) - 1, centre + lineHalfWidthBins); ++bin)
        sum += power[std::size_t(bin)];
    return sum;
}

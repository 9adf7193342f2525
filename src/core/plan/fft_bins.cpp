// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/fft_bins.h"

#include "core/plan/periodic_noise.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// The synth effect reads a phase to ten places of a percent: the design keeps the phases it gets.
double AsTheToolReadsIt(double fraction)
{
    const double rounded = std::round(fraction * 1e12) / 1e12;
    return rounded >= 1 ? 0 : rounded;
}

// The sum of the tones at amplitude 1 over one period, as the tool makes each sample: every tone
// makes whole periods, so its sample n is sin(2 pi (bin n / period + phase)), which a table of one
// period of the sine gives exactly.
std::vector<double> OnePeriod(const MultitoneDesign &design)
{
    const qint64 period = design.period;
    std::vector<double> sine(static_cast<size_t>(period));
    for (qint64 n = 0; n < period; ++n)
        sine[size_t(n)] = std::sin(2 * std::numbers::pi * double(n) / double(period));
    std::vector<double> sum(size_t(period), 0.0);
    for (qsizetype i = 0; i < design.bins.size(); ++i) {
        const double angle = 2 * std::numbers::pi * design.phases[i];
        const double sinPart = std::cos(angle);
        const double cosPart = std::sin(angle);
        const qint64 bin = design.bins[i];
        qint64 at = 0;
        for (qint64 n = 0; n < period; ++n) {
            const double sinAt = sine[size_t(at)];
            const double cosAt = sine[size_t((at + period / 4) % period)];
            sum[size_t(n)] += sinAt * sinPart + cosAt * cosPart;
            at = (at + bin) % period;
        }
    }
    return sum;
}

} // namespace

double MultitoneDesign::crestFactorDb() const
{
    return 20 * std::log10(peak / std::sqrt(meanSquare));
}

MultitoneDesign DesignMultitone(const FftBins &bins, int sampleRate)
{
    MultitoneDesign design;
    design.period = bins.length;
    const qint64 highestBin = design.period / 2 - 1;
    for (int i = 0; i < bins.tones; ++i) {
        const double share = bins.tones > 1 ? double(i) / (bins.tones - 1) : 0;
        const double frequency = bins.low * std::pow(bins.high / bins.low, share);
        const qint64 bin =
            std::clamp<qint64>(std::llround(frequency * double(design.period) / sampleRate), 1, highestBin);
        if (design.bins.isEmpty() || bin != design.bins.constLast())
            design.bins.append(bin);
    }
    const auto count = double(design.bins.size());
    for (qsizetype i = 0; i < design.bins.size(); ++i) {
        design.frequencies.append(double(design.bins[i]) * sampleRate / double(design.period));
        const double n = double(i + 1);
        const double phase = -n * (n - 1) / (2 * count);
        design.phases.append(AsTheToolReadsIt(phase - std::floor(phase)));
    }
    const std::vector<double> sum = OnePeriod(design);
    for (const double sample : sum)
        design.peak = std::max(design.peak, std::abs(sample));
    design.meanSquare = count / 2;
    return design;
}

QString DescribeBins(const Tone &tone)
{
    if (!tone.bins)
        return {};
    if (tone.bins->noise)
        return tone.noiseColour ? DescribePeriodicNoise(*tone.noiseColour, *tone.bins, tone.layout.sampleRate)
                                : QString();
    const MultitoneDesign design = DesignMultitone(*tone.bins, tone.layout.sampleRate);
    const auto tones = int(design.bins.size());
    QString text = tones == 1 ? u"1 tone"_s : u"%1 tones"_s.arg(tones);
    if (tones < tone.bins->tones)
        text += u" (%1 asked for; some shared a bin)"_s.arg(tone.bins->tones);
    return text + u", crest factor %1 dB"_s.arg(design.crestFactorDb(), 0, 'f', 1);
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/mix_level.h"

#include "core/plan/alias_free.h"

#include <cmath>
#include <complex>
#include <numeric>
#include <optional>
#include <utility>

namespace {

// Phases visited by the samples of a steady tone that are worth adding up one by one.
constexpr qint64 MostSampledPhases = 65536;

} // namespace

double SampledMeanSquare(const PeriodicShape &shape, const ToneTerm &term, qint64 samples, int sampleRate)
{
    if (term.sweep != SweepKind::Steady)
        return shape.meanSquare();
    const qint64 visited = PhaseCount(term.from, sampleRate, MostSampledPhases);
    const qint64 phases = visited > 0 ? std::min(samples, visited) : samples;
    if (phases > MostSampledPhases)
        return shape.meanSquare();
    double sum = 0;
    for (qint64 n = 0; n < phases; ++n) {
        const double value = shape.value(std::fmod(term.from * (double(n) / sampleRate), 1.0));
        sum += value * value;
    }
    return sum / double(phases);
}

namespace {

// p and q with value = p / q, both at most limit, or nothing.
std::optional<std::pair<int, int>> SmallRatio(double value, int limit)
{
    for (int q = 1; q <= limit; ++q) {
        const double p = value * q;
        if (p >= 0.5 && p <= limit && std::abs(p - std::round(p)) < 1e-9 * p)
            return std::pair{int(std::lround(p)), q};
    }
    return std::nullopt;
}

// The mean over the tone of the product of two tones' parts that vary, from the harmonics they
// share: harmonic k of one and l of the other sound at the same frequency all along when the
// tones move alike (both steady, or the same sweep scaled) and k f1 = l f2. Harmonics at different
// frequencies average out over the tone.
double SharedPower(const SideTone &a, const SideTone &b, int rate)
{
    constexpr int MostHarmonics = 2000;
    const double ratio = a.term.to / a.term.from;
    if (a.term.sweep != b.term.sweep || std::abs(b.term.to / b.term.from - ratio) > 1e-9 * ratio)
        return 0;
    const std::optional<std::pair<int, int>> shared = SmallRatio(b.term.from / a.term.from, MostHarmonics);
    if (!shared)
        return 0;
    const auto heard = [&](const SideTone &tone) {
        return tone.bandLimited ? int(std::floor(rate / 2.0 / tone.term.highest() - 1e-9)) : MostHarmonics;
    };
    const auto [p, q] = *shared; // k = p m on a, l = q m on b
    double sum = 0;
    for (int m = 1; p * m <= heard(a) && q * m <= heard(b); ++m)
        sum += 2 * (a.shape.harmonic(p * m) * std::conj(b.shape.harmonic(q * m))).real();
    return a.scale * b.scale * sum;
}

} // namespace

double SideMeanSquare(const QList<SideTone> &tones, qint64 samples, int rate)
{
    if (tones.size() == 1)
        return tones.first().amplitude * tones.first().amplitude * tones.first().meanSquare;
    qint64 period = 1;
    for (const SideTone &tone : tones) {
        const qint64 phases = tone.bandLimited || tone.term.sweep != SweepKind::Steady
                                  ? 0
                                  : PhaseCount(tone.term.from, rate, MostSampledPhases);
        period = phases > 0 ? std::lcm(period, phases) : MostSampledPhases + 1;
        if (period > MostSampledPhases)
            break;
    }
    if (period <= MostSampledPhases) {
        const qint64 count = std::min(samples, period);
        double sum = 0;
        for (qint64 n = 0; n < count; ++n) {
            double value = 0;
            for (const SideTone &tone : tones)
                value += tone.amplitude * tone.shape.value(std::fmod(tone.term.from * (double(n) / rate), 1.0));
            sum += value * value;
        }
        return sum / double(count);
    }
    double mean = 0;
    double power = 0;
    for (qsizetype i = 0; i < tones.size(); ++i) {
        const SideTone &a = tones[i];
        const double toneMean = a.scale * a.shape.mean();
        mean += a.amplitude * toneMean;
        power += a.amplitude * a.amplitude * (a.meanSquare - toneMean * toneMean);
        for (qsizetype j = i + 1; j < tones.size(); ++j)
            power += 2 * a.amplitude * tones[j].amplitude * SharedPower(a, tones[j], rate);
    }
    return mean * mean + std::max(0.0, power);
}

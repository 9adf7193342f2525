// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/alias_free.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

// How far below the loudest harmonic the folded components must stay: 6 dB beyond the promise of
// 70 dB for a steady tone and 60 dB for a sweep, as the estimate is only an estimate.
constexpr double SteadyAliasDb = 76;
constexpr double SweepAliasDb = 66;
// Additive while the harmonics are this few: exact, and about as quick as the other ways.
constexpr int MostAdditiveHarmonics = 12;
// The highest rate the oversampling ways may work at: 200 times 48 kHz, about 0.3 s of work for a
// second of sound. Only a jump that no integrated way makes comes near it: a trapezium with an
// upright edge, or a sweep from below a millionth of its highest frequency.
constexpr qint64 MostSynthRate = 9'600'000;
// What the tool spends per sample at the high rate, in nanoseconds, for the parts of the two
// oversampling ways (measured).
constexpr double ShapeCost = 25;
constexpr double ExpCost = 60;
constexpr double ProductCost = 48;
constexpr double FilterCost = 6;
// What dividing a sweep's slope by its frequency costs per sample of the file, in the same units.
constexpr double DivisionCost = 65;
// The lowest frequency of a sweep, as a share of its highest, by which its slope may be divided:
// 120 dB, where the tool's 32-bit samples still hold the share within 0.005 dB.
constexpr double LowestSweepShare = 1e-6;
// Beyond this many harmonics a tone's peak hardly moves; the bound is widened instead.
constexpr int MostPeakHarmonics = 512;
// The evaluation grid of an exact peak.
constexpr int PeakGrid = 65536;

// The harmonics strictly below half the rate.
int HarmonicsBelowHalf(double frequency, int sampleRate, double share = 1)
{
    if (frequency <= 0)
        return std::numeric_limits<int>::max();
    return int(std::min(std::ceil(share * sampleRate / (2 * frequency)) - 1, 1e9));
}

struct Harmonic
{
    int k;
    std::complex<double> c;
};

double SumAt(const std::vector<Harmonic> &harmonics, double dc, double phase)
{
    double sum = dc;
    for (const Harmonic &h : harmonics)
        sum += 2 * std::real(h.c * std::polar(1.0, TwoPi * h.k * phase));
    return sum;
}

// The largest magnitude of the sum at the phases the samples take, or over all phases when they
// take practically all of them.
double SampledPeak(const std::vector<Harmonic> &harmonics, double dc, double frequency, int sampleRate, qint64 samples)
{
    const qint64 visited = PhaseCount(frequency, sampleRate, PeakGrid);
    const qint64 phases = visited > 0 ? std::min(samples, visited) : samples;
    double peak = 0;
    if (phases <= PeakGrid) {
        for (qint64 n = 0; n < phases; ++n) {
            const double phase = std::fmod(frequency * (double(n) / sampleRate), 1.0);
            peak = std::max(peak, std::abs(SumAt(harmonics, dc, phase)));
        }
        return peak;
    }
    for (int j = 0; j < PeakGrid; ++j)
        peak = std::max(peak, std::abs(SumAt(harmonics, dc, double(j) / PeakGrid)));
    // Between grid points a sum of harmonics up to K can rise at most by this factor.
    return peak / std::cos(std::numbers::pi * harmonics.back().k / PeakGrid);
}

// Estimated level of folded components against the loudest harmonic, for the shape made at
// synthRate. For the integrated way the shape's slope is made, whose harmonics are c_k / k, and
// the first difference weighs a component by the sine of its frequency.
double AliasLevel(const PeriodicShape &shape, double frequency, int sampleRate, qint64 synthRate, bool integrated,
                  double loudest)
{
    const double firstFolding = std::floor((double(synthRate) - sampleRate / 2.0) / frequency);
    double level = 0;
    for (int k = int(firstFolding); k < int(firstFolding) + 8; ++k) {
        double amplitude = std::abs(shape.harmonic(k));
        if (integrated)
            amplitude = amplitude / k * std::sin(std::numbers::pi * sampleRate / 2 / double(synthRate)) /
                        std::sin(std::numbers::pi * frequency / double(synthRate));
        level = std::max(level, amplitude / loudest);
    }
    return level;
}

struct Oversampling
{
    int factor = 0;
    double alias = 1; // as AliasLevel
    double cost = 0;  // per sample of the file, as the costs above
};

Oversampling ChooseFactor(const PeriodicShape &shape, const ToneTerm &term, int sampleRate, bool integrated,
                          double perFactorCost, double wantedAlias)
{
    const double loudest = std::abs(shape.harmonic(1));
    const int most = std::max(4, int(MostSynthRate / sampleRate));
    Oversampling best;
    for (int factor = 4; factor <= most; ++factor) {
        const double alias =
            AliasLevel(shape, term.highest(), sampleRate, qint64(factor) * sampleRate, integrated, loudest);
        best = {factor, alias, factor * perFactorCost};
        if (alias <= wantedAlias)
            break;
    }
    return best;
}

// The harmonics below half the rate that the shape has at all.
std::vector<Harmonic> AudibleHarmonics(const PeriodicShape &shape, int count)
{
    std::vector<Harmonic> harmonics;
    double loudest = 0;
    for (int k = 1; k <= count; ++k)
        loudest = std::max(loudest, std::abs(shape.harmonic(k)));
    for (int k = 1; k <= count; ++k) {
        const std::complex<double> c = shape.harmonic(k);
        if (std::abs(c) > 1e-9 * loudest)
            harmonics.push_back({k, c});
    }
    return harmonics;
}

AliasFreeDesign AdditiveDesign(const AliasFreeRequest &request, const PeriodicShape &shape,
                               const std::vector<Harmonic> &harmonics)
{
    const double frequency = request.term.from;
    const double peak = SampledPeak(harmonics, shape.mean(), frequency, request.sampleRate, request.samples);
    // The harmonics are summed before the mean is added: their sum must fit on its own too.
    const double scale =
        shape.mean() == 0 ? peak
                          : std::max(peak, SampledPeak(harmonics, 0, frequency, request.sampleRate, request.samples));
    AliasFreeDesign design;
    design.method = AliasFreeMethod::Additive;
    design.synthRate = request.sampleRate;
    design.components = int(harmonics.size());
    double power = 0;
    for (const Harmonic &h : harmonics) {
        // 2|c| cos(x + arg c) is 2|c| sin(x + arg c + pi/2).
        const double phase = std::fmod((std::arg(h.c) + std::numbers::pi / 2) / TwoPi + 1, 1.0);
        design.sines.push_back({h.k, phase, 2 * std::abs(h.c) / scale});
        power += 2 * std::norm(h.c);
    }
    design.shift = shape.mean() / scale;
    design.peak = peak / scale;
    design.meanSquare = (power + shape.mean() * shape.mean()) / (scale * scale);
    design.amplitude = 1 / scale;
    return design;
}

// The largest magnitude of dc + the sum over k <= P of 2 Re(terms[k - 1] e^(2 pi i k phase)), over
// all phases and every P from first to last: an upper bound, within 0.05 dB. A filter that weakens
// the harmonics more the higher they are makes a mix of those partial sums, which cannot peak
// higher than the highest of them.
double PartialSumsPeak(const std::vector<std::complex<double>> &terms, double dc, int first, int last)
{
    const int counted = std::min({last, int(terms.size()), MostPeakHarmonics});
    double peak = first <= 0 ? std::abs(dc) : 0;
    if (counted <= 0)
        return std::abs(dc);
    const int grid = 32 * std::max(counted, 16);
    std::vector<double> sums(size_t(grid), dc);
    std::vector<double> cosines(static_cast<size_t>(grid));
    std::vector<double> sines(static_cast<size_t>(grid));
    for (int j = 0; j < grid; ++j) {
        cosines[size_t(j)] = std::cos(TwoPi * j / grid);
        sines[size_t(j)] = std::sin(TwoPi * j / grid);
    }
    for (int k = 1; k <= counted; ++k) {
        const double re = 2 * terms[size_t(k) - 1].real();
        const double im = 2 * terms[size_t(k) - 1].imag();
        for (int j = 0; j < grid; ++j) {
            const auto at = size_t((qint64(k) * j) % grid);
            sums[size_t(j)] += re * cosines[at] - im * sines[at];
        }
        if (k >= std::min(first, counted)) {
            double largest = 0;
            for (const double s : sums)
                largest = std::max(largest, std::abs(s));
            // Between grid points a sum of harmonics up to k rises by at most this factor.
            peak = std::max(peak, largest / std::cos(std::numbers::pi * k / grid));
        }
    }
    // Past that many harmonics the peak has settled; a little room covers the rest.
    return counted < last ? peak * 1.005 : peak;
}

// The mean square of the band-limited shape over the tone: at each moment the harmonics
// below half the rate, the integrated way's first difference weighing harmonic k by
// sin(x) / x with x = pi k f / synthRate.
double OversampledMeanSquare(const PeriodicShape &shape, const ToneTerm &term, int sampleRate, qint64 synthRate,
                             bool integrated, double seconds)
{
    // A stepped sweep's phase runs ahead of its frequency within each period, by the growth over
    // that period: the slope, and with it the tone, is that much larger there on average.
    const double growth = term.sweep == SweepKind::Stepped && integrated ? std::log(term.to / term.from) / seconds : 0;
    const int most = std::min(HarmonicsBelowHalf(term.lowest(), sampleRate), 1 << 16);
    std::vector<double> power(size_t(most) + 1, 0);    // the sum of 2|c_k|^2 up to k
    std::vector<double> weighted(size_t(most) + 1, 0); // the same, weighted by k^2
    for (int k = 1; k <= most; ++k) {
        const double p = 2 * std::norm(shape.harmonic(k));
        power[size_t(k)] = power[size_t(k) - 1] + p;
        weighted[size_t(k)] = weighted[size_t(k) - 1] + p * k * k;
    }
    const int steps = term.sweep == SweepKind::Steady ? 1 : 4096;
    double sum = 0;
    for (int i = 0; i < steps; ++i) {
        const double f = term.frequencyAt((i + 0.5) / steps);
        const auto k = size_t(std::min(HarmonicsBelowHalf(f, sampleRate), most));
        const double x = std::numbers::pi * f / double(synthRate);
        const double ahead = growth / f;
        sum += (power[k] - (integrated ? x * x / 3 * weighted[k] : 0)) * (1 + ahead + ahead * ahead / 3);
    }
    return sum / steps + shape.mean() * shape.mean();
}

// The exp shape E is the slope of G = 2 sigma (v - 1) - (1 + mean E) phase, with v = (E + 1) / 2
// and sigma p1 / L before its peak at p1, -(1 - p1) / L after it (L = ln(1 / lowest v)): the tool
// makes a square at levels proportional to sigma, multiplies it by v - 1 (the exp shape at an
// offset of -50 %, multiplying), and adds a falling ramp (a triangle peaking at 0, mixed, which
// halves both). Its jumps cancel those of the product: G folds back far less than E. What the
// three make is size / 4 times G, plus a constant.
struct ExpIntegral
{
    explicit ExpIntegral(const ShapeParameters &p)
        : peakAt(p.p1 < 0 ? 0.5 : p.p1), depth(p.p2 < 0 ? 0.5 : p.p2), logRange(depth * 10 * std::numbers::ln10)
    {
        const double widest = std::max(peakAt, 1 - peakAt);
        size = logRange / widest;
        // One level of the square is at full scale, the other at -(1 - p1) / p1 or -p1 / (1 - p1) of it.
        squareOffset = peakAt >= 0.5 ? (1 - (1 - peakAt) / peakAt) / 2 : (peakAt / (1 - peakAt) - 1) / 2;
        // The ramp's slope is 2 (1 - offset) a period; size (1 + mean E) / 2 is wanted.
        rampOffset = 1 - (1 - std::exp(-logRange)) / (2 * widest);
    }

    // What the tool makes at this phase, before any shift.
    double at(double phase) const
    {
        const PeriodicShape exp(ShapeKind::Exp, {.p1 = peakAt, .p2 = depth});
        const PeriodicShape square(ShapeKind::Square, {.offset = squareOffset, .p1 = peakAt});
        const double ramp = (1 - 2 * std::fmod(phase, 1.0)) * (1 - rampOffset) + rampOffset;
        return (ramp + square.value(phase) * (0.5 * exp.value(phase) - 0.5)) / 2;
    }

    double peakAt;
    double depth;
    double logRange;
    double size = 0;
    double squareOffset = 0;
    double rampOffset = 0;
};

// The largest distance of the shape from its mean.
double SpreadFromMean(const PeriodicShape &shape)
{
    double spread = 0;
    for (int j = 0; j < PeakGrid; ++j)
        spread = std::max(spread, std::abs(shape.value(double(j) / PeakGrid) - shape.mean()));
    return spread;
}

// The integrated way's slope of the shape, at the factor: its source and the numbers its words
// take. Returns the mean that its first difference takes away.
double DesignSlope(AliasFreeDesign &design, const AliasFreeRequest &request, const PeriodicShape &shape, double room)
{
    const ToneTerm &term = request.term;
    const ShapeParameters &p = term.parameters;
    const double synthRate = design.synthRate;
    IntegratedSlope &slope = design.slope;
    // The slope grows with the frequency: it is made at its size at the highest one, and a
    // sweep's slope is divided by f / highest at the file's rate, where that costs little.
    const double scale = 1 - std::abs(p.offset);
    const double reference = term.highest();
    slope.divided = term.sweep != SweepKind::Steady && term.highest() > term.lowest();
    // Where the tool starts the shape: an exponential sweep's phase does not start at 0.
    double startPhase = p.phase;
    if (term.sweep == SweepKind::Exponential) {
        const double growth = std::log(term.to / term.from) / double(request.samples * design.factor) * synthRate;
        startPhase = std::fmod(term.from / growth + p.phase, 1.0);
    }
    if (shape.kind() == ShapeKind::Square) {
        const double duty = p.p1 < 0 ? 0.5 : p.p1;
        // Starting at zero, so that the first difference does not start with a step.
        const double start = PeriodicShape(ShapeKind::Triangle, {.p1 = duty}).value(startPhase);
        const double lift = start <= 0 ? -start / (1 - start) : -start / (1 + start);
        slope.source = SlopeSource::Triangle;
        slope.offset = lift;
        slope.peakAt = duty;
        // The triangle's slope, times duty (1 - duty), is the square less its mean 2 duty - 1.
        slope.gain = 0.5 * scale * duty * (1 - duty) * synthRate / (reference * (1 - std::abs(lift))) * room;
        return scale * (2 * duty - 1) + p.offset;
    }
    if (shape.kind() != ShapeKind::Exp) {
        // The slope of saw * saw is 4 saw times the frequency. A triangle peaking at 0 is a
        // falling sawtooth: the slope's sign turns.
        slope.source = SlopeSource::SawtoothSquared;
        const double start = -1 + 2 * startPhase;
        if (start != 0)
            slope.startShift = -start * start;
        slope.gain = (p.p1 == 0 ? -scale : scale) * synthRate / (8 * reference) * room;
        return p.offset;
    }
    const ExpIntegral integral(p);
    slope.source = SlopeSource::ExpSum;
    slope.offset = integral.squareOffset;
    slope.peakAt = integral.peakAt;
    slope.depth = integral.depth;
    slope.rampOffset = integral.rampOffset;
    // Starting at zero, so that the first difference does not start with a step.
    const double start = integral.at(startPhase);
    if (start != 0)
        slope.startShift = -start;
    slope.gain = 2 * scale * synthRate / (reference * integral.size) * room;
    return shape.mean();
}

AliasFreeDesign OversampledDesign(const AliasFreeRequest &request, const PeriodicShape &shape,
                                  const Oversampling &choice, bool integrated)
{
    const ToneTerm &term = request.term;
    const int rate = request.sampleRate;
    AliasFreeDesign design;
    design.method = integrated ? AliasFreeMethod::Integrated : AliasFreeMethod::Oversampled;
    design.factor = choice.factor;
    design.synthRate = int(qint64(choice.factor) * rate);
    design.alias = choice.alias;
    // The size of the result against the shape: half, room for the overshoot that the rate
    // effect's filter makes of a jump; less for an integrated shape far from its mean on one side
    // (a narrow square, an exp shape with a deep trough), made without its mean.
    const double room = integrated ? std::min(1.0, 1.6 / SpreadFromMean(shape)) : 1;
    const double size = 0.5 * room;
    if (integrated)
        design.shift = size * DesignSlope(design, request, shape, room);

    // The band-limited shape at its size, as the filter leaves it: at any moment the harmonics below its
    // pass band, some of those in its transition band, and none above half the rate.
    const int fewest = HarmonicsBelowHalf(term.highest(), rate, 0.95);
    const int most = HarmonicsBelowHalf(term.lowest(), rate);
    std::vector<std::complex<double>> terms;
    for (int k = 1; k <= std::min(most, MostPeakHarmonics); ++k)
        terms.push_back(shape.harmonic(k));
    const double seconds = double(request.samples) / rate;
    const double ahead = integrated && term.sweep == SweepKind::Stepped
                             ? std::max(0.0, std::log(term.to / term.from) / (seconds * term.lowest()))
                             : 0;
    design.peak = size * (1 + ahead) * PartialSumsPeak(terms, shape.mean(), std::min(fewest, most), most);
    design.peakExact = false;
    design.amplitude = size;
    design.meanSquare = size * size * OversampledMeanSquare(shape, term, rate, design.synthRate, integrated, seconds);
    return design;
}

} // namespace

double BandLimitedPeak(const PeriodicShape &shape, double frequency, int sampleRate, qint64 samples)
{
    const int count = std::min(HarmonicsBelowHalf(frequency, sampleRate), MostPeakHarmonics);
    const std::vector<Harmonic> harmonics = AudibleHarmonics(shape, count);
    return harmonics.empty() ? std::abs(shape.mean())
                             : SampledPeak(harmonics, shape.mean(), frequency, sampleRate, samples);
}

qint64 PhaseCount(double frequency, int sampleRate, qint64 limit)
{
    const double cycles = frequency / sampleRate;
    for (qint64 q = 1; q <= limit; ++q) {
        const double whole = cycles * double(q);
        if (std::abs(whole - std::round(whole)) < 1e-9 * double(q))
            return q;
    }
    return 0;
}

bool AboveHalfTheRate(const ToneTerm &term, int sampleRate)
{
    return term.sweep == SweepKind::Steady && term.from >= sampleRate / 2.0;
}

namespace {

// The integrated way, when the shape has one and it beats oversampling the shape itself: it meets
// the aliases wanted at a lower cost, or where neither does, it leaves fewer.
std::optional<Oversampling> BetterIntegrated(const AliasFreeRequest &request, const PeriodicShape &shape,
                                             const Oversampling &plain, double wanted)
{
    const ShapeKind kind = request.shape;
    const ToneTerm &term = request.term;
    const bool steady = term.sweep == SweepKind::Steady;
    // A square is a triangle's slope, a sawtooth (or a triangle peaking at 0 or 100 %, which is
    // one) that of its own square, an exp shape that of the sum of a product and a ramp. A sweep's
    // slope is divided by its frequency, as a share of the highest, that the synth effect makes
    // while the share stays well above the resolution of the tool's samples.
    const double p1 = term.parameters.p1;
    const bool sawtooth = kind == ShapeKind::Sawtooth || (kind == ShapeKind::Triangle && (p1 == 0 || p1 == 1));
    const bool integrable =
        (sawtooth || kind == ShapeKind::Exp || (kind == ShapeKind::Square && (p1 < 0 || (p1 > 0 && p1 < 1)))) &&
        (steady || term.lowest() >= LowestSweepShare * term.highest());
    if (!integrable)
        return std::nullopt;
    const double perFactor = (kind == ShapeKind::Exp ? ExpCost + 2 * ProductCost
                              : sawtooth             ? ShapeCost + ProductCost
                                                     : ShapeCost) +
                             2 * FilterCost;
    Oversampling integrated = ChooseFactor(shape, term, request.sampleRate, true, perFactor, wanted);
    if (!steady)
        integrated.cost += DivisionCost;
    const bool integratedFits = integrated.alias <= wanted;
    if ((integratedFits && (plain.alias > wanted || integrated.cost < plain.cost)) ||
        (!integratedFits && integrated.alias < plain.alias))
        return integrated;
    return std::nullopt;
}

} // namespace

std::optional<AliasFreeDesign> DesignAliasFreeTone(const AliasFreeRequest &request)
{
    const ShapeKind kind = request.shape;
    const ToneTerm &term = request.term;
    if (MadeAsTyped(kind) || term.highest() <= 0 || AboveHalfTheRate(term, request.sampleRate) || request.samples <= 0)
        return std::nullopt;
    const PeriodicShape shape(kind, term.parameters);
    if (std::abs(shape.harmonic(1)) < 1e-12 && std::abs(shape.harmonic(2)) < 1e-12)
        return std::nullopt; // a constant: nothing to fold
    // The tool's falling '/' sweep has a negative phase, and every shape but the sine comes out
    // as a constant: nothing to fold either.
    if (term.sweep == SweepKind::Exponential && term.to < term.from)
        return std::nullopt;

    const bool steady = term.sweep == SweepKind::Steady;
    if (steady) {
        const std::vector<Harmonic> harmonics =
            AudibleHarmonics(shape, std::min(HarmonicsBelowHalf(term.from, request.sampleRate), 4096));
        if (!harmonics.empty() && harmonics.size() <= MostAdditiveHarmonics)
            return AdditiveDesign(request, shape, harmonics);
    }

    const double wanted = std::pow(10, -(steady ? SteadyAliasDb : SweepAliasDb) / 20);
    const double ownShapeCost = kind == ShapeKind::Exp ? ExpCost : ShapeCost;
    const Oversampling plain = ChooseFactor(shape, term, request.sampleRate, false, ownShapeCost + FilterCost, wanted);
    if (const std::optional<Oversampling> integrated = BetterIntegrated(request, shape, plain, wanted))
        return OversampledDesign(request, shape, *integrated, true);
    return OversampledDesign(request, shape, plain, false);
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/sweep_plan.h"

#include "core/tone/field_grammar.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString SweepReminder = u"The measurement sweep is a Sine with one rising sweep in Frequencies, such as "
                              "20-20000: turn off Measurement Sweep with Inverse Filter for other tones."_s;

// How far the sweep runs beyond each end of the band, in widths of the stretch that makes the
// spectrum at the band's edge (sqrt(L/f) seconds): half of it for the fade, half as a margin. Three
// widths of margin keep a wire within a few thousandths of a decibel at the edges.
constexpr double BeyondBandWidths = 6;
// Above the band the sweep stays below this share of half the rate, and needs at least this much
// room there, or the top of the band bends.
constexpr double HighestShareOfHalfRate = 0.95;
constexpr double LeastWidthsAbove = 2;

} // namespace

double MeasurementSweep::harmonicLead(int harmonic) const
{
    return sweepRate * std::log(double(harmonic));
}

double HighestMeasuredFrequency(int sampleRate)
{
    return HighestShareOfHalfRate * sampleRate / 2;
}

std::optional<MeasurementSweep> DesignMeasurementSweep(double from, double to, double lengthSeconds, int sampleRate)
{
    if (!(from > 0) || !(to > from) || !(lengthSeconds > 0) || sampleRate <= 0 ||
        to >= HighestMeasuredFrequency(sampleRate))
        return std::nullopt;
    const double span = std::log(to / from); // in e-folds of the frequency
    // L holds a whole number of periods of f1 (at least one), so that the harmonics stay in phase.
    const double sweepRate = std::max(1.0, std::round(from * lengthSeconds / span)) / from;
    // The width of the stretch that makes the spectrum at f, in e-folds of the frequency.
    const auto width = [sweepRate](double hertz) { return 1 / std::sqrt(hertz * sweepRate); };
    MeasurementSweep sweep;
    sweep.from = from;
    sweep.to = to;
    sweep.sampleRate = sampleRate;
    sweep.sweepRate = sweepRate;
    // f0 L whole keeps the harmonics in phase; at least one cycle, which bounds how far down a very
    // short sweep can start.
    sweep.startFrequency =
        std::max(1.0, std::floor(from * sweepRate * std::exp(-BeyondBandWidths * width(from)))) / sweepRate;
    const double top = std::min(to * std::exp(BeyondBandWidths * width(to)), HighestMeasuredFrequency(sampleRate));
    if (top < to * std::exp(LeastWidthsAbove * width(to)))
        return std::nullopt;
    const double samplesPerEfold = sampleRate * sweepRate;
    sweep.sweepSamples = std::llround(samplesPerEfold * std::log(top / sweep.startFrequency));
    sweep.endFrequency = sweep.startFrequency * std::exp(double(sweep.sweepSamples) / samplesPerEfold);
    sweep.fadeInSamples =
        std::max<qint64>(1, std::llround(samplesPerEfold * std::log(from / sweep.startFrequency) / 2));
    sweep.fadeOutSamples = std::max<qint64>(1, std::llround(samplesPerEfold * std::log(sweep.endFrequency / to) / 2));
    return sweep;
}

MeasurementSweepDesign DesignRequestedSweep(const Tone &tone, const OutputOptions &options)
{
    const int rate = options.sampleRate();
    // One tone of one word, as typed: a sweep of a sine, on its own.
    const ToneMix *only = tone.steps.size() == 1 ? &tone.steps.first() : nullptr;
    const MixTone *typed = only && only->asTyped ? &only->left.first() : nullptr;
    if (tone.shape != ShapeKind::Sine || options.burstCycles() > 0 || !typed ||
        FieldWords(typed->frequencies).size() != 1)
        return {std::nullopt, SweepReminder};
    const std::optional<ToneTerm> &term = typed->term;
    if (!term || term->sweep == SweepKind::Steady)
        return {std::nullopt, SweepReminder};
    if (term->to <= term->from)
        return {std::nullopt, u"The measurement sweep rises: give the lower frequency first, such as 20-20000."_s};
    if (term->to >= rate / 2.0)
        return {std::nullopt, HighestFrequencyReminder(rate)};
    const double seconds = double(tone.samples) / rate;
    if (!(seconds > 0))
        return {std::nullopt, u"The measurement sweep needs a longer Length, a second or more."_s};
    const std::optional<MeasurementSweep> sweep = DesignMeasurementSweep(term->from, term->to, seconds, rate);
    if (!sweep)
        return {std::nullopt, u"The measurement sweep runs on above its top frequency, so that the top is measured "
                              "whole: at %1 Hz, give a top well below %2 Hz, or choose a higher rate under Sample "
                              "Rate."_s.arg(rate)
                                  .arg(QString::number(HighestMeasuredFrequency(rate), 'f', 0))};
    if (sweep->sweepSamples > qint64(LongestMeasurementSweepSeconds) * rate)
        return {std::nullopt, u"The measurement sweep lasts at most %1 minutes: give a shorter Length."_s.arg(
                                  LongestMeasurementSweepSeconds / 60)};
    return {sweep, {}};
}

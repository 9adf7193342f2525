// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone_plan.h"

#include "core/alias_free.h"
#include "core/field_grammar.h"
#include "core/tone_term.h"

#include <array>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// Phases visited by the samples of a steady tone that are worth adding up one by one.
constexpr qint64 MostSampledPhases = 65536;

QStringList Words(const QString &field)
{
    return field.split(u' ', Qt::SkipEmptyParts);
}

QString Number(double value)
{
    return QString::number(value, 'g', 12);
}

bool IsNoise(const QString &waveform)
{
    return waveform == u"whitenoise"_s || waveform == u"pinknoise"_s || waveform == u"brownnoise"_s;
}

// A twelfth-order Butterworth band pass from six two-pole sections on each side, their corners
// a tenth outside the band: flat within 0.4 dB inside it, more than 60 dB down an octave outside
// (a side beyond half the rate is left open). The noise is brought down by 12 dB first, so that
// the sections that ring near their corner never clip; the level is set after.
QStringList BandWords(double low, double high, int sampleRate)
{
    static const std::array<double, 6> qualities = [] {
        std::array<double, 6> q{};
        for (size_t i = 0; i < q.size(); ++i)
            q[i] = 1 / (2 * std::sin((2 * (double(q.size()) - double(i)) - 1) * std::numbers::pi / 24));
        return q;
    }();
    QStringList words{u"vol"_s, u"0.25"_s};
    if (low > 0) {
        for (const double q : qualities)
            words << u"highpass"_s << u"-2"_s << Number(low * 0.9) << Number(q) + u'q';
    }
    if (high / 0.9 < sampleRate / 2.0) {
        for (const double q : qualities)
            words << u"lowpass"_s << u"-2"_s << Number(high / 0.9) << Number(q) + u'q';
    }
    return words;
}

// A steady tone's samples visit few phases when its frequency is a simple fraction of the rate;
// their mean square then differs from the shape's.
double SampledMeanSquare(const PeriodicShape &shape, const ToneTerm &term, qint64 samples, int sampleRate)
{
    if (term.sweep != SweepKind::Steady)
        return shape.meanSquare();
    qint64 phases = std::min(samples, MostSampledPhases + 1);
    const double cycles = term.from / sampleRate;
    for (qint64 q = 1; q <= MostSampledPhases; ++q) {
        if (std::abs(cycles * double(q) - std::round(cycles * double(q))) < 1e-9 * double(q)) {
            phases = std::min(phases, q);
            break;
        }
    }
    if (phases > MostSampledPhases)
        return shape.meanSquare();
    double sum = 0;
    for (qint64 n = 0; n < phases; ++n) {
        const double value = shape.value(std::fmod(term.from * (double(n) / sampleRate), 1.0));
        sum += value * value;
    }
    return sum / double(phases);
}

void SetComputedLevel(TonePlan &plan, const ToneLevels &levels)
{
    const LevelSetting setting = SetLevel(plan.target, levels);
    plan.level = setting.effects;
    plan.reminder = setting.reminder;
    plan.buffered = plan.level.contains(u"-n"_s);
}

} // namespace

std::optional<QString> ToneOptionsReminder(const ToneRequest &request, const OutputOptions &options)
{
    return PlanTone(request, options).reminder;
}

TonePlan PlanTone(const ToneRequest &request, const OutputOptions &options)
{
    TonePlan plan;
    const int rate = options.sampleRate();
    plan.sampleRate = rate;
    plan.bitsPerSample = options.bitsPerSample();
    plan.channelCount = options.channelCount();
    plan.toolOptions = options.globalOptions();
    plan.softEdges = options.chosen(OutputSetting::SoftEdges).effects;
    plan.channelEffects = options.chosen(OutputSetting::Channels).effects;
    plan.target = {options.rmsLevel(), double(options.levelDecibels())};
    plan.level = options.peakLevelEffects();

    const std::optional<ToneLength> length = ParseLength(request.Length);
    const qint64 samples = length ? length->samplesAt(rate) : -1;
    const std::optional<ToneTerm> term = ParseToneTerm(request.Frequencies);
    const std::optional<ShapeKind> shape = ShapeOfWaveform(request.Waveform);

    if (IsNoise(request.Waveform)) {
        const bool band =
            options.noiseBand() && term && term->sweep != SweepKind::Steady && term->lowest() < term->highest();
        if (band) {
            if (term->lowest() >= rate / 2.0) {
                plan.reminder = u"The noise band must begin below half the sample rate (%1 Hz)."_s.arg(rate / 2);
                return plan;
            }
            // The first frequency stays, as a single frequency would: the tool ignores it for a
            // noise, and the numbers after it keep their meaning.
            QStringList parameters = Words(request.Frequencies);
            parameters.removeFirst();
            plan.synth = Words(request.Length) + QStringList{request.Waveform, term->fromWord} + parameters;
            plan.synthesis = BandWords(term->lowest(), term->highest(), rate);
        }
        if (band || plan.target.rms) {
            // The same noise in both runs, and no dither to draw from the same random numbers.
            plan.toolOptions = QStringList{u"-R"_s, u"-D"_s} + plan.toolOptions;
            if (plan.synth.isEmpty())
                plan.synth = Words(request.Length) + Words(request.Waveform) + Words(request.Frequencies);
            plan.measured = true;
            plan.level.clear();
        }
        return plan;
    }
    if (!shape || !term || samples <= 0)
        return plan;

    if (options.aliasFree() && *shape != ShapeKind::Sine) {
        if (AboveHalfTheRate(*term, rate)) {
            plan.reminder =
                u"With Alias-Free Waveforms on, the frequency must be below half the sample rate (%1 Hz)."_s.arg(rate /
                                                                                                                 2);
            return plan;
        }
        const std::optional<AliasFreeTone> tone =
            PlanAliasFreeTone({request.Length, request.Waveform, request.Frequencies, *term, samples, rate});
        if (tone) {
            plan.toolOptions = QStringList{u"-r"_s, QString::number(tone->synthRate)} + options.formatOptions();
            if (tone->components > 1)
                plan.toolOptions << u"-c"_s << QString::number(tone->components);
            plan.synth = tone->synth;
            plan.synthesis = tone->effects;
            SetComputedLevel(plan, {tone->peak, tone->peakExact, tone->meanSquare});
            return plan;
        }
    }
    if (plan.target.rms) {
        const PeriodicShape periodic(*shape, term->parameters);
        plan.synth = Words(request.Length) + Words(request.Waveform) + Words(request.Frequencies);
        SetComputedLevel(plan, {periodic.peak(), true, SampledMeanSquare(periodic, *term, samples, rate)});
    }
    return plan;
}

QStringList MeasuringArguments(const TonePlan &plan)
{
    return plan.toolOptions + QStringList{u"-n"_s, u"-n"_s, u"synth"_s} + plan.synth + plan.synthesis +
           QStringList{u"stats"_s};
}

void ApplyMeasuredLevels(TonePlan &plan, const ToneLevels &levels)
{
    SetComputedLevel(plan, levels);
    plan.measured = false;
}

QString MeasuredGainScript(const TonePlan &plan)
{
    const QString target = Number(plan.target.decibels);
    const QString ceiling = Number(-HeadroomDb);
    const QString gain = plan.target.rms ? u"g = %1 - (r + %2); if (p + g > %3) g = %3 - p"_s.arg(
                                               target, QString::number(Aes17OffsetDb, 'g', 17), ceiling)
                                         : u"g = (%1 < %2 ? %1 : %2) - p"_s.arg(target, ceiling);
    return u"/^Pk lev dB/ { p = $4 + %1 } /^RMS lev dB/ { r = $4 } END { %2; printf \"%.4f\", g }"_s.arg(
        Number(StatsRoundingDb), gain);
}

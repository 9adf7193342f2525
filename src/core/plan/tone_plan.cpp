// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/tone_plan.h"

#include "core/plan/alias_free.h"
#include "core/plan/fft_bins.h"
#include "core/plan/mix_level.h"
#include "core/plan/sweep_plan.h"

#include <QtNumeric>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

bool IsDithered(const OutputOptions &options)
{
    return options.bitsPerSample() < 32;
}

QString AboveHalfTheRateReminder(int rate)
{
    return u"With Alias-Free Waveforms on, the frequency must be below half the sample rate (%1 Hz)."_s.arg(rate / 2);
}

// The gain, or the tool's normalisation of the peak: nothing for a gain that changes nothing.
LevelStage LevelOf(const LevelSetting &setting)
{
    LevelStage level;
    if (setting.normalisedPeakDb)
        level.normalisedPeakDb = setting.normalisedPeakDb;
    else if (!IsNoGain(setting.gainDb))
        level.gainDb = setting.gainDb;
    return level;
}

void SetComputedLevel(TonePlan &plan, const ToneLevels &levels)
{
    const LevelSetting setting = SetLevel(plan.target, levels);
    plan.level = LevelOf(setting);
    plan.reminder = setting.reminder;
}

// What every plan of a tone starts from: the file, the options' stages, and the level as a gain
// on a tone that peaks at full scale.
TonePlan BasePlan(const Tone &tone, const OutputOptions &options, const LevelTarget &target, bool twoSides)
{
    TonePlan plan;
    // Left | right is stereo whatever the Channels option says.
    plan.layout = {options.sampleRate(), options.bitsPerSample(), twoSides ? 2 : options.channelCount(),
                   options.floatSamples()};
    plan.frames = tone.samples;
    plan.length = tone.fields.Length;
    plan.softEdges = options.softEdges();
    plan.channels = twoSides ? ChannelMap::Mono : options.channelMap();
    plan.target = target;
    if (target.decibels != 0)
        plan.level.gainDb = target.decibels;
    // The tool dithers a 16- or 24-bit file: a tone at full scale would clip where the dither
    // lifts it, so it peaks just below, as a tone whose level is worked out does.
    else if (!target.rms && IsDithered(options))
        plan.level.gainDb = -HeadroomDb;
    return plan;
}

// One periodic tone as the plan makes it: what its level comes to and, band-limited, its design.
struct PeriodicTone
{
    SideTone side;
    double peak = 1;
    bool peakExact = true;
    std::optional<AliasFreeDesign> design;
};

// The tone of the text (one tone of the field, with its numbers) at its relative amplitude;
// nothing, with the reminder, when the options cannot make it.
std::optional<PeriodicTone> MakePeriodic(const Tone &tone, const MixTone &text, const OutputOptions &options,
                                         std::optional<QString> &reminder)
{
    const int rate = options.sampleRate();
    PeriodicTone made{
        SideTone{std::pow(10, text.relativeDb / 20), PeriodicShape(*tone.shape, text.term->parameters), *text.term}, 1,
        true, std::nullopt};
    made.peak = made.side.shape.peak();
    made.side.meanSquare = SampledMeanSquare(made.side.shape, *text.term, tone.samples, rate);
    if (!options.aliasFree() || MadeAsTyped(*tone.shape))
        return made;
    if (AboveHalfTheRate(*text.term, rate)) {
        reminder = AboveHalfTheRateReminder(rate);
        return std::nullopt;
    }
    made.design = DesignAliasFreeTone({*tone.shape, *text.term, tone.samples, rate});
    if (made.design) {
        made.peak = made.design->peak;
        made.peakExact = made.design->peakExact;
        made.side.meanSquare = made.design->meanSquare;
        made.side.scale = made.design->amplitude;
        made.side.bandLimited = true;
    }
    return made;
}

// A noise: the tool makes it as typed, unless its band is limited or its RMS level set, which
// need it measured.
void PlanNoise(TonePlan &plan, const Tone &tone, const MixTone &text, const QString &words,
               const OutputOptions &options)
{
    const int rate = plan.layout.sampleRate;
    const std::optional<ToneTerm> &term = text.term;
    NoiseSource source{*tone.noiseColour, words, term, false};
    plan.sources = {source};
    // The tool has no noise that sweeps: it fails on the range.
    if (term && term->sweep != SweepKind::Steady && !options.noiseBand()) {
        plan.reminder = NoiseRangeReminder;
        return;
    }
    source.band = options.noiseBand() && term && term->sweep != SweepKind::Steady && term->lowest() < term->highest();
    if (source.band && term->lowest() >= rate / 2.0) {
        plan.reminder = u"The noise band must begin below half the sample rate (%1 Hz)."_s.arg(rate / 2);
        return;
    }
    plan.sources = {source};
    if (source.band || plan.target.rms) {
        // The same noise in both runs, and no dither to draw from the same random numbers.
        plan.repeatable = true;
        plan.toolDitherOff = true;
        plan.level = LevelStage{};
        plan.level.measured = true;
    }
}

// One tone as typed: the tool reads its words. An RMS level is worked out from its shape, and an
// alias-free shape needs a design of its own.
TonePlan PlanTypedTone(const Tone &tone, const ToneMix &mix, const OutputOptions &options, const LevelTarget &target)
{
    TonePlan plan = BasePlan(tone, options, target, false);
    MixTone text = mix.left.first();
    // A whole field keeps its blanks as typed; a step is typed from its first word to its last.
    const QString words = tone.stepped() ? text.frequencies : tone.fields.Frequencies;
    // Left to the tool, which refuses it.
    if (text.term && text.term->toolRefuses())
        text.term.reset();
    if (tone.noise()) {
        PlanNoise(plan, tone, text, words, options);
        return plan;
    }
    PeriodicSource source{*tone.shape, words, text.term, std::nullopt, false, false};
    if (text.term && tone.samples > 0) {
        const std::optional<PeriodicTone> made = MakePeriodic(tone, text, options, plan.reminder);
        if (made && made->design) {
            source.design = made->design;
            SetComputedLevel(plan, {made->peak, made->peakExact, made->side.meanSquare});
        } else if (made && plan.target.rms) {
            SetComputedLevel(plan, {made->peak, true, made->side.meanSquare});
        }
    }
    plan.sources = {source};
    return plan;
}

// The level of one side of tones together, set from its tones: each tone's gain in the channel,
// or the peak that the tool normalises, or for left | right the peak that a measuring run finds.
// highest is lowered to the highest level that fits when the side would clip.
void SetSideLevel(TonePlan &plan, const ToneMix &mix, const QList<MixTone> &side, const QList<PeriodicTone> &made,
                  const Tone &tone, double &highest)
{
    ToneLevels levels{0, true, 0};
    QList<SideTone> sideTones;
    for (const PeriodicTone &one : made) {
        levels.peak += one.side.amplitude * one.peak;
        levels.peakExact = levels.peakExact && one.peakExact;
        sideTones.append(one.side);
    }
    levels.meanSquare = SideMeanSquare(sideTones, tone.samples, plan.layout.sampleRate);
    const LevelSetting setting = SetLevel({plan.target.rms, plan.target.decibels + mix.sideDb(side)}, levels);
    double gainDb = setting.gainDb;
    if (setting.normalisedPeakDb && mix.twoSides()) {
        // The same for each side, by a measuring run that reports each channel's peak.
        plan.level.measured = true;
        plan.level.sidePeakTargets << *setting.normalisedPeakDb;
        gainDb = *setting.normalisedPeakDb - levels.peakDb();
    } else if (setting.normalisedPeakDb) {
        // Band-limited tones whose peaks are only bounded: the tool measures the mix and sets
        // its peak, as for one such tone.
        gainDb = -levels.peakDb();
        plan.level = LevelOf(setting);
    } else if (setting.overDb) {
        highest = std::min(highest, plan.target.decibels - *setting.overDb);
    }
    ChannelMix channel;
    for (const PeriodicTone &one : made)
        channel.append(
            {int(plan.sources.size() - made.size() + channel.size()), one.side.amplitude * std::pow(10, gainDb / 20)});
    plan.mix.append(channel);
}

// Tones together (or one tone with a level of its own). Each sounds in a source of its own, which
// the mix sums into its side's channel with the tone's relative level and the side's gain;
// band-limited, each is made by a run of its own. Tones at different frequencies add their powers,
// so an RMS level comes out as set; their peaks add up only where they meet, so a side's peak is
// set as if they did.
TonePlan PlanTogether(const Tone &tone, const ToneMix &mix, const OutputOptions &options, const LevelTarget &target)
{
    TonePlan plan = BasePlan(tone, options, target, mix.twoSides());
    if (!tone.shape) {
        plan.reminder = NoiseTogetherReminder;
        return plan;
    }
    // The level is in each channel's mix, unless the tool normalises it.
    plan.level = {};
    double highest = qInf(); // the highest level that fits, when one side's would clip
    for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
        QList<PeriodicTone> made;
        for (const MixTone &text : *side) {
            const std::optional<PeriodicTone> one = MakePeriodic(tone, text, options, plan.reminder);
            if (!one)
                return plan;
            // Alias-free shapes are made apart, band-limited or as typed.
            const bool apart = one->design || (options.aliasFree() && !MadeAsTyped(*tone.shape));
            plan.sources.append(PeriodicSource{*tone.shape, text.frequencies, text.term, one->design, apart, false});
            made.append(*one);
        }
        if (!made.isEmpty())
            SetSideLevel(plan, mix, *side, made, tone, highest);
    }
    if (highest < qInf())
        plan.reminder = TooLoudReminder(plan.target, highest);
    return plan;
}

TonePlan PlanToneAt(const Tone &tone, const ToneMix &mix, const OutputOptions &options, const LevelTarget &target)
{
    return mix.asTyped ? PlanTypedTone(tone, mix, options, target) : PlanTogether(tone, mix, options, target);
}

QString Seconds(qint64 samples, int rate)
{
    // Rounded up to the millisecond, so that the length named holds the samples.
    return QString::number(std::ceil(double(samples) * 1000 / rate) / 1000, 'g', 12);
}

// A step of tone bursts: one sine a side, starting at phase zero, cut after whole cycles (or under
// a Hann window of 6.5 cycles), then silence to the end of the slot. By RMS the level is the
// steady tone's the burst is cut from; a sine's peak and its AES17 RMS level are the same.
TonePlan PlanBurst(const ToneMix &mix, const Tone &tone, const OutputOptions &options, const LevelTarget &target,
                   qint64 slot)
{
    TonePlan step;
    const int rate = options.sampleRate();
    step.layout = {rate, 32, mix.twoSides() ? 2 : options.channelCount()};
    step.frames = slot;
    if (tone.shape != ShapeKind::Sine) {
        step.reminder = u"Tone bursts are bursts of a sine: choose Sine (Default)."_s;
        return step;
    }
    BurstStage burst{options.burstCycles(), options.hannBurst(), slot, {}};
    for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
        if (side->isEmpty())
            continue;
        const std::optional<ToneTerm> term = side->size() == 1 ? side->first().term : std::nullopt;
        if (!term || term->sweep != SweepKind::Steady || term->from <= 0) {
            step.reminder = u"A tone burst takes one frequency a step (with |, one a side), not a sweep or tones "
                            "together."_s;
            return step;
        }
        const qint64 length = std::llround(burst.cycles * rate / term->from);
        if (length > slot || length < 1) {
            step.reminder = u"A burst of %1 cycles at %2 Hz lasts %3 s: choose a Length of at least %3."_s.arg(
                QString::number(burst.cycles), QString::number(term->from, 'g', 12), Seconds(length, rate));
            return step;
        }
        step.sources.append(BurstSource{term->from});
        burst.lengths.append(length);
        const double gain = std::min(target.decibels + mix.sideDb(*side), -HeadroomDb);
        if (mix.twoSides())
            step.level.channelGainsDb.append(gain);
        else
            step.level.gainDb = gain;
    }
    step.burst = burst;
    step.channels = mix.twoSides() ? ChannelMap::Mono : options.channelMap();
    return step;
}

// One step of steps one after another, at its own level: its loudest tone's @ against the field's
// loudest. The dither of the file's format needs the room that a full-scale step does not leave.
TonePlan PlanStep(const Tone &tone, const ToneMix &mix, const OutputOptions &options, double loudest)
{
    LevelTarget target{options.rmsLevel(), options.levelDecibels() + mix.loudestDb() - loudest};
    if (IsDithered(options) && !target.rms)
        target.decibels = std::min(target.decibels, -HeadroomDb);
    if (options.burstCycles() > 0)
        return PlanBurst(mix, tone, options, target, tone.samples);
    // The steps are made at the tool's own sample size; the file's is written from them.
    OutputOptions stepOptions = options;
    stepOptions.restore(OutputSetting::SampleFormat, u"32"_s);
    TonePlan step = PlanToneAt(tone, mix, stepOptions, target);
    if (!step.reminder && step.measured())
        step.reminder = u"Steps cannot hold a left | right tone whose peaks must be measured (an alias-free sweep): "
                        "make it a file of its own."_s;
    return step;
}

// Steps one after another: each planned as a whole tone at its own level and made on its own, the
// file's format written from them in order. A format that is dithered is dithered in each step,
// before its pause (and a burst's gate), so that silence stays digital zero: what is written from
// the steps is already on the format's steps.
TonePlan PlanSteps(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan;
    plan.layout = tone.layout;
    plan.target = {options.rmsLevel(), options.levelDecibels()};
    qint64 pause = std::llround(options.stepPauseSeconds() * options.sampleRate());
    // Keys run together would sound as one: a receiver needs the pause between them to tell them apart.
    if (tone.keys && pause == 0)
        pause = tone.samples;
    const qint64 steps = tone.steps.size();
    plan.frames = tone.samples * steps + pause * (steps - 1);
    if (plan.frames > tone.layout.maxSamples()) {
        plan.reminder = TooLongReminder(tone.layout);
        return plan;
    }
    double loudest = -qInf();
    for (const ToneMix &mix : tone.steps)
        loudest = std::max(loudest, mix.loudestDb());
    for (qsizetype i = 0; i < steps; ++i) {
        const ToneMix &mix = tone.steps[i];
        TonePlan step = PlanStep(tone, mix, options, loudest);
        if (step.reminder) {
            plan.reminder = step.reminder;
            return plan;
        }
        // A step of one channel in a stereo file sounds in both.
        if (tone.twoSides() && !mix.twoSides() && step.channels == ChannelMap::Mono)
            step.channels = ChannelMap::Both;
        if (i + 1 < steps)
            step.silenceAfter = pause;
        if (IsDithered(options))
            step.ditherBits = plan.layout.bitsPerSample;
        plan.steps.push_back(step);
    }
    plan.toolDitherOff = IsDithered(options);
    return plan;
}

// A multitone on FFT bins: a sine of its own for each tone, summed at one gain that brings the sum
// to the level, whose peak and power over one period are known. The length is whole periods, told
// to the tool in samples.
TonePlan PlanMultitone(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan = BasePlan(tone, options, {options.rmsLevel(), options.levelDecibels()}, false);
    plan.length = QString::number(plan.frames) + u's';
    plan.level = {};
    const MultitoneDesign design = DesignMultitone(*tone.bins, options.sampleRate());
    const LevelSetting setting = SetLevel(plan.target, {design.peak, true, design.meanSquare});
    plan.reminder = setting.reminder;
    ChannelMix channel;
    for (qsizetype i = 0; i < design.bins.size(); ++i) {
        ToneTerm term;
        term.from = term.to = design.frequencies[i];
        term.parameters.phase = design.phases[i];
        plan.sources.append(PeriodicSource{ShapeKind::Sine, {}, term, std::nullopt, false, true});
        channel.append({int(i), std::pow(10, setting.gainDb / 20)});
    }
    plan.mix = {channel};
    return plan;
}

// A periodic noise: its period, made here, at a gain that brings it to the level, whose peak and
// power are known. The length is whole periods.
TonePlan PlanPeriodicNoise(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan = BasePlan(tone, options, {options.rmsLevel(), options.levelDecibels()}, false);
    plan.length = QString::number(plan.frames) + u's';
    plan.level = {};
    const NoisePeriodSource source{*tone.noiseColour, *tone.bins,
                                   DesignPeriodicNoise(*tone.noiseColour, *tone.bins, options.sampleRate())};
    if (source.design->empty()) {
        plan.reminder = u"No bin of the FFT lies in the range: widen it, or lengthen the FFT."_s;
        return plan;
    }
    const LevelSetting setting = SetLevel(plan.target, {1, true, source.design->meanSquare});
    plan.level = LevelOf(setting);
    plan.reminder = setting.reminder;
    plan.sources = {source};
    // Rounded without dither, every period of a 16- or 24-bit file is the same samples too: the
    // noise itself keeps the rounding error a noise, and an analyser sees no seam between periods.
    plan.toolDitherOff = IsDithered(options);
    return plan;
}

// The measurement sweep: the sweep, its level, its channels and its second of silence.
TonePlan PlanMeasurementSweep(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan;
    plan.layout = tone.layout;
    plan.target = {options.rmsLevel(), options.levelDecibels()};
    const MeasurementSweepDesign design = DesignRequestedSweep(tone, options);
    if (!design.sweep) {
        plan.reminder = design.reminder;
        return plan;
    }
    plan.sources = {*design.sweep};
    plan.frames = design.sweep->totalSamples();
    // A sine's RMS level as AES17 reads it is its peak level, and the sweep peaks at full scale.
    LevelTarget target = plan.target;
    if (IsDithered(options) && !target.rms)
        target.decibels = std::min(target.decibels, -HeadroomDb);
    const LevelSetting level = SetLevel(target, ToneLevels{1, true, 0.5});
    plan.level = LevelOf(level);
    plan.reminder = level.reminder;
    // The silence is digital zero, so a dithered format is dithered before it.
    if (IsDithered(options)) {
        plan.toolDitherOff = true;
        plan.ditherBits = plan.layout.bitsPerSample;
    }
    plan.channels = options.channelMap();
    plan.silenceAfter = design.sweep->silenceSamples();
    return plan;
}

// The tool seeds its dither from the clock, so that no two runs make the same 16- or 24-bit file.
// Seeded the same each time, a dithered tone is the same file however often it is made, and the
// copied command makes the very file that Save makes.
void MakeDitherRepeatable(TonePlan &plan)
{
    const bool dithers = (plan.layout.bitsPerSample < 32 && !plan.toolDitherOff) || plan.ditherBits;
    plan.repeatable = plan.repeatable || dithers;
    for (TonePlan &step : plan.steps)
        MakeDitherRepeatable(step);
}

// Each channel in turn: the tone planned once, then made once for each channel of the file, sounding
// there alone for its length while the others stay digital zero. The turns are made at the tool's
// own sample size and dithered to the file's before the silent channels are added, so that no
// dither noise reaches them; a level that must be measured is measured once, for every turn.
TonePlan PlanTurns(TonePlan tone)
{
    TonePlan plan;
    plan.layout = tone.layout;
    plan.target = tone.target;
    plan.reminder = tone.reminder;
    if (tone.measured())
        plan.level = tone.level;
    plan.repeatable = tone.repeatable;
    plan.turns = true;
    const int channels = tone.layout.channels;
    plan.frames = tone.frames * channels;
    if (plan.frames > tone.layout.maxSamples()) {
        plan.reminder = TooLongReminder(tone.layout);
        return plan;
    }
    const SampleLayout &file = tone.layout;
    const bool dithered = file.bitsPerSample < 32 && !file.floatSamples;
    if (dithered && !tone.toolDitherOff && !tone.ditherBits)
        tone.ditherBits = file.bitsPerSample;
    plan.toolDitherOff = dithered;
    tone.layout.bitsPerSample = 32;
    tone.layout.floatSamples = false;
    for (int channel = 0; channel < channels; ++channel) {
        tone.soundingChannel = channel;
        plan.steps.push_back(tone);
    }
    return plan;
}

} // namespace

TonePlan PlanTone(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan;
    if (options.measurementSweep())
        plan = PlanMeasurementSweep(tone, options);
    else if (tone.bins && options.burstCycles() > 0)
        plan.reminder = u"Tone bursts are bursts of a sine at one frequency: turn them off for FFT bins."_s;
    else if (tone.bins && tone.bins->noise)
        plan = PlanPeriodicNoise(tone, options);
    else if (tone.bins)
        plan = PlanMultitone(tone, options);
    else if (tone.stepped() || options.burstCycles() > 0)
        plan = PlanSteps(tone, options);
    else
        plan = PlanToneAt(tone, tone.steps.first(), options, {options.rmsLevel(), options.levelDecibels()});
    // A left | right tone is stereo whatever is chosen, and sounds in both sides at once.
    if (options.channelsInTurn() && plan.channels != ChannelMap::Mono && !plan.reminder) {
        if (plan.steps.empty())
            plan = PlanTurns(plan);
        else
            plan.reminder = u"Each Channel in Turn takes one tone: not steps or tone bursts."_s;
    }
    // A noise is a fresh one in every run, as it is in a 32-bit file.
    if (!tone.noise())
        MakeDitherRepeatable(plan);
    return plan;
}

bool ApplyMeasuredLevels(TonePlan &plan, const QList<ToneLevels> &levels)
{
    if (plan.turns) {
        bool applied = true;
        for (TonePlan &turn : plan.steps)
            applied = ApplyMeasuredLevels(turn, levels) && applied;
        plan.level = plan.steps.front().level;
        plan.reminder = plan.steps.front().reminder;
        return applied;
    }
    const QList<double> targets = plan.level.sidePeakTargets;
    if (targets.isEmpty()) {
        if (levels.isEmpty())
            return false;
        SetComputedLevel(plan, levels.first());
        return true;
    }
    if (levels.size() != targets.size())
        return false;
    // Each channel's own gain.
    plan.level = {};
    for (qsizetype side = 0; side < levels.size(); ++side)
        plan.level.channelGainsDb.append(targets[side] - levels[side].peakDb());
    return true;
}

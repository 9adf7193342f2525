// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/plan_words.h"

#include "core/sox/alias_free_words.h"
#include "core/sox/tool_words.h"

#include <QRegularExpression>
#include <array>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// The sample format of a file, or of the null input that the file takes it from; 32-bit integer is
// the tool's own.
QStringList FormatWords(const SampleLayout &layout)
{
    if (layout.floatSamples)
        return {u"-e"_s, u"floating-point"_s, u"-b"_s, u"32"_s};
    if (layout.bitsPerSample >= 32)
        return {};
    return {u"-b"_s, QString::number(layout.bitsPerSample)};
}

QStringList SeedWords(const TonePlan &plan)
{
    QStringList words;
    if (plan.repeatable)
        words << u"-R"_s;
    if (plan.toolDitherOff)
        words << u"-D"_s;
    return words;
}

// A run's command as the shell that the tool starts for a piped input gets it, every word quoted.
QString PipedRun(const QString &program, const QStringList &arguments)
{
    QStringList words{ShellQuoted(program)};
    for (const QString &argument : arguments)
        words << ShellQuoted(argument);
    return u'|' + words.join(u' ');
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
            words << u"highpass"_s << u"-2"_s << PlainNumber(low * 0.9) << PlainNumber(q) + u'q';
    }
    if (high / 0.9 < sampleRate / 2.0) {
        for (const double q : qualities)
            words << u"lowpass"_s << u"-2"_s << PlainNumber(high / 0.9) << PlainNumber(q) + u'q';
    }
    return words;
}

// The words of a source that the synth effect makes from what was typed: its type, its words.
QStringList TypedWords(const ToneSource &source)
{
    // A bin's frequency in full, so that it makes whole periods in the FFT's length; no offset.
    if (const auto *periodic = std::get_if<PeriodicSource>(&source); periodic && periodic->onBin)
        return {ShapeWord(periodic->shape), DesignNumber(periodic->term->from), u"0"_s,
                PhasePercentWord(periodic->term->parameters.phase)};
    if (const auto *periodic = std::get_if<PeriodicSource>(&source))
        return QStringList{ShapeWord(periodic->shape)} + FieldWords(periodic->words);
    const auto &noise = std::get<NoiseSource>(source);
    if (!noise.band)
        return QStringList{NoiseWord(noise.colour)} + FieldWords(noise.words);
    // The first frequency stays, as a single frequency would: the tool ignores it for a noise,
    // and the numbers after it keep their meaning.
    return QStringList{NoiseWord(noise.colour), noise.term->fromWord} + FieldWords(noise.words).mid(1);
}

QString TypedText(const TonePlan &plan, const ToneSource &source)
{
    if (const auto *periodic = std::get_if<PeriodicSource>(&source))
        return plan.length + u' ' + ShapeWord(periodic->shape) + u' ' + periodic->words;
    const auto &noise = std::get<NoiseSource>(source);
    return noise.band ? QString() : plan.length + u' ' + NoiseWord(noise.colour) + u' ' + noise.words;
}

// Each channel of the mix, its sources with their gains, in the remix effect's mixing form.
QStringList MixWords(const QList<ChannelMix> &mix)
{
    QStringList words{u"remix"_s, u"-m"_s};
    for (const ChannelMix &channel : mix) {
        QStringList gains;
        for (const ChannelGain &gain : channel)
            gains << u"%1v%2"_s.arg(gain.source + 1).arg(PlainNumber(gain.gain));
        words << gains.join(u',');
    }
    return words;
}

// A burst's sines for the slot, and the stages that shape them: the synth effect in its
// multiplying mode makes a sine a sixth and a half of the frequency, started a quarter period
// early, into the Hann window (1 - cos) / 2, and a square of one period per slot, high for the
// burst's samples, into the gate.
QStringList BurstSynth(const TonePlan &plan)
{
    QStringList words{SampleCountWord(plan.burst->slot)};
    for (const ToneSource &source : plan.sources)
        words << u"sine"_s << PlainNumber(std::get<BurstSource>(source).frequency);
    return words;
}

QStringList BurstWindow(const TonePlan &plan)
{
    QStringList words{u"synth"_s, SampleCountWord(plan.burst->slot)};
    for (const ToneSource &source : plan.sources)
        words << u"sine"_s << u"amod"_s << PlainNumber(std::get<BurstSource>(source).frequency / 6.5) << u"0"_s
              << u"75"_s;
    return words;
}

QStringList BurstGate(const TonePlan &plan)
{
    const BurstStage &burst = *plan.burst;
    QStringList words{u"synth"_s, SampleCountWord(burst.slot)};
    // High while the phase is below the duty: for the samples before the burst's end, with half a
    // sample to spare.
    for (const qint64 length : burst.lengths)
        words << u"square"_s << u"amod"_s << PlainNumber(double(plan.layout.sampleRate) / double(burst.slot)) << u"0"_s
              << u"0"_s << PlainNumber(100 * (double(length) - 0.5) / double(burst.slot));
    return words;
}

QStringList LevelWords(const LevelStage &level, const QString &measuredGain)
{
    if (level.measured) {
        if (measuredGain.isEmpty())
            return {};
        return {level.sidePeakTargets.isEmpty() ? u"gain"_s : u"remix"_s, measuredGain};
    }
    if (level.normalisedPeakDb)
        return {u"gain"_s, u"-n"_s, DecibelWord(*level.normalisedPeakDb)};
    if (level.gainDb)
        return {u"gain"_s, DecibelWord(*level.gainDb)};
    if (level.channelGainsDb.isEmpty())
        return {};
    // Each channel's own gain, in dB ("p").
    QStringList words{u"remix"_s};
    for (qsizetype channel = 0; channel < level.channelGainsDb.size(); ++channel)
        words << u"%1p%2"_s.arg(channel + 1).arg(DecibelWord(level.channelGainsDb[channel]));
    return words;
}

// The soft edges: a pipe tells the tool no length, so there the fades are told where the tone ends.
QStringList SoftEdgeWords(const TonePlan &plan, bool piped)
{
    if (!plan.softEdges)
        return {};
    const QString edge = PlainNumber(SoftEdgeSeconds);
    return {u"fade"_s, u"h"_s, edge, piped ? SampleCountWord(plan.frames) : u"-0"_s, edge};
}

QStringList ChannelMapWords(const TonePlan &plan)
{
    if (plan.soundingChannel) {
        QStringList words{u"remix"_s};
        for (int channel = 0; channel < plan.layout.channels; ++channel)
            words << (channel == *plan.soundingChannel ? u"1"_s : u"0"_s);
        return words;
    }
    switch (plan.channels) {
    case ChannelMap::Mono:
        return {};
    case ChannelMap::LeftOnly:
        return {u"remix"_s, u"1"_s, u"0"_s};
    case ChannelMap::RightOnly:
        return {u"remix"_s, u"0"_s, u"1"_s};
    default:
        return {u"channels"_s, QString::number(ChannelCount(plan.channels))};
    }
}

// A polarity pulse's gate: the synth effect in its multiplying mode, a square of each source's
// frequency, high for the first half of each period, keeps the sine's positive half-cycle and
// makes the other half zero. Both synths reach the same phase at every sample, sweeps too.
QStringList PulseGate(const TonePlan &plan)
{
    QStringList words{u"synth"_s};
    words << FieldWords(plan.length);
    for (const ToneSource &source : plan.sources) {
        const auto *periodic = std::get_if<PeriodicSource>(&source);
        if (!periodic || periodic->shape != ShapeKind::PolarityPulse)
            return {};
        words << u"square"_s << u"amod"_s << FieldWords(periodic->words);
    }
    return plan.sources.isEmpty() ? QStringList() : words;
}

// What finishes making the sound before its level: the pulse's gate, the band, the band-limited
// design's stages, the mix, the sweep's fades, the burst's window.
QStringList SynthesisWords(const TonePlan &plan, const AliasFreeWords &band)
{
    if (QStringList gate = PulseGate(plan); !gate.isEmpty())
        return gate + (plan.mix.isEmpty() ? QStringList() : MixWords(plan.mix));

    if (!plan.mix.isEmpty())
        return MixWords(plan.mix);
    if (plan.burst)
        return plan.burst->hann ? BurstWindow(plan) : QStringList();
    if (plan.sources.isEmpty())
        return {};
    const ToneSource &source = plan.sources.first();
    if (const auto *noise = std::get_if<NoiseSource>(&source); noise && noise->band)
        return BandWords(noise->term->lowest(), noise->term->highest(), plan.layout.sampleRate);
    if (const auto *sweep = std::get_if<MeasurementSweep>(&source))
        return {u"fade"_s, u"h"_s, SampleCountWord(sweep->fadeInSamples), SampleCountWord(sweep->sweepSamples),
                SampleCountWord(sweep->fadeOutSamples)};
    return band.effects;
}

// Every effect after the synth effect (or the inputs). A level that the tool normalises comes
// after the soft edges, so that it is the tone's peak that reaches it, not a sample the fades take
// away; what must stay digital zero (a burst's gate, the silence after) comes after the dither.
QStringList EffectWords(const TonePlan &plan, const QStringList &synthesis, bool piped, const QString &measuredGain)
{
    const QStringList level = LevelWords(plan.level, measuredGain);
    const QStringList edges = SoftEdgeWords(plan, piped);
    QStringList effects = synthesis + (plan.buffered() ? edges + level : level + edges);
    if (plan.ditherBits)
        effects << u"dither"_s << u"-p"_s << QString::number(*plan.ditherBits);
    if (plan.burst)
        effects << BurstGate(plan);
    effects << ChannelMapWords(plan);
    if (plan.silenceAfter > 0)
        effects << u"pad"_s << u"0"_s << SampleCountWord(plan.silenceAfter);
    return effects;
}

const AliasFreeDesign *SingleDesign(const TonePlan &plan)
{
    if (plan.sources.size() != 1 || !plan.mix.isEmpty())
        return nullptr;
    const auto *periodic = std::get_if<PeriodicSource>(&plan.sources.first());
    return periodic && periodic->design ? &*periodic->design : nullptr;
}

// The run of a source made apart, whose output the main run reads: band-limited at its design's
// rate, or as typed at the file's.
QStringList ApartArguments(const TonePlan &plan, const PeriodicSource &source)
{
    if (!source.design)
        return QStringList{u"-r"_s, QString::number(plan.layout.sampleRate), u"-n"_s, u"-p"_s, u"synth"_s} +
               FieldWords(plan.length) + QStringList{ShapeWord(source.shape)} + FieldWords(source.words);
    QStringList arguments{u"-r"_s, QString::number(source.design->synthRate)};
    if (source.design->components > 1)
        arguments << u"-c"_s << QString::number(source.design->components);
    const AliasFreeWords band = WriteAliasFreeWords(source, plan.length, plan.frames, plan.layout.sampleRate);
    return arguments + QStringList{u"-n"_s, u"-p"_s, u"synth"_s} + band.synth + band.effects;
}

// Steps that are each one synth run at the file's rate, and dither nothing, can be one run: each
// step an effects chain of its own after the one before (":"), which makes the very samples that a
// run of its own makes, without the start of a run for each step. A step that dithers cannot: the
// dither's random numbers would go on from the step before instead of starting afresh.
std::optional<QStringList> ChainedSteps(const TonePlan &plan, const QString &program, const WriteOptions &how)
{
    const QStringList fileRate{u"-r"_s, QString::number(plan.layout.sampleRate)};
    QStringList chains;
    for (const TonePlan &step : plan.steps) {
        const RunWords run = WritePlan(step, program, how);
        QStringList options = run.options;
        // The null input has one channel: a step of more makes them itself, as its own run does.
        QStringList channels;
        if (const qsizetype count = options.indexOf(u"-c"_s); count >= 0) {
            channels = {u"channels"_s, options.value(count + 1)};
            options.remove(count, 2);
        }
        if (!run.inputs.isEmpty() || options != fileRate)
            return std::nullopt;
        if (!chains.isEmpty())
            chains << u":"_s;
        chains << channels << u"synth"_s << run.synth << run.effects;
    }
    return chains;
}

// Steps, or sources made apart: the run reads each from a run of its own, and writes the file's
// format. Sources made apart are mixed, steps follow one another.
RunWords WriteRunsRead(const TonePlan &plan, const QString &program, const WriteOptions &how)
{
    RunWords words;
    if (const std::optional<QStringList> chains =
            how.chainSteps && !plan.steps.empty() ? ChainedSteps(plan, program, how) : std::nullopt) {
        words.options = SeedWords(plan) + QStringList{u"-r"_s, QString::number(plan.layout.sampleRate)};
        words.inputs = {u"-n"_s};
        words.outputOptions = FormatWords(plan.layout);
        words.effects = *chains;
        return words;
    }
    words.options = SeedWords(plan);
    words.outputOptions = FormatWords(plan.layout);
    for (const TonePlan &step : plan.steps) {
        // The same command for a step as for a whole tone, writing the tool's own format to its
        // output ("-p").
        words.inputs << PipedRun(program, RunArguments(WritePlan(step, program, how), u"-p"_s));
    }
    for (const ToneSource &source : plan.sources)
        words.inputs << PipedRun(program, ApartArguments(plan, std::get<PeriodicSource>(source)));
    if (plan.steps.empty()) {
        if (words.inputs.size() > 1)
            words.options << u"-M"_s;
        words.effects = EffectWords(plan, MixWords(plan.mix), true, how.measuredGain);
    }
    return words;
}

// A periodic noise: its period, read from beside the tool and repeated to the length; the tool is
// told where the tone ends, as it cannot know it before the repeats.
RunWords WritePeriodRead(const TonePlan &plan, const QString &program, const WriteOptions &how)
{
    const auto &source = std::get<NoisePeriodSource>(plan.sources.first());
    RunWords words;
    words.options = SeedWords(plan);
    words.inputs = {PeriodFileBeside(program)};
    words.outputOptions = FormatWords(plan.layout);
    if (const qint64 repeats = plan.frames / source.bins.length - 1; repeats > 0)
        words.effects << u"repeat"_s << QString::number(repeats);
    words.effects << EffectWords(plan, {}, true, how.measuredGain);
    return words;
}

} // namespace

QString PeriodFileBeside(const QString &program)
{
    const qsizetype slash = program.lastIndexOf(u'/');
    return program.left(slash + 1) + u"periodic-noise.wav"_s;
}

RunWords WritePlan(const TonePlan &plan, const QString &program, const WriteOptions &how)
{
    if (!plan.steps.empty() || plan.sourcesApart())
        return WriteRunsRead(plan, program, how);
    if (plan.sources.size() == 1 && std::holds_alternative<NoisePeriodSource>(plan.sources.first()))
        return WritePeriodRead(plan, program, how);
    RunWords words;
    const AliasFreeDesign *design = SingleDesign(plan);
    const int rate = design ? design->synthRate : plan.layout.sampleRate;
    words.options = SeedWords(plan) + QStringList{u"-r"_s, QString::number(rate)} + FormatWords(plan.layout);
    AliasFreeWords band;
    if (design) {
        if (design->components > 1)
            words.options << u"-c"_s << QString::number(design->components);
        band = WriteAliasFreeWords(std::get<PeriodicSource>(plan.sources.first()), plan.length, plan.frames,
                                   plan.layout.sampleRate);
        words.synth = band.synth;
    } else if (plan.burst) {
        if (plan.sources.size() > 1)
            words.options << u"-c"_s << QString::number(plan.sources.size());
        words.synth = BurstSynth(plan);
    } else if (!plan.mix.isEmpty()) {
        // One channel for each source, summed by the mix: no headroom of the synth's own, the mix
        // sets every level.
        words.options << u"-c"_s << QString::number(plan.sources.size());
        words.synth = QStringList{u"-n"_s} + FieldWords(plan.length);
        for (const ToneSource &source : plan.sources)
            words.synth << TypedWords(source);
    } else if (const auto *sweep = plan.sources.isEmpty() ? nullptr : std::get_if<MeasurementSweep>(&plan.sources[0])) {
        // The tool reaches its second frequency at the end of the length, so it is given the one
        // that the samples reach: then its sweep is the design's, sample for sample.
        words.synth = {SampleCountWord(sweep->sweepSamples), u"sine"_s,
                       PlainNumber(sweep->startFrequency) + u'/' + PlainNumber(sweep->endFrequency)};
    } else if (!plan.sources.isEmpty()) {
        words.synth = FieldWords(plan.length) + TypedWords(plan.sources.first());
        words.typedSynth = TypedText(plan, plan.sources.first());
    }
    words.effects = EffectWords(plan, SynthesisWords(plan, band), false, how.measuredGain);
    return words;
}

QStringList RunArguments(const RunWords &words, const QString &output)
{
    if (!words.inputs.isEmpty())
        return words.options + words.inputs + words.outputOptions + QStringList{output} + words.effects;
    return words.options + QStringList{u"-n"_s, output, u"synth"_s} + words.synth + words.effects;
}

QStringList MeasuringArguments(const TonePlan &measured, const QString &program)
{
    const TonePlan &plan = measured.measuredTone();
    const RunWords words = WritePlan(plan, program);
    // Only what makes the sound, before its level: the band, the mix or the band-limited design.
    const QStringList synthesis =
        plan.sourcesApart() ? MixWords(plan.mix) : SynthesisWords(plan, AliasFreeWords{{}, {}});
    if (!words.inputs.isEmpty())
        return words.options + words.inputs + QStringList{u"-n"_s} + synthesis + QStringList{u"stats"_s};
    return words.options + QStringList{u"-n"_s, u"-n"_s, u"synth"_s} + words.synth + synthesis +
           QStringList{u"stats"_s};
}

QString ShellQuoted(const QString &word)
{
    static const QRegularExpression literal(u"^[A-Za-z0-9_@%+=:,./-]+$"_s);
    if (literal.match(word).hasMatch())
        return word;
    // Nothing is special inside single quotes; a single quote itself ends them, is escaped, and
    // they begin again.
    return u'\'' + QString(word).replace(u"'"_s, u"'\\''"_s) + u'\'';
}

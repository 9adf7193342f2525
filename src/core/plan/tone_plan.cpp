// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/tone_plan.h"

#include "core/plan/alias_free.h"
#include "core/plan/sweep_plan.h"
#include "core/tone/tone_term.h"

#include <QtNumeric>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

using namespace Qt::Literals::StringLiterals;

namespace {

// Phases visited by the samples of a steady tone that are worth adding up one by one.
constexpr qint64 MostSampledPhases = 65536;

QString Number(double value)
{
    return QString::number(value, 'g', 12);
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

// One tone of a side, as far as the side's level is concerned.
struct SideTone
{
    double amplitude = 1; // relative to the side's loudest
    PeriodicShape shape;
    ToneTerm term;
    double meanSquare = 0; // its own, over the tone, as it is made
    double scale = 1;      // it is made at this many times its shape's series
    // A band-limited tone holds its harmonics below half the rate; a plain one holds them all (and
    // their aliases).
    bool bandLimited = false;
};

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

// The mean square of a side's tones summed. Plain steady tones whose samples repeat within a few
// thousand are added up sample by sample, as the tool makes them. Otherwise from their series:
// the means add, each tone brings its own power, and tones that share harmonics add those
// coherently, in phase or against it.
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

bool IsDithered(const OutputOptions &options)
{
    return options.bitsPerSample() < 32;
}

QString AboveHalfTheRateReminder(int rate)
{
    return u"With Alias-Free Waveforms on, the frequency must be below half the sample rate (%1 Hz)."_s.arg(rate / 2);
}

// The gain, or the tool's normalisation, as the gain effect takes it: nothing for no change.
QStringList LevelWords(const LevelSetting &setting)
{
    if (setting.normalisedPeakDb)
        return {u"gain"_s, u"-n"_s, DecibelWord(*setting.normalisedPeakDb)};
    if (DecibelWord(setting.gainDb) == u"0"_s)
        return {};
    return {u"gain"_s, DecibelWord(setting.gainDb)};
}

void SetComputedLevel(TonePlan &plan, const ToneLevels &levels)
{
    const LevelSetting setting = SetLevel(plan.target, levels);
    plan.level = LevelWords(setting);
    plan.reminder = setting.reminder;
    plan.buffered = setting.normalisedPeakDb.has_value();
}

// One periodic tone as the plan makes it: what its level comes to, and, made band-limited, the
// design of the run that does it.
struct MadeTone
{
    SideTone side;
    double peak = 1;
    bool peakExact = true;
    std::optional<AliasFreeDesign> band;
    AliasFreeRequest bandRequest;

    // The band-limited tone's words.
    AliasFreeWords bandWords() const { return WriteAliasFreeWords(*band, bandRequest); }
};

// The tone of the text (one tone of the field, with its numbers) at its relative amplitude;
// nothing, with the reminder, when the options cannot make it.
std::optional<MadeTone> MakePeriodic(const Tone &tone, const MixTone &text, const OutputOptions &options,
                                     std::optional<QString> &reminder)
{
    const int rate = options.sampleRate();
    MadeTone made{
        SideTone{std::pow(10, text.relativeDb / 20), PeriodicShape(*tone.shape, text.term->parameters), *text.term},
        1,
        true,
        std::nullopt,
        {}};
    made.peak = made.side.shape.peak();
    made.side.meanSquare = SampledMeanSquare(made.side.shape, *text.term, tone.samples, rate);
    if (options.aliasFree() && *tone.shape != ShapeKind::Sine) {
        if (AboveHalfTheRate(*text.term, rate)) {
            reminder = AboveHalfTheRateReminder(rate);
            return std::nullopt;
        }
        made.bandRequest = {tone.fields.Length, tone.fields.Waveform, text.frequencies, *text.term, tone.samples, rate};
        made.band = DesignAliasFreeTone(made.bandRequest);
        if (made.band) {
            made.peak = made.band->peak;
            made.peakExact = made.band->peakExact;
            made.side.meanSquare = made.band->meanSquare;
            made.side.scale = made.band->amplitude;
            made.side.bandLimited = true;
        }
    }
    return made;
}

// A noise: the tool makes it as typed, unless its band is limited or its RMS level set, which
// need it measured.
void PlanNoise(TonePlan &plan, const Tone &tone, const MixTone &text, const OutputOptions &options)
{
    const int rate = plan.layout.sampleRate;
    const std::optional<ToneTerm> &term = text.term;
    // The tool has no noise that sweeps: it fails on the range.
    if (term && term->sweep != SweepKind::Steady && !options.noiseBand()) {
        plan.reminder = NoiseRangeReminder;
        return;
    }
    const bool band =
        options.noiseBand() && term && term->sweep != SweepKind::Steady && term->lowest() < term->highest();
    if (band) {
        if (term->lowest() >= rate / 2.0) {
            plan.reminder = u"The noise band must begin below half the sample rate (%1 Hz)."_s.arg(rate / 2);
            return;
        }
        // The first frequency stays, as a single frequency would: the tool ignores it for a
        // noise, and the numbers after it keep their meaning.
        QStringList parameters = FieldWords(text.frequencies);
        parameters.removeFirst();
        plan.synth = FieldWords(tone.fields.Length) + QStringList{tone.fields.Waveform, term->fromWord} + parameters;
        plan.synthesis = BandWords(term->lowest(), term->highest(), rate);
    }
    if (band || plan.target.rms) {
        // The same noise in both runs, and no dither to draw from the same random numbers.
        plan.toolOptions = QStringList{u"-R"_s, u"-D"_s} + plan.toolOptions;
        plan.measured = true;
        plan.level.clear();
    }
}

// The tones of one step (or of the whole field), one or many. Each tone is made as the options
// need it (band-limited, or by the synth effect as typed) and brings what is known of its level;
// each side's level is set from its tones together. Then the words: a tone that the field gives
// as the tool reads it is made by the synth effect, its level a gain. Tones together each sound
// on a channel of their own, which remix sums into the side's channel with the tone's relative
// level and the side's gain; band-limited, each is made by a run of its own that the tool reads
// through a pipe. Tones at different frequencies add their powers, so an RMS level comes out as
// set; their peaks add up only where they meet, so a side's peak is set as if they did.
// What every plan starts from: the options' words, and the level as a gain on a tone that peaks
// at full scale.
TonePlan BasePlan(const OutputOptions &options, const LevelTarget &target, bool twoSides)
{
    TonePlan plan;
    // Left | right is stereo whatever the Channels option says.
    plan.layout = {options.sampleRate(), options.bitsPerSample(), twoSides ? 2 : options.channelCount()};
    plan.toolOptions = options.globalOptions();
    plan.softEdges = options.chosen(OutputSetting::SoftEdges).effects;
    plan.channelEffects = twoSides ? QStringList() : options.chosen(OutputSetting::Channels).effects;
    plan.target = target;
    if (target.decibels != 0)
        plan.level = {u"gain"_s, DecibelWord(target.decibels)};
    // The tool dithers a 16- or 24-bit file: a tone at full scale would clip where the dither
    // lifts it, so it peaks just below, as a tone whose level is worked out does.
    if (plan.level.isEmpty() && !plan.target.rms && IsDithered(options))
        plan.level = {u"gain"_s, DecibelWord(-HeadroomDb)};
    return plan;
}

TonePlan PlanToneAt(const Tone &tone, const ToneMix &mix, const OutputOptions &options, const LevelTarget &target)
{
    TonePlan plan = BasePlan(options, target, mix.twoSides());
    const int rate = options.sampleRate();
    plan.frames = tone.samples;

    if (mix.asTyped) {
        MixTone text = mix.left.first();
        plan.synth = FieldWords(tone.fields.Length) + FieldWords(tone.fields.Waveform) + FieldWords(text.frequencies);
        // Unless the program has words of its own for it, the tool gets the tone as it was typed.
        const QString typed = tone.fields.Length + u' ' + tone.fields.Waveform + u' ' +
                              (tone.stepped() ? text.frequencies : tone.fields.Frequencies);
        // Left to the tool, which refuses it.
        if (text.term && text.term->toolRefuses())
            text.term.reset();
        if (tone.noise()) {
            PlanNoise(plan, tone, text, options);
        } else if (tone.shape && text.term && tone.samples > 0) {
            const std::optional<MadeTone> made = MakePeriodic(tone, text, options, plan.reminder);
            if (made && made->band) {
                plan.toolOptions =
                    QStringList{u"-r"_s, QString::number(made->band->synthRate)} + options.formatOptions();
                if (made->band->components > 1)
                    plan.toolOptions << u"-c"_s << QString::number(made->band->components);
                const AliasFreeWords words = made->bandWords();
                plan.synth = words.synth;
                plan.synthesis = words.effects;
                SetComputedLevel(plan, {made->peak, made->peakExact, made->side.meanSquare});
                return plan;
            }
            if (made && plan.target.rms) {
                SetComputedLevel(plan, {made->peak, true, made->side.meanSquare});
                return plan;
            }
        }
        if (!plan.measured)
            plan.typedSynth = typed;
        return plan;
    }
    if (!tone.shape) {
        plan.reminder = NoiseTogetherReminder;
        return plan;
    }
    QStringList specs;       // one synth channel per tone, when all are made by one synth effect
    QStringList remix;       // each side's channel: its tones' channels with their gains
    double highest = qInf(); // the highest level that fits, when one side's would clip
    int channel = 0;
    for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
        if (side->isEmpty())
            continue;
        ToneLevels levels{0, true, 0};
        QList<std::pair<int, double>> amplitudes; // channel, relative amplitude
        QList<SideTone> sideTones;
        for (const MixTone &text : *side) {
            const std::optional<MadeTone> made = MakePeriodic(tone, text, options, plan.reminder);
            if (!made)
                return plan;
            const QStringList words = QStringList{tone.fields.Waveform} + FieldWords(text.frequencies);
            if (made->band) {
                QStringList piped{u"-r"_s, QString::number(made->band->synthRate)};
                if (made->band->components > 1)
                    piped << u"-c"_s << QString::number(made->band->components);
                const AliasFreeWords band = made->bandWords();
                piped << u"-n"_s << u"-p"_s << u"synth"_s << band.synth << band.effects;
                plan.pipedTones.append(piped);
            } else if (options.aliasFree() && *tone.shape != ShapeKind::Sine) {
                plan.pipedTones.append(QStringList{u"-r"_s, QString::number(rate), u"-n"_s, u"-p"_s, u"synth"_s} +
                                       FieldWords(tone.fields.Length) + words);
            } else {
                specs << words;
            }
            levels.peak += made->side.amplitude * made->peak;
            levels.peakExact = levels.peakExact && made->peakExact;
            sideTones.append(made->side);
            amplitudes.append({++channel, made->side.amplitude});
        }
        levels.meanSquare = SideMeanSquare(sideTones, tone.samples, rate);
        const LevelSetting setting = SetLevel({plan.target.rms, plan.target.decibels + mix.sideDb(*side)}, levels);
        double gainDb = setting.gainDb;
        if (setting.normalisedPeakDb && mix.twoSides()) {
            // The same for each side, by a measuring run that reports each channel's peak.
            plan.measured = true;
            plan.sidePeakTargets << *setting.normalisedPeakDb;
            gainDb = *setting.normalisedPeakDb - levels.peakDb();
        } else if (setting.normalisedPeakDb) {
            // Band-limited tones whose peaks are only bounded: the tool measures the mix and sets
            // its peak, as for one such tone.
            gainDb = -levels.peakDb();
            plan.level = LevelWords(setting);
            plan.buffered = true;
        } else if (setting.overDb) {
            highest = std::min(highest, plan.target.decibels - *setting.overDb);
        }
        QStringList gains;
        for (const auto &[index, amplitude] : amplitudes)
            gains << u"%1v%2"_s.arg(index).arg(Number(amplitude * std::pow(10, gainDb / 20)));
        remix << gains.join(u',');
    }
    if (highest < qInf()) {
        plan.reminder = TooLoudReminder(plan.target, highest);
        return plan;
    }
    if (plan.pipedTones.isEmpty()) {
        // No headroom of the synth's own: remix sets every level.
        plan.toolOptions << u"-c"_s << QString::number(channel);
        plan.synth = QStringList{u"-n"_s} + FieldWords(tone.fields.Length) + specs;
    } else {
        // The piped tones come at the file's rate; only the sample format is the output's.
        plan.toolOptions = plan.pipedTones.size() > 1 ? QStringList{u"-M"_s} : QStringList();
        plan.outputOptions = options.formatOptions();
        // A pipe tells the tool no length, so the fades are told where the tone ends.
        if (!plan.softEdges.isEmpty())
            plan.softEdges.replace(plan.softEdges.indexOf(u"-0"_s), QString::number(tone.samples) + u's');
    }
    plan.synthesis = QStringList{u"remix"_s, u"-m"_s} + remix;
    if (!plan.buffered)
        plan.level.clear();
    return plan;
}

TonePlan PlanSteps(const Tone &tone, const OutputOptions &options);

} // namespace

TonePlan PlanAsTyped(const ToneRequest &fields, const OutputOptions &options)
{
    TonePlan plan = BasePlan(options, {options.rmsLevel(), options.levelDecibels()}, false);
    plan.synth = FieldWords(fields.Length) + FieldWords(fields.Waveform) + FieldWords(fields.Frequencies);
    plan.typedSynth = fields.Length + u' ' + fields.Waveform + u' ' + fields.Frequencies;
    return plan;
}

namespace {

// The run dithers: the tool dithers a 16- or 24-bit file unless told not to, and a step itself.
bool RunDithers(const TonePlan &plan)
{
    return (plan.layout.bitsPerSample < 32 && !plan.toolOptions.contains(u"-D"_s)) || !plan.dither.isEmpty();
}

// The tool seeds its dither from the clock, so that no two runs make the same 16- or 24-bit file.
// Seeded the same each time ("-R"), a dithered tone is the same file however often it is made,
// and the copied command makes the very file that Save makes.
void MakeDitherRepeatable(TonePlan &plan)
{
    if (RunDithers(plan) && !plan.toolOptions.contains(u"-R"_s))
        plan.toolOptions.prepend(u"-R"_s);
    for (TonePlan &step : plan.steps)
        MakeDitherRepeatable(step);
}

TonePlan PlanWithoutSeed(const Tone &tone, const OutputOptions &options)
{
    if (options.measurementSweep())
        return PlanMeasurementSweep(tone, options);
    if (tone.stepped() || options.burstCycles() > 0)
        return PlanSteps(tone, options);
    return PlanToneAt(tone, tone.steps.first(), options, {options.rmsLevel(), options.levelDecibels()});
}

} // namespace

TonePlan PlanTone(const Tone &tone, const OutputOptions &options)
{
    TonePlan plan = PlanWithoutSeed(tone, options);
    // A noise is a fresh one in every run, as it is in a 32-bit file.
    if (!tone.noise())
        MakeDitherRepeatable(plan);
    return plan;
}

namespace {

QString Seconds(qint64 samples, int rate)
{
    // Rounded up to the millisecond, so that the length named holds the samples.
    return QString::number(std::ceil(double(samples) * 1000 / rate) / 1000, 'g', 12);
}

// A step of tone bursts: one sine a side, starting at phase zero, cut after whole cycles (or under
// a Hann window of 6.5 cycles), then silence to the end of the slot. The synth effect makes the
// sine for the slot; in its multiplying mode a sine a sixth and a half of the frequency, started a
// quarter period early, is the Hann window (1 - cos) / 2, and a square of one period per slot,
// high for the burst's samples, the gate.
TonePlan PlanBurst(const ToneMix &mix, const QString &waveform, const OutputOptions &options, const LevelTarget &target,
                   qint64 slot)
{
    TonePlan step;
    const int rate = options.sampleRate();
    step.layout = {rate, 32, mix.twoSides() ? 2 : options.channelCount()};
    step.frames = slot;
    if (waveform != u"sine"_s) {
        step.reminder = u"Tone bursts are bursts of a sine: choose Sine (Default)."_s;
        return step;
    }
    const double cycles = options.burstCycles();
    QStringList tones;
    QStringList windows;
    QStringList gates;
    QStringList gains;
    int channel = 0;
    for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
        if (side->isEmpty())
            continue;
        const std::optional<ToneTerm> term = side->size() == 1 ? side->first().term : std::nullopt;
        if (!term || term->sweep != SweepKind::Steady || term->from <= 0) {
            step.reminder = u"A tone burst takes one frequency a step (with |, one a side), not a sweep or tones "
                            "together."_s;
            return step;
        }
        const qint64 length = std::llround(cycles * rate / term->from);
        if (length > slot || length < 1) {
            step.reminder = u"A burst of %1 cycles at %2 Hz lasts %3 s: choose a Length of at least %3."_s.arg(
                QString::number(cycles), Number(term->from), Seconds(length, rate));
            return step;
        }
        tones << u"sine"_s << Number(term->from);
        windows << u"sine"_s << u"amod"_s << Number(term->from / 6.5) << u"0"_s << u"75"_s;
        // High while the phase is below the duty: for the samples before the burst's end, with half
        // a sample to spare.
        gates << u"square"_s << u"amod"_s << Number(double(rate) / double(slot)) << u"0"_s << u"0"_s
              << Number(100 * (double(length) - 0.5) / double(slot));
        // A sine's peak and its AES17 RMS level are the same: the level is the steady tone's.
        const double gain = std::min(target.decibels + mix.sideDb(*side), -HeadroomDb);
        gains << (mix.twoSides() ? u"%1p%2"_s.arg(++channel).arg(DecibelWord(gain)) : DecibelWord(gain));
    }
    const QString slotWord = QString::number(slot) + u's';
    step.toolOptions = {u"-r"_s, QString::number(rate)};
    if (mix.twoSides())
        step.toolOptions << u"-c"_s << u"2"_s;
    step.synth = QStringList{slotWord} + tones;
    if (options.hannBurst())
        step.synthesis << u"synth"_s << slotWord << windows;
    step.level = mix.twoSides() ? QStringList{u"remix"_s} + gains : QStringList{u"gain"_s} + gains;
    // The gate after any dither: the rest of the slot is digital zero.
    step.channelEffects = QStringList{u"synth"_s, slotWord} + gates;
    if (!mix.twoSides())
        step.channelEffects << options.chosen(OutputSetting::Channels).effects;
    return step;
}

// Steps one after another: each planned as a whole tone at its own level (its loudest tone's @
// against the field's loudest), made by a run of its own, and read in order by the main run,
// which writes the file's format. A format that is dithered is dithered in each step, before its
// pause (and a burst's gate) is added, so that silence stays digital zero: the main run only
// writes samples that are already on the format's steps.
TonePlan PlanSteps(const Tone &tone, const OutputOptions &options)
{
    const int rate = options.sampleRate();
    TonePlan plan;
    plan.layout = tone.layout;
    plan.target = {options.rmsLevel(), options.levelDecibels()};
    double loudest = -qInf();
    for (const ToneMix &mix : tone.steps) {
        for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
            for (const MixTone &text : *side)
                loudest = std::max(loudest, text.relativeDb);
        }
    }
    const bool stereo =
        std::any_of(tone.steps.cbegin(), tone.steps.cend(), [](const ToneMix &mix) { return mix.twoSides(); });
    const qint64 slot = tone.samples;
    const qint64 pause = std::llround(options.stepPauseSeconds() * rate);
    const qint64 steps = tone.steps.size();
    plan.frames = slot * steps + pause * (steps - 1);
    if (plan.frames > tone.layout.maxSamples()) {
        plan.reminder = TooLongReminder(tone.layout);
        return plan;
    }
    // The steps are made at the tool's own sample size; the main run writes the file's.
    OutputOptions stepOptions = options;
    stepOptions.restore(OutputSetting::SampleFormat, u"32"_s);
    const bool dithered = IsDithered(options);
    for (qsizetype i = 0; i < tone.steps.size(); ++i) {
        const ToneMix &mix = tone.steps[i];
        LevelTarget target = plan.target;
        double stepLoudest = -qInf();
        for (const QList<MixTone> *side : {&mix.left, &mix.right}) {
            for (const MixTone &tone : *side)
                stepLoudest = std::max(stepLoudest, tone.relativeDb);
        }
        target.decibels = plan.target.decibels + stepLoudest - loudest;
        // The dither of the file's format needs the room that a full-scale step does not leave.
        if (dithered && !target.rms)
            target.decibels = std::min(target.decibels, -HeadroomDb);
        TonePlan step;
        if (options.burstCycles() > 0) {
            step = PlanBurst(mix, tone.fields.Waveform, options, target, slot);
        } else {
            step = PlanToneAt(tone, mix, stepOptions, target);
        }
        if (!step.reminder && step.measured)
            step.reminder =
                u"Steps cannot hold a left | right tone whose peaks must be measured (an alias-free sweep): "
                "make it a file of its own."_s;
        if (step.reminder) {
            plan.reminder = step.reminder;
            return plan;
        }
        // A step of one channel in a stereo file sounds in both.
        if (stereo && !mix.twoSides() && step.channelEffects.isEmpty() && options.channelCount() == 1)
            step.channelEffects = {u"channels"_s, u"2"_s};
        if (i + 1 < tone.steps.size() && pause > 0)
            step.channelEffects << u"pad"_s << u"0"_s << QString::number(pause) + u's';
        if (dithered)
            step.dither = {u"dither"_s, u"-p"_s, QString::number(plan.layout.bitsPerSample)};
        plan.steps.push_back(step);
    }
    plan.outputOptions = options.formatOptions();
    plan.toolOptions = dithered ? QStringList{u"-D"_s} : QStringList();
    return plan;
}

} // namespace

QStringList MeasuringArguments(const TonePlan &plan, const QStringList &pipedInputs)
{
    if (!plan.pipedTones.isEmpty())
        return plan.toolOptions + pipedInputs + QStringList{u"-n"_s} + plan.synthesis + QStringList{u"stats"_s};
    return plan.toolOptions + QStringList{u"-n"_s, u"-n"_s, u"synth"_s} + plan.synth + plan.synthesis +
           QStringList{u"stats"_s};
}

bool ApplyMeasuredLevels(TonePlan &plan, const QList<ToneLevels> &levels)
{
    if (plan.sidePeakTargets.isEmpty()) {
        if (levels.isEmpty())
            return false;
        SetComputedLevel(plan, levels.first());
    } else {
        if (levels.size() != plan.sidePeakTargets.size())
            return false;
        // Each channel's own gain, in dB ("p"), as a remix of the two.
        plan.level = {u"remix"_s};
        for (qsizetype side = 0; side < levels.size(); ++side)
            plan.level << u"%1p%2"_s.arg(side + 1).arg(DecibelWord(plan.sidePeakTargets[side] - levels[side].peakDb()));
    }
    plan.measured = false;
    return true;
}

QString MeasuredGainScript(const TonePlan &plan)
{
    const QString target = Number(plan.target.decibels);
    const QString ceiling = Number(-HeadroomDb);
    // A level that does not fit is refused as the program refuses it: the reminder, and no tone.
    const QString unit = plan.target.rms ? u" dBFS RMS"_s : u" dBFS"_s;
    const QString refuse =
        u"if (p + g > 0.0001) { h = (%1 - (p + g)) * 10; f = int(h); if (f > h) f--; printf \"At %1%2 this tone would "
        "clip: the highest level that fits is %.1f%2.\\n\", f / 10 > \"/dev/stderr\"; exit 1 } "_s.arg(target, unit);
    const QString gain = plan.target.rms ? u"g = %1 - (r + %2); %4if (p + g > %3) g = %3 - p"_s.arg(
                                               target, QString::number(Aes17OffsetDb, 'g', 17), ceiling, refuse)
                                         : u"g = (%1 < %2 ? %1 : %2) - p"_s.arg(target, ceiling);
    // No report (the measuring run failed) or silence: no gain can be made from it, so no tone.
    const QString unmeasured = u"if (!n || p < -900) { print \"The sound tool measured no level for the tone.\" "
                               "> \"/dev/stderr\"; exit 1 } "_s;
    if (!plan.sidePeakTargets.isEmpty()) {
        // Each channel's peak, after the overall one, and a gain for each as remix takes it.
        QString gains;
        for (qsizetype side = 0; side < plan.sidePeakTargets.size(); ++side)
            gains += u"printf \"%1%2p%.4f\", %3 - ($%4 + %5); "_s.arg(side ? u" "_s : QString())
                         .arg(side + 1)
                         .arg(Number(plan.sidePeakTargets[side]))
                         .arg(side + 5)
                         .arg(Number(StatsRoundingDb));
        return u"/^Pk lev dB/ { p = $4 + %1; n++; if (NF != %2) n = 0; c = $0 } END { %3$0 = c; %4}"_s.arg(
            Number(StatsRoundingDb), QString::number(4 + plan.sidePeakTargets.size()), unmeasured, gains);
    }
    return u"/^Pk lev dB/ { p = $4 + %1; n++ } /^RMS lev dB/ { r = $4 } END { %2%3; printf \"%.4f\", g }"_s.arg(
        Number(StatsRoundingDb), unmeasured, gain);
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone.h"

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

// The type words of the list, in its order: the shapes, then the noises.
void ReadType(Tone &tone)
{
    static const std::array<std::pair<QString, ShapeKind>, 7> shapes{
        std::pair{u"sine"_s, ShapeKind::Sine},
        std::pair{u"square"_s, ShapeKind::Square},
        std::pair{u"triangle"_s, ShapeKind::Triangle},
        std::pair{u"sawtooth"_s, ShapeKind::Sawtooth},
        std::pair{u"trapezium"_s, ShapeKind::Trapezium},
        std::pair{u"exp"_s, ShapeKind::Exp},
        std::pair{u"polaritypulse"_s, ShapeKind::PolarityPulse}};
    static const std::array<std::pair<QString, NoiseColour>, 3> noises{std::pair{u"whitenoise"_s, NoiseColour::White},
                                                                       std::pair{u"pinknoise"_s, NoiseColour::Pink},
                                                                       std::pair{u"brownnoise"_s, NoiseColour::Brown}};
    const QString &word = tone.fields.Waveform;
    for (const auto &[name, kind] : shapes) {
        if (word == name)
            tone.shape = kind;
    }
    for (const auto &[name, colour] : noises) {
        if (word == name)
            tone.noiseColour = colour;
    }
}

// The word of the field as the person typed it: the places of the reading are those of the text
// with its units taken away.
FieldWord AsTyped(const FieldWord &word, const QString &read, const QString &typed, const QList<qsizetype> &typedAt)
{
    if (typed.isEmpty())
        return {word.start, read.mid(word.start, word.text.size())};
    const qsizetype end = word.start + word.text.size();
    const qsizetype start = typedAt.isEmpty() ? word.start : typedAt[word.start];
    const qsizetype typedEnd = typedAt.isEmpty() ? end : typedAt[end];
    return {start, typed.mid(start, typedEnd - start)};
}

std::optional<ToneRefusal> LengthRefusal(const Tone &tone, const LengthReading &length)
{
    if (!length.length || length.length->samplesAt(tone.layout.sampleRate) == 0) {
        const ToneRequest &fields = tone.fields;
        std::optional<FieldWord> word = length.notUnderstood;
        if (word)
            word = AsTyped(*word, fields.Length, fields.typedLength, {});
        return ToneRefusal{LengthReminder, ToneField::Length, word};
    }
    const qint64 samples = length.length->samplesAt(tone.layout.sampleRate);
    if (samples < 0 || samples > tone.layout.maxSamples())
        return ToneRefusal{TooLongReminder(tone.layout), std::nullopt, std::nullopt};
    return std::nullopt;
}

// Each tone a frequency or a sweep without the numbers after it.
bool FrequenciesAlone(const FrequencyReading &frequencies)
{
    for (const ToneMix &mix : frequencies.steps) {
        for (const MixTone &text : mix.left + mix.right) {
            if (FieldWords(text.frequencies).size() != 1)
                return false;
        }
    }
    return true;
}

std::optional<QString> FieldsReminder(const Tone &tone, const FrequencyReading &frequencies)
{
    if (frequencies.reminder == StepsReminder)
        return StepsReminder;
    // The tool makes a noise without a frequency.
    if (!(tone.noise() && frequencies.empty) && frequencies.reminder)
        return frequencies.reminder;
    if (!tone.shape && !tone.noise())
        return TypeReminder;
    // A noise's frequency field is not read at all; only a level alone on one noise is harmless.
    if (tone.noise() && frequencies.together)
        return NoiseTogetherReminder;
    if (tone.noise() && frequencies.stepped)
        return NoiseStepsReminder;
    if (frequencies.bins && frequencies.bins->noise && !tone.noise())
        return PeriodicNoiseReminder;
    if (frequencies.bins && !frequencies.bins->noise && tone.shape != ShapeKind::Sine)
        return MultitoneSineReminder;
    if (tone.shape == ShapeKind::PolarityPulse && !FrequenciesAlone(frequencies))
        return PulseNumbersReminder;
    // Above half the rate a periodic tone folds back to a lower one.
    if (!tone.noise() && frequencies.highest > tone.layout.sampleRate / 2.0)
        return HighestFrequencyReminder(tone.layout.sampleRate);
    return std::nullopt;
}

} // namespace

bool Tone::twoSides() const
{
    return std::any_of(steps.begin(), steps.end(), [](const ToneMix &mix) { return mix.twoSides(); });
}

bool Tone::sweep() const
{
    if (steps.size() != 1 || !steps.first().asTyped || steps.first().left.size() != 1)
        return false;
    const std::optional<ToneTerm> &term = steps.first().left.first().term;
    return term && term->sweep != SweepKind::Steady;
}

ToneReading ReadTone(const ToneRequest &typed, const OutputOptions &options)
{
    const ToneRequest request = options.exactThirdOctaves() ? WithExactThirdOctaves(typed) : typed;
    ToneReading reading;
    Tone &tone = reading.tone;
    tone.fields = request;
    ReadType(tone);
    const FrequencyReading frequencies = ReadFrequencies(request.Frequencies);
    tone.steps = frequencies.steps;
    tone.keys = frequencies.keys;
    tone.bins = frequencies.bins;
    // Left | right is stereo whatever the Channels option says.
    tone.layout = {options.sampleRate(), options.bitsPerSample(), tone.twoSides() ? 2 : options.channelCount(),
                   options.floatSamples()};
    const LengthReading length = ReadLength(request.Length);
    if (length.length) {
        tone.samples = length.length->samplesAt(tone.layout.sampleRate);
        tone.lengthInSamples = length.length->inSamples;
    }
    if ((reading.refusal = LengthRefusal(tone, length)))
        return reading;
    // Whole periods of the FFT's length, so that the file loops without a seam.
    if (tone.bins) {
        const qint64 period = tone.bins->length;
        tone.samples = (tone.samples + period - 1) / period * period;
        if (tone.samples > tone.layout.maxSamples()) {
            reading.refusal = ToneRefusal{TooLongReminder(tone.layout), std::nullopt, std::nullopt};
            return reading;
        }
    }
    if (const std::optional<QString> reminder = FieldsReminder(tone, frequencies)) {
        const bool aboutWords = *reminder == FrequenciesReminder || *reminder == KeysReminder ||
                                *reminder == BinsReminder || *reminder == PeriodicReminder;
        std::optional<FieldWord> word = aboutWords ? frequencies.notUnderstood : std::nullopt;
        if (word)
            word = AsTyped(*word, request.Frequencies, request.typedFrequencies, request.frequenciesTypedAt);
        reading.refusal =
            ToneRefusal{*reminder, aboutWords ? std::optional(ToneField::Frequencies) : std::nullopt, word};
        return reading;
    }
    // A noise without a frequency: the tool makes it from the type alone.
    if (tone.steps.isEmpty())
        tone.steps.append(ToneMix{{MixTone{}}, {}, true});
    return reading;
}

std::optional<QString> EmptyFieldReminder(const ToneRequest &request, EmptyFrequencies rule)
{
    if (request.Length.isEmpty())
        return ForgotLengthReminder;
    const bool noise = request.Waveform.endsWith(u"noise"_s);
    if (request.Frequencies.isEmpty() && (rule == EmptyFrequencies::Forgotten || !noise))
        return ForgotFrequenciesReminder;
    return std::nullopt;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/field_grammar.h"

#include "core/failure.h"
#include "core/tone/output_options.h"
#include "core/tone/tone_term.h"

#include <QRegularExpression>
#include <QStringList>
#include <QtNumeric>
#include <algorithm>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// A whole number of any size written in decimal digits, or nothing when it does not fit.
std::optional<quint64> WholeNumber(QStringView digits)
{
    quint64 value = 0;
    for (const QChar digit : digits) {
        if (qMulOverflow(value, quint64(10), &value) || qAddOverflow(value, quint64(digit.unicode() - u'0'), &value))
            return std::nullopt;
    }
    return value;
}

// One tone's words: see FrequenciesFitGrammar.
bool ToneFitsGrammar(const QString &frequencies)
{
    return ParseToneTerms(frequencies).has_value();
}

// The words of a field with where each starts, split at blanks and at the characters given.
QList<FieldWord> WordsAt(const QString &field, const QString &separators)
{
    QList<FieldWord> words;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= field.size(); ++i) {
        const bool separator = i == field.size() || field[i] == u' ' || separators.contains(field[i]);
        if (!separator)
            continue;
        if (i > start)
            words.append({start, field.mid(start, i - start)});
        if (i < field.size() && field[i] != u' ')
            words.append({i, field.mid(i, 1)});
        start = i + 1;
    }
    return words;
}

// The highest frequency that a periodic tone of the field reaches, when the field can be read.
std::optional<double> HighestFrequency(const QString &frequencies)
{
    QStringList tones{frequencies};
    if (IsToneMix(frequencies)) {
        const std::optional<ToneMix> mix = ParseToneMix(frequencies);
        if (!mix)
            return std::nullopt;
        tones.clear();
        for (const MixTone &tone : mix->left + mix->right)
            tones << tone.frequencies;
    }
    std::optional<double> highest;
    for (const QString &tone : tones) {
        for (const ToneTerm &term : ParseToneTerms(tone).value_or(QList<ToneTerm>()))
            highest = std::max(highest.value_or(0), term.highest());
    }
    return highest;
}

} // namespace

qint64 ToneLength::samplesAt(int sampleRate) const
{
    if (inSamples)
        return samples > quint64(MaxLengthSamples) ? -1 : qint64(samples);
    if (sampleRate <= 0 || wholeSeconds > quint64(MaxLengthSamples / sampleRate))
        return -1;
    // As the tool adds it: the whole seconds in samples, then the fraction rounded to the nearest.
    const double total = double(wholeSeconds * quint64(sampleRate)) + (sampleRate * fraction + 0.5);
    return total > double(MaxLengthSamples) ? -1 : qint64(total);
}

double ToneLength::secondsAt(int sampleRate) const
{
    return double(samplesAt(sampleRate)) / sampleRate;
}

std::optional<ToneLength> ParseLength(const QString &length)
{
    const QStringList words = FieldWords(length);
    if (words.size() != 1)
        return std::nullopt;
    const QString &word = words.first();

    ToneLength parsed;
    // \A and \z, not ^ and $: "$" also matches before a final line break, which the tool would get.
    static const QRegularExpression sampleCount(uR"(\A([0-9]+)s\z)"_s);
    if (const QRegularExpressionMatch match = sampleCount.match(word); match.hasMatch()) {
        const std::optional<quint64> samples = WholeNumber(match.capturedView(1));
        if (!samples || *samples == 0)
            return std::nullopt;
        parsed.inSamples = true;
        parsed.samples = *samples;
        return parsed;
    }

    // [[hh:]mm:]ss[.frac], or seconds with only a fraction.
    static const QRegularExpression time(uR"(\A(?:(?:([0-9]+):)?([0-9]+):)?([0-9]*)(?:\.([0-9]+))?\z)"_s);
    const QRegularExpressionMatch match = time.match(word);
    if (!match.hasMatch() || (match.capturedLength(3) == 0 && (match.capturedLength(4) == 0 || match.hasCaptured(2))))
        return std::nullopt;
    quint64 total = 0;
    for (const auto &[group, secondsEach] : {std::pair{1, 3600}, std::pair{2, 60}, std::pair{3, 1}}) {
        const std::optional<quint64> part = WholeNumber(match.capturedView(group));
        quint64 seconds = 0;
        if (!part || qMulOverflow(*part, quint64(secondsEach), &seconds) || qAddOverflow(total, seconds, &total))
            return std::nullopt;
    }
    parsed.wholeSeconds = total;
    // Digits past double precision change nothing.
    parsed.fraction = (u"0."_s + match.captured(4).left(40) + u'0').toDouble();
    if (parsed.wholeSeconds == 0 && parsed.fraction == 0)
        return std::nullopt;
    return parsed;
}

bool FrequenciesFitGrammar(const QString &frequencies)
{
    if (!IsStepSequence(frequencies))
        return IsToneMix(frequencies) ? ParseToneMix(frequencies).has_value() : ToneFitsGrammar(frequencies);
    const std::optional<QStringList> steps = SplitSteps(frequencies);
    return steps && std::all_of(steps->begin(), steps->end(), [](const QString &step) {
               return IsToneMix(step) ? ParseToneMix(step).has_value() : ToneFitsGrammar(step);
           });
}

bool IsStepSequence(const QString &frequencies)
{
    return frequencies.contains(u';');
}

std::optional<QStringList> SplitSteps(const QString &frequencies)
{
    QStringList steps = frequencies.split(u';');
    if (steps.size() > MaxSteps)
        return std::nullopt;
    for (QString &step : steps) {
        step = step.trimmed();
        if (step.isEmpty())
            return std::nullopt;
    }
    return steps;
}

std::optional<ToneMix> ParseStep(const QString &step)
{
    if (IsToneMix(step))
        return ParseToneMix(step);
    if (!ToneFitsGrammar(step))
        return std::nullopt;
    return ToneMix{{MixTone{step, 0, ParseToneTerm(step)}}, {}, true};
}

double ToneMix::sideDb(const QList<MixTone> &side) const
{
    const auto loudest = [](const QList<MixTone> &terms) {
        double db = QuietestRelativeDb;
        for (const MixTone &term : terms)
            db = std::max(db, term.relativeDb);
        return db;
    };
    return loudest(side) - std::max(loudest(left), loudest(right));
}

bool IsToneMix(const QString &frequencies)
{
    return frequencies.contains(u'&') || frequencies.contains(u'|') || frequencies.contains(u'@');
}

namespace {

// A tone, then optionally "@" and a level that is zero or negative, blanks allowed around "@".
const QRegularExpression &LeveledTone()
{
    static const QRegularExpression leveled(
        QRegularExpression::anchoredPattern(uR"(([^@]*?) *@ *(-?%1) *)"_s.arg(NumberPattern)));
    return leveled;
}

// True when a tone of the field has an "@" whose level is no number from 0 down to the quietest.
bool HasBadLevel(const QString &frequencies)
{
    for (const QString &side : frequencies.split(u'|')) {
        for (const QString &text : side.split(u'&')) {
            if (!text.contains(u'@'))
                continue;
            const QRegularExpressionMatch match = LeveledTone().match(text);
            const double decibels = match.captured(2).toDouble();
            if (!match.hasMatch() || decibels > 0 || decibels < QuietestRelativeDb)
                return true;
        }
    }
    return false;
}

// The tones of a field's tones together, or nothing when it does not fit or holds more than
// mostTones.
std::optional<ToneMix> ParseToneMixOf(const QString &frequencies, qsizetype mostTones)
{
    const QRegularExpression &leveled = LeveledTone();
    const QStringList sides = frequencies.split(u'|');
    if (sides.size() > 2)
        return std::nullopt;
    ToneMix mix;
    qsizetype terms = 0;
    for (qsizetype side = 0; side < sides.size(); ++side) {
        for (const QString &text : sides[side].split(u'&')) {
            MixTone term{text, 0, std::nullopt};
            if (const QRegularExpressionMatch match = leveled.match(text); match.hasMatch()) {
                term.frequencies = match.captured(1);
                term.relativeDb = match.captured(2).toDouble();
                if (term.relativeDb > 0 || term.relativeDb < QuietestRelativeDb)
                    return std::nullopt;
            } else if (text.contains(u'@')) {
                return std::nullopt;
            }
            const std::optional<ToneTerm> parsed = ParseToneTerm(term.frequencies);
            if (++terms > mostTones || !parsed || parsed->toolRefuses())
                return std::nullopt;
            term.term = parsed;
            (side == 0 ? mix.left : mix.right).append(term);
        }
    }
    return mix;
}

// True when a step of the field would fit but for its number of tones.
bool HasTooManyTones(const QString &frequencies)
{
    const QStringList steps = SplitSteps(frequencies).value_or(QStringList());
    return std::any_of(steps.begin(), steps.end(), [](const QString &step) {
        return !ParseToneMixOf(step, MaxToneTerms) && ParseToneMixOf(step, std::numeric_limits<qsizetype>::max());
    });
}

} // namespace

std::optional<ToneMix> ParseToneMix(const QString &frequencies)
{
    return ParseToneMixOf(frequencies, MaxToneTerms);
}

QString TooLongReminder(const SampleLayout &layout)
{
    const qint64 samples = layout.maxSamples();
    // Whole milliseconds, rounded down, so that the length named is one that fits.
    const qint64 ms = samples * 1000 / layout.sampleRate;
    const QString time = u"%1:%2:%3.%4"_s.arg(ms / 3'600'000)
                             .arg(ms / 60'000 % 60, 2, 10, QChar(u'0'))
                             .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
                             .arg(ms % 1000, 3, 10, QChar(u'0'));
    const QString channels = layout.channels == 1 ? u"one channel"_s : u"%1 channels"_s.arg(layout.channels);
    return u"The tone would be larger than a wave file can hold (4 GiB). At %1 Hz, %2 bits and %3, the longest "
           "length is %4 (%5s)."_s.arg(layout.sampleRate)
               .arg(layout.bitsPerSample)
               .arg(channels, time)
               .arg(samples);
}

std::optional<QString> ToneGrammarReminder(const ToneRequest &request, const SampleLayout &layout)
{
    const std::optional<ToneLength> length = ParseLength(request.Length);
    if (!length || length->samplesAt(layout.sampleRate) == 0)
        return LengthReminder;
    const qint64 samples = length->samplesAt(layout.sampleRate);
    if (samples < 0 || samples > layout.maxSamples())
        return TooLongReminder(layout);
    if (IsStepSequence(request.Frequencies) && !SplitSteps(request.Frequencies))
        return StepsReminder;
    // The tool makes a noise without a frequency.
    const bool noiseWithoutFrequency =
        request.Waveform.endsWith(u"noise"_s) && FieldWords(request.Frequencies).isEmpty();
    if (!noiseWithoutFrequency && !FrequenciesFitGrammar(request.Frequencies)) {
        if (HasTooManyTones(request.Frequencies))
            return TooManyTonesReminder;
        return HasBadLevel(request.Frequencies) ? LevelReminder : FrequenciesReminder;
    }
    if (request.Waveform.isEmpty())
        return TypeReminder;
    // A noise's frequency field is not read at all; only a level alone on one noise is harmless.
    if (request.Waveform.endsWith(u"noise"_s) &&
        (request.Frequencies.contains(u'&') || request.Frequencies.contains(u'|')))
        return NoiseTogetherReminder;
    if (request.Waveform.endsWith(u"noise"_s) && IsStepSequence(request.Frequencies))
        return NoiseStepsReminder;
    // Above half the rate a periodic tone folds back to a lower one; a noise's field is not read.
    if (const std::optional<double> highest = HighestFrequency(request.Frequencies);
        !request.Waveform.endsWith(u"noise"_s) && highest && *highest > layout.sampleRate / 2.0)
        return HighestFrequencyReminder(layout.sampleRate);
    return std::nullopt;
}

QString HighestFrequencyReminder(int sampleRate)
{
    QString reminder = u"At a sample rate of %1 Hz the highest frequency is %2 Hz, half the rate: a higher one "
                       "would come out as a lower tone."_s.arg(sampleRate)
                           .arg(QString::number(sampleRate / 2.0, 'g', 10));
    const QList<OutputChoice> &rates = OutputRow(OutputSetting::SampleRate).choices;
    if (sampleRate >= rates.constLast().sampleRate)
        return reminder;
    return reminder + u" A higher rate is under Sample Rate."_s;
}

std::optional<FieldWord> FirstLengthWordNotUnderstood(const QString &length)
{
    const QList<FieldWord> words = WordsAt(length, {});
    for (const FieldWord &word : words) {
        // A zero is a length all the same, only too short: its digits made ones tell the form.
        if (!ParseLength(word.text) && !ParseLength(QString(word.text).replace(u'0', u'1')))
            return word;
    }
    // The field takes one length: the word after it is the one too many.
    return words.size() > 1 ? std::optional(words[1]) : std::nullopt;
}

std::optional<FieldWord> FirstFrequencyWordNotUnderstood(const QString &frequencies)
{
    static const QRegularExpression level(uR"(\A-?%1\z)"_s.arg(NumberPattern));
    static const QRegularExpression unit(uR"(\A[kK]?[hH][zZ]\z)"_s);
    const QList<FieldWord> words = WordsAt(frequencies, u"&|@;"_s);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i].text;
        const QString before = i > 0 ? words[i - 1].text : QString();
        const bool understood =
            word == u"&"_s || word == u"|"_s || word == u"@"_s || word == u";"_s ||
            (before == u"@"_s ? level.match(word).hasMatch()
                              : IsToneWord(WithoutFrequencyUnits(word)) ||
                                    (unit.match(word).hasMatch() && !before.isEmpty() && before.back().isDigit()));
        if (!understood)
            return words[i];
    }
    return std::nullopt;
}

std::optional<FieldWord> WordNotUnderstood(const QString &reminder, const QString &typedLength,
                                           const QString &typedFrequencies)
{
    const bool length = reminder == LengthReminder;
    if (!length && reminder != FrequenciesReminder)
        return std::nullopt;
    // Commas are dots to the grammar; the places of the words stay those of the field.
    const QString &typed = length ? typedLength : typedFrequencies;
    const QString dotted = QString(typed).replace(u',', u'.');
    std::optional<FieldWord> word =
        length ? FirstLengthWordNotUnderstood(dotted) : FirstFrequencyWordNotUnderstood(dotted);
    if (word)
        word->text = typed.mid(word->start, word->text.size());
    return word;
}

QString QuotingWordNotUnderstood(const QString &reminder, const std::optional<FieldWord> &word)
{
    return word ? reminder + u"\r\nNot understood: "_s + ShortenedForMessage(word->text) : reminder;
}

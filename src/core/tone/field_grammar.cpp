// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/field_grammar.h"

#include "core/failure.h"
#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QRegularExpression>
#include <QStringList>
#include <QtNumeric>
#include <algorithm>
#include <array>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// A number as the fields take it: digits with an optional fraction, or a fraction alone (decimal
// commas already dots), as a regular expression.
const QString NumberPattern = uR"((?:[0-9]+(?:\.[0-9]+)?|\.[0-9]+))"_s;

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

// The words of a field with where each starts, split at blanks and at the characters given, which
// are words of their own.
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

// The words of a frequency: semitones from A4 ("%-12"), a note ("A4", "C#5") or hertz ("440", "1k").

// Semitones from A4 as the tool counts them for a note's letter, accidental and octave.
int NoteSemitones(QChar letter, QStringView accidental, QStringView octave)
{
    int semitones = int(5 / 3. * (letter.unicode() - u'A') + 9.5) % 12 - 9;
    if (accidental == u"b")
        --semitones;
    else if (accidental == u"#")
        ++semitones;
    if (!octave.isEmpty())
        semitones += 12 * (octave.front().unicode() - u'4');
    return semitones;
}

double FromA4(double semitones)
{
    return 440 * std::pow(2., semitones / 12);
}

// The frequency at the start of the text, read as far as the tool reads it; length is how far.
std::optional<double> LeadingFrequency(QStringView text, qsizetype &length)
{
    static const QRegularExpression semitones(uR"(^%([-+]?%1))"_s.arg(NumberPattern));
    static const QRegularExpression note(uR"(^([A-G])([b#]?)([0-9]?))"_s);
    static const QRegularExpression hertz(uR"(^(%1)(k?))"_s.arg(NumberPattern));
    if (const auto match = semitones.match(text); match.hasMatch()) {
        length = match.capturedLength();
        return FromA4(match.captured(1).toDouble());
    }
    if (const auto match = note.match(text); match.hasMatch()) {
        length = match.capturedLength();
        return FromA4(NoteSemitones(match.captured(1).front(), match.capturedView(2), match.capturedView(3)));
    }
    if (const auto match = hertz.match(text); match.hasMatch()) {
        length = match.capturedLength();
        return match.captured(1).toDouble() * (match.capturedLength(2) ? 1000 : 1);
    }
    return std::nullopt;
}

std::optional<double> ParseFrequency(const QString &word)
{
    qsizetype length = 0;
    const std::optional<double> frequency = LeadingFrequency(word, length);
    return length == word.size() ? frequency : std::nullopt;
}

// A plain number, such as an offset, a phase or a shape parameter: may be negative. A level after
// "@" is one too.
bool IsPlainNumber(const QString &word)
{
    static const QRegularExpression number(uR"(\A-?%1\z)"_s.arg(NumberPattern));
    return number.match(word).hasMatch();
}

// A frequency, or a sweep of two joined by the character that says how it moves.
std::optional<ToneTerm> ParseFrequencyWord(const QString &word)
{
    ToneTerm term;
    term.word = word;
    qsizetype length = 0;
    const std::optional<double> from = LeadingFrequency(word, length);
    if (!from)
        return std::nullopt;
    term.from = term.to = *from;
    term.fromWord = word.left(length);
    if (length < word.size()) {
        static const QString kinds = u":+/-"_s;
        const std::array sweeps{SweepKind::Linear, SweepKind::SquareLaw, SweepKind::Exponential, SweepKind::Stepped};
        const qsizetype kind = kinds.indexOf(word[length]);
        const std::optional<double> to = kind < 0 ? std::nullopt : ParseFrequency(word.mid(length + 1));
        if (!to)
            return std::nullopt;
        term.to = *to;
        term.sweep = sweeps[size_t(kind)];
    }
    return term;
}

// True when the word is one that a tone may hold: a frequency, a sweep, or a plain number.
bool IsToneWord(const QString &word)
{
    return IsPlainNumber(word) || ParseFrequencyWord(word).has_value();
}

// The words of one channel's tone or of several, as the tool reads them: each a frequency or a
// sweep, then up to five numbers (the offset from -100 to 100 %, the phase and three shape
// parameters from 0 to 100 %); the first may be the numbers alone, its frequency left at the
// tool's 440 Hz, and a word that is no more of them starts the next channel's. Nothing when the
// tool would refuse the words or read more into them: none at all, a word that is no frequency
// or number, a number out of its range.
std::optional<QList<ToneTerm>> ParseTermWords(const QStringList &words)
{
    if (words.isEmpty())
        return std::nullopt;
    QList<ToneTerm> terms;
    constexpr qsizetype MostParameters = 5;
    qsizetype parameters = MostParameters;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        // Numbers are the tone's parameters while it takes more. A first word that starts with
        // '-' is one too: the frequency stays at the tool's 440 Hz.
        if (IsPlainNumber(word) && (parameters < MostParameters || (i == 0 && word.startsWith(u'-')))) {
            if (terms.isEmpty())
                terms.append(ToneTerm{});
            ShapeParameters &values = terms.last().parameters;
            const std::array<double *, MostParameters> places{&values.offset, &values.phase, &values.p1, &values.p2,
                                                              &values.p3};
            const qsizetype slot = i == 0 ? 0 : parameters;
            const double percent = word.toDouble();
            if (percent < (slot == 0 ? -100 : 0) || percent > 100)
                return std::nullopt;
            *places[size_t(slot)] = percent / 100;
            parameters = slot + 1;
            continue;
        }
        const std::optional<ToneTerm> term = ParseFrequencyWord(word);
        if (!term)
            return std::nullopt;
        terms.append(*term);
        parameters = 0;
    }
    return terms;
}

// The frequencies field as words and the signs between them (& | @ ;), each where it was typed.
using Tokens = QList<FieldWord>;

bool IsSign(const FieldWord &token, char16_t sign)
{
    return token.text.size() == 1 && token.text.front() == sign;
}

QList<Tokens> SplitAt(const Tokens &tokens, char16_t sign)
{
    QList<Tokens> parts(1);
    for (const FieldWord &token : tokens) {
        if (IsSign(token, sign))
            parts.append(Tokens());
        else
            parts.last().append(token);
    }
    return parts;
}

QStringList Texts(const Tokens &tokens)
{
    QStringList texts;
    for (const FieldWord &token : tokens)
        texts.append(token.text);
    return texts;
}

// The first word that no tone takes: not a sign, not a level after "@", not a tone's word.
std::optional<FieldWord> FirstWordNotUnderstood(const Tokens &tokens)
{
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const FieldWord &token = tokens[i];
        const bool sign = IsSign(token, u'&') || IsSign(token, u'|') || IsSign(token, u'@') || IsSign(token, u';');
        const bool afterLevelSign = i > 0 && IsSign(tokens[i - 1], u'@');
        if (!sign && !(afterLevelSign ? IsPlainNumber(token.text) : IsToneWord(token.text)))
            return token;
    }
    return std::nullopt;
}

// One tone of tones together: one frequency or sweep with its numbers, then optionally "@" and
// a level from 0 down to QuietestRelativeDb. badLevel is set when the level is not one.
std::optional<MixTone> ReadMixTone(const Tokens &tokens, bool &badLevel)
{
    Tokens words = tokens;
    double level = 0;
    const auto at = std::find_if(tokens.begin(), tokens.end(), [](const FieldWord &t) { return IsSign(t, u'@'); });
    if (at != tokens.end()) {
        const qsizetype place = at - tokens.begin();
        const bool oneLevel = place == tokens.size() - 2 && IsPlainNumber(tokens.last().text);
        level = oneLevel ? tokens.last().text.toDouble() : 0;
        if (!oneLevel || level > 0 || level < QuietestRelativeDb) {
            badLevel = true;
            return std::nullopt;
        }
        words = tokens.first(place);
    }
    const std::optional<QList<ToneTerm>> terms = ParseTermWords(Texts(words));
    if (!terms || terms->size() != 1 || terms->first().toolRefuses())
        return std::nullopt;
    return MixTone{Texts(words).join(u' '), level, terms->first()};
}

// One step as read: its tones, or why it does not fit, and the terms of its tones.
struct StepReading
{
    std::optional<ToneMix> mix;
    QList<ToneTerm> terms;
    bool badLevel = false;
    bool tooMany = false; // it would fit but for its number of tones
};

StepReading ReadTogether(const Tokens &tokens)
{
    StepReading step;
    const QList<Tokens> sides = SplitAt(tokens, u'|');
    bool fits = sides.size() <= 2;
    ToneMix mix;
    qsizetype count = 0;
    for (qsizetype side = 0; side < sides.size(); ++side) {
        for (const Tokens &toneTokens : SplitAt(sides[side], u'&')) {
            ++count;
            const std::optional<MixTone> tone = ReadMixTone(toneTokens, step.badLevel);
            fits = fits && tone.has_value();
            if (!tone || side > 1)
                continue;
            (side == 0 ? mix.left : mix.right).append(*tone);
            step.terms.append(*tone->term);
        }
    }
    step.tooMany = fits && count > MaxToneTerms;
    if (fits && !step.tooMany)
        step.mix = mix;
    return step;
}

StepReading ReadStep(const Tokens &tokens, const QString &field)
{
    const bool together = std::any_of(tokens.begin(), tokens.end(), [](const FieldWord &t) {
        return IsSign(t, u'&') || IsSign(t, u'|') || IsSign(t, u'@');
    });
    if (together)
        return ReadTogether(tokens);
    StepReading step;
    const std::optional<QList<ToneTerm>> terms = ParseTermWords(Texts(tokens));
    if (!terms)
        return step;
    // As typed, blanks and all, from its first word to its last.
    const qsizetype start = tokens.first().start;
    const QString text = field.mid(start, tokens.last().start + tokens.last().text.size() - start);
    step.mix = ToneMix{{MixTone{text, 0, terms->size() == 1 ? std::optional(terms->first()) : std::nullopt}}, {}, true};
    step.terms = *terms;
    return step;
}

// The keys of a telephone keypad (ITU-T Q.23): the row gives the low group's frequency, the
// column the high group's.
std::optional<std::pair<double, double>> KeyFrequencies(QChar key)
{
    static const QString keypad = u"123A456B789C*0#D"_s;
    static const std::array<double, 4> rows{697, 770, 852, 941};
    static const std::array<double, 4> columns{1209, 1336, 1477, 1633};
    const qsizetype at = keypad.indexOf(key.toUpper());
    if (at < 0)
        return std::nullopt;
    return std::pair{rows[size_t(at / 4)], columns[size_t(at % 4)]};
}

// The twist after "twist": the high group this many dB above the low one (below when negative).
std::optional<double> ReadTwist(const Tokens &words)
{
    if (words.size() != 2 || words[0].text.compare(u"twist"_s, Qt::CaseInsensitive) != 0 ||
        !IsPlainNumber(words[1].text))
        return std::nullopt;
    const double twist = words[1].text.toDouble();
    return std::abs(twist) <= -QuietestRelativeDb ? std::optional(twist) : std::nullopt;
}

// The keys as steps of tones together, the quieter group at its "@" level: the tones, their level
// and the steps are then what the field makes of any such text.
std::optional<QString> KeysAsSteps(const Tokens &keyWords, double twist)
{
    const QString low = twist > 0 ? u"@"_s + QString::number(-twist, 'g', 17) : QString();
    const QString high = twist < 0 ? u"@"_s + QString::number(twist, 'g', 17) : QString();
    QStringList steps;
    for (const FieldWord &word : keyWords) {
        for (const QChar key : word.text) {
            const std::optional<std::pair<double, double>> pair = KeyFrequencies(key);
            if (!pair)
                return std::nullopt;
            steps << u"%1%2 & %3%4"_s.arg(pair->first).arg(low).arg(pair->second).arg(high);
        }
    }
    if (steps.isEmpty() || steps.size() > MaxSteps)
        return std::nullopt;
    return steps.join(u"; "_s);
}

// "dtmf", the keys, and optionally "twist" and its decibels: nothing when the field is not keys.
std::optional<FrequencyReading> ReadKeys(const QString &frequencies)
{
    const Tokens words = WordsAt(frequencies, {});
    if (words.isEmpty() || words.first().text.compare(u"dtmf"_s, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const auto twistAt = std::find_if(words.begin() + 1, words.end(), [](const FieldWord &word) {
        return word.text.compare(u"twist"_s, Qt::CaseInsensitive) == 0;
    });
    const Tokens keyWords(words.begin() + 1, twistAt);
    const std::optional<double> twist =
        twistAt == words.end() ? std::optional(0.0) : ReadTwist(Tokens(twistAt, words.end()));
    const std::optional<QString> steps = twist ? KeysAsSteps(keyWords, *twist) : std::nullopt;
    FrequencyReading reading;
    if (steps)
        reading = ReadFrequencies(*steps);
    reading.keys = true;
    if (!steps || reading.reminder) {
        reading.steps.clear();
        reading.reminder = KeysReminder;
        // The twist, or the first word with a character that is no key; none for keys too few or many.
        const auto notKeys = std::find_if(keyWords.begin(), keyWords.end(), [](const FieldWord &word) {
            return std::any_of(word.text.begin(), word.text.end(), [](QChar key) { return !KeyFrequencies(key); });
        });
        reading.notUnderstood = !twist                      ? std::optional(*twistAt)
                                : notKeys != keyWords.end() ? std::optional(*notKeys)
                                                            : std::nullopt;
    }
    return reading;
}

bool IsWord(const FieldWord &word, QStringView name)
{
    return word.text.compare(name, Qt::CaseInsensitive) == 0;
}

// Whether the field is a multitone or a periodic noise.
bool HoldsBins(const Tokens &words)
{
    return !words.isEmpty() && (IsWord(words.first(), u"multitone") || IsWord(words.first(), u"periodic"));
}

// A whole number from 1 up to most, as digits alone.
std::optional<int> Count(const FieldWord &word, int most)
{
    static const QRegularExpression digits(uR"(\A[0-9]+\z)"_s);
    const std::optional<quint64> value = digits.match(word.text).hasMatch() ? WholeNumber(word.text) : std::nullopt;
    return value && *value >= 1 && *value <= quint64(most) ? std::optional(int(*value)) : std::nullopt;
}

// A range of two different frequencies above zero.
std::optional<ToneTerm> BinRange(const Tokens &words, qsizetype at)
{
    std::optional<ToneTerm> range = at < words.size() ? ParseFrequencyWord(words[at].text) : std::nullopt;
    if (!range || range->sweep == SweepKind::Steady || range->lowest() <= 0 || range->lowest() == range->highest())
        return std::nullopt;
    return range;
}

// The words of FftBins in their order; the first that does not fit, or the end, in at. A multitone
// names its tones and its range; a periodic noise may leave out its range.
std::optional<FftBins> ReadBinWords(const Tokens &words, qsizetype &at)
{
    FftBins bins;
    bins.noise = IsWord(words.first(), u"periodic");
    at = 1;
    if (!bins.noise) {
        const std::optional<int> tones = at < words.size() ? Count(words[at], MaxMultitoneTones) : std::nullopt;
        if (!tones)
            return std::nullopt;
        bins.tones = *tones;
        ++at;
    }
    const std::optional<ToneTerm> range = BinRange(words, at);
    if (range) {
        bins.low = range->lowest();
        bins.high = range->highest();
        ++at;
    } else if (bins.noise && (at == words.size() || IsWord(words[at], u"fft"))) {
        bins.low = PeriodicLowest;
        bins.high = PeriodicHighest;
    } else {
        return std::nullopt;
    }
    if (at < words.size() && IsWord(words[at], u"fft")) {
        const std::optional<int> length = ++at < words.size() ? Count(words[at], LongestFft) : std::nullopt;
        if (!length || *length < ShortestFft || (*length & (*length - 1)) != 0)
            return std::nullopt;
        bins.length = *length;
        ++at;
    }
    return at == words.size() ? std::optional(bins) : std::nullopt;
}

// A multitone or a periodic noise: nothing when the field is neither.
std::optional<FrequencyReading> ReadBins(const QString &frequencies)
{
    const Tokens words = WordsAt(frequencies, {});
    if (!HoldsBins(words))
        return std::nullopt;
    FrequencyReading reading;
    qsizetype at = 0;
    reading.bins = ReadBinWords(words, at);
    if (!reading.bins) {
        reading.reminder = IsWord(words.first(), u"periodic") ? PeriodicReminder : BinsReminder;
        if (at < words.size())
            reading.notUnderstood = words[at];
        return reading;
    }
    reading.highest = reading.bins->high;
    // One tone of its own kind, which the plan makes: not one the tool reads as typed.
    reading.steps = {ToneMix{{MixTone{frequencies, 0, std::nullopt}}, {}, false}};
    return reading;
}

// The exact base-10 third-octave centre that a frequency stands for when it is one of the nominal
// ones of ISO 266 from 10 Hz to 20 kHz; nothing for any other.
std::optional<double> ExactThirdOctave(double nominal)
{
    static const std::array<double, 34> nominals{
        10,  12.5, 16,  20,   25,   31.5, 40,   50,   63,   80,   100,  125,  160,  200,   250,   315,   400,
        500, 630,  800, 1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    const auto at = std::find(nominals.begin(), nominals.end(), nominal);
    if (at == nominals.end())
        return std::nullopt;
    return 1000 * std::pow(10, double(at - nominals.begin() - 20) / 10);
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

LengthReading ReadLength(const QString &length)
{
    LengthReading reading{ParseLength(length), std::nullopt};
    const QList<FieldWord> words = WordsAt(length, {});
    for (const FieldWord &word : words) {
        // A zero is a length all the same, only too short: its digits made ones tell the form.
        if (!ParseLength(word.text) && !ParseLength(QString(word.text).replace(u'0', u'1'))) {
            reading.notUnderstood = word;
            return reading;
        }
    }
    // The field takes one length: the word after it is the one too many.
    if (words.size() > 1)
        reading.notUnderstood = words[1];
    return reading;
}

QString WithoutFrequencyUnits(const QString &frequencies, QList<qsizetype> *typedAt)
{
    // After the start or a character that ends the word before, so that a unit is only taken
    // from a number standing for a frequency of its own or for the end of a sweep.
    static const QRegularExpression unit(
        uR"((^|[ &|@:+/-])(%1) *([kK]?)[hH][zZ](?![A-Za-z0-9.]))"_s.arg(NumberPattern));
    QString plain;
    QList<qsizetype> at;
    const auto keep = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            plain += frequencies[i];
            at.append(i);
        }
    };
    qsizetype done = 0;
    for (const QRegularExpressionMatch &match : unit.globalMatch(frequencies)) {
        keep(done, match.capturedEnd(2));
        if (match.capturedLength(3) > 0) {
            plain += match.captured(3).toLower();
            at.append(match.capturedStart(3));
        }
        done = match.capturedEnd();
    }
    if (done == 0) {
        if (typedAt)
            typedAt->clear();
        return frequencies;
    }
    keep(done, frequencies.size());
    at.append(frequencies.size());
    if (typedAt)
        *typedAt = at;
    return plain;
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

double ToneMix::loudestDb() const
{
    double loudest = -qInf();
    for (const MixTone &tone : left + right)
        loudest = std::max(loudest, tone.relativeDb);
    return loudest;
}

bool FrequencyReading::twoSides() const
{
    return std::any_of(steps.begin(), steps.end(), [](const ToneMix &mix) { return mix.twoSides(); });
}

FrequencyReading ReadFrequencies(const QString &frequencies)
{
    if (std::optional<FrequencyReading> keys = ReadKeys(frequencies))
        return *keys;
    if (std::optional<FrequencyReading> bins = ReadBins(frequencies))
        return *bins;
    FrequencyReading reading;
    const Tokens tokens = WordsAt(frequencies, u"&|@;"_s);
    reading.notUnderstood = FirstWordNotUnderstood(tokens);
    reading.empty = tokens.isEmpty();
    reading.stepped = frequencies.contains(u';');
    reading.together = frequencies.contains(u'&') || frequencies.contains(u'|');
    const QList<Tokens> steps = SplitAt(tokens, u';');
    if (reading.stepped && (steps.size() > MaxSteps ||
                            std::any_of(steps.begin(), steps.end(), [](const Tokens &s) { return s.isEmpty(); }))) {
        reading.reminder = StepsReminder;
        return reading;
    }
    bool fits = true;
    bool tooMany = false;
    bool badLevel = false;
    for (const Tokens &stepTokens : steps) {
        const StepReading step = ReadStep(stepTokens, frequencies);
        tooMany = tooMany || step.tooMany;
        badLevel = badLevel || step.badLevel;
        fits = fits && step.mix.has_value();
        if (fits)
            reading.steps.append(*step.mix);
        for (const ToneTerm &term : step.terms)
            reading.highest = std::max(reading.highest, term.highest());
    }
    if (!fits)
        reading.reminder = tooMany ? TooManyTonesReminder : badLevel ? LevelReminder : FrequenciesReminder;
    return reading;
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

QString QuotingWordNotUnderstood(const QString &reminder, const std::optional<FieldWord> &word)
{
    return word ? reminder + u"\r\nNot understood: "_s + ShortenedForMessage(word->text) : reminder;
}

ToneRequest WithExactThirdOctaves(const ToneRequest &request)
{
    // A multitone's count and an FFT's length are no frequencies.
    if (HoldsBins(WordsAt(request.Frequencies, {})))
        return request;
    ToneRequest exact = request;
    exact.Frequencies.clear();
    exact.frequenciesTypedAt.clear();
    const QString &field = request.Frequencies;
    // Where each character of the result stood as typed.
    const auto keep = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            exact.Frequencies += field[i];
            exact.frequenciesTypedAt.append(request.frequenciesTypedAt.isEmpty() ? i : request.frequenciesTypedAt[i]);
        }
    };
    qsizetype done = 0;
    bool toneStart = true;
    for (const FieldWord &word : WordsAt(field, u"&|@;"_s)) {
        const bool sign = word.text.size() == 1 && QStringView(u"&|@;").contains(word.text[0]);
        const std::optional<double> frequency = toneStart && !sign ? ParseFrequency(word.text) : std::nullopt;
        const std::optional<double> exactFrequency =
            frequency && IsPlainNumber(word.text) ? ExactThirdOctave(*frequency) : std::nullopt;
        toneStart = sign && word.text != u"@"_s;
        if (!exactFrequency)
            continue;
        keep(done, word.start);
        const qsizetype typedAt =
            request.frequenciesTypedAt.isEmpty() ? word.start : request.frequenciesTypedAt[word.start];
        const QString number = QString::number(*exactFrequency, 'g', 15);
        exact.Frequencies += number;
        exact.frequenciesTypedAt.append(QList<qsizetype>(number.size(), typedAt));
        done = word.start + word.text.size();
    }
    if (done == 0)
        return request;
    keep(done, field.size());
    exact.frequenciesTypedAt.append(request.frequenciesTypedAt.isEmpty() ? field.size()
                                                                         : request.frequenciesTypedAt.constLast());
    // Without a typed text the reminders quote the text read: now that of the exact frequencies.
    if (exact.typedFrequencies.isEmpty())
        exact.typedFrequencies = request.Frequencies;
    return exact;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone_term.h"

#include "core/tone/tone_request.h"

#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

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

} // namespace

double ToneTerm::frequencyAt(double share) const
{
    switch (sweep) {
    case SweepKind::Steady:
        return from;
    case SweepKind::Linear:
        return from + (to - from) * share;
    case SweepKind::SquareLaw:
        return from + (to - from) * share * share;
    case SweepKind::Exponential:
    case SweepKind::Stepped:
        return from * std::pow(to / from, share);
    }
    return from;
}

std::optional<double> ParseFrequency(const QString &word)
{
    qsizetype length = 0;
    const std::optional<double> frequency = LeadingFrequency(word, length);
    return length == word.size() ? frequency : std::nullopt;
}

namespace {

// A plain number, such as an offset, a phase or a shape parameter: may be negative.
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

} // namespace

bool IsToneWord(const QString &word)
{
    return IsPlainNumber(word) || ParseFrequencyWord(word).has_value();
}

std::optional<QList<ToneTerm>> ParseToneTerms(const QString &frequencies)
{
    const QStringList words = FieldWords(frequencies);
    if (words.isEmpty())
        return std::nullopt;
    QList<ToneTerm> terms;
    // Offset from -100 to 100 %, then phase and up to three shape parameters from 0 to 100 %.
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
        // Anything else starts the next channel's tone, with a frequency of its own.
        const std::optional<ToneTerm> term = ParseFrequencyWord(word);
        if (!term)
            return std::nullopt;
        terms.append(*term);
        parameters = 0;
    }
    return terms;
}

std::optional<ToneTerm> ParseToneTerm(const QString &frequencies)
{
    const std::optional<QList<ToneTerm>> terms = ParseToneTerms(frequencies);
    return terms && terms->size() == 1 ? std::optional(terms->first()) : std::nullopt;
}

std::optional<ShapeKind> ShapeOfWaveform(const QString &waveform)
{
    static const QStringList words{u"sine"_s, u"square"_s, u"sawtooth"_s, u"triangle"_s, u"trapezium"_s, u"exp"_s};
    const qsizetype index = words.indexOf(waveform);
    return index < 0 ? std::nullopt : std::optional(ShapeKind(index));
}

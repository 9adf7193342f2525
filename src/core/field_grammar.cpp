// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/field_grammar.h"

#include <QRegularExpression>
#include <QStringList>
#include <QtNumeric>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// Split as the command line splits the fields: at blanks.
QStringList Words(const QString &field)
{
    return field.split(u' ', Qt::SkipEmptyParts);
}

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
    const QStringList words = Words(length);
    if (words.size() != 1)
        return std::nullopt;
    const QString &word = words.first();

    ToneLength parsed;
    static const QRegularExpression sampleCount(uR"(^([0-9]+)s$)"_s);
    if (const QRegularExpressionMatch match = sampleCount.match(word); match.hasMatch()) {
        const std::optional<quint64> samples = WholeNumber(match.capturedView(1));
        if (!samples || *samples == 0)
            return std::nullopt;
        parsed.inSamples = true;
        parsed.samples = *samples;
        return parsed;
    }

    // [[hh:]mm:]ss[.frac], or seconds with only a fraction.
    static const QRegularExpression time(uR"(^(?:(?:([0-9]+):)?([0-9]+):)?([0-9]*)(?:\.([0-9]+))?$)"_s);
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
    // A number is digits with an optional fraction, or a fraction alone. A frequency is a number
    // with an optional "k" (kilohertz), "%" and a signed number (semitones from A4), or a note.
    // A word is a frequency, a sweep of two, or a plain number that may be negative.
    static const QString number = uR"((?:[0-9]+(?:\.[0-9]+)?|\.[0-9]+))"_s;
    static const QString frequency = uR"((?:%1k?|%[-+]?%1|[A-G][b#]?[0-9]?))"_s.arg(number);
    static const QRegularExpression word(uR"(^(?:%1(?:[-:+/]%1)?|-?%2)$)"_s.arg(frequency, number));
    const QStringList words = Words(frequencies);
    return !words.isEmpty() &&
           std::all_of(words.cbegin(), words.cend(), [](const QString &w) { return word.match(w).hasMatch(); });
}

std::optional<QString> ToneGrammarReminder(const ToneRequest &request, int sampleRate)
{
    const std::optional<ToneLength> length = ParseLength(request.Length);
    if (!length || length->samplesAt(sampleRate) < 1)
        return LengthReminder;
    if (!FrequenciesFitGrammar(request.Frequencies))
        return FrequenciesReminder;
    return std::nullopt;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone_request.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

QString WithoutFrequencyUnits(const QString &frequencies)
{
    // After the start or a character that ends the word before, so that a unit is only taken
    // from a number standing for a frequency of its own or for the end of a sweep.
    static const QRegularExpression unit(
        uR"((^|[ &|@:+/-])(%1) *([kK]?)[hH][zZ](?![A-Za-z0-9.]))"_s.arg(NumberPattern));
    QString plain;
    qsizetype done = 0;
    for (const QRegularExpressionMatch &match : unit.globalMatch(frequencies)) {
        plain += QStringView(frequencies).mid(done, match.capturedStart(2) - done);
        plain += match.captured(2) + match.captured(3).toLower();
        done = match.capturedEnd();
    }
    return done == 0 ? frequencies : plain + frequencies.mid(done);
}

const QStringList &WaveformLabels()
{
    static const QStringList labels{
        u"Sine (Default)"_s, u"Square"_s,     u"Triangle"_s,    u"Sawtooth"_s, u"Trapezium"_s, u"Exp"_s,
        u"White Noise"_s,    u"Pink Noise"_s, u"Brown Noise"_s,
    };
    return labels;
}

ToneRequest MakeToneRequest(const QString &lengthText, const QString &waveformText, const QString &frequenciesText)
{
    ToneRequest request;
    request.Length = QString(lengthText).replace(u',', u'.');
    // Only the exact, case-sensitive marker goes, before lower-casing.
    QString waveform = QString(waveformText).remove(u" (Default)"_s, Qt::CaseSensitive).toLower();
    request.Waveform = waveform.remove(u' ');
    request.Frequencies = WithoutFrequencyUnits(QString(frequenciesText).replace(u',', u'.'));
    return request;
}

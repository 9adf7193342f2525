// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone_request.h"

#include "core/tone/field_grammar.h"

using namespace Qt::Literals::StringLiterals;

const QStringList &WaveformLabels()
{
    static const QStringList labels{
        u"Sine (Default)"_s, u"Square"_s,     u"Triangle"_s,    u"Sawtooth"_s,       u"Trapezium"_s, u"Exp"_s,
        u"White Noise"_s,    u"Pink Noise"_s, u"Brown Noise"_s, u"Polarity Pulse"_s,
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
    request.Frequencies =
        WithoutFrequencyUnits(QString(frequenciesText).replace(u',', u'.'), &request.frequenciesTypedAt);
    request.typedLength = lengthText;
    request.typedFrequencies = frequenciesText;
    return request;
}

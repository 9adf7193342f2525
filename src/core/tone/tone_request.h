// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// The three fields as typed (decimal commas and units already taken away). ReadTone (tone.h) reads
// them once into the tone they describe; a tone that needs nothing of the program reaches the tool
// as these texts, blanks and all.
struct ToneRequest
{
    QString Length;
    QString Waveform;
    QString Frequencies;
    // The length and frequencies exactly as typed, and where in the typed frequencies each
    // character of Frequencies (and its end) stands, so that a reminder can point at a word as the
    // person sees it. Empty: the fields were typed as they are here.
    QString typedLength;
    QString typedFrequencies;
    QList<qsizetype> frequenciesTypedAt;

    friend bool operator==(const ToneRequest &, const ToneRequest &) = default;
};

// A field's words as the tool gets them: the command line splits the typed fields at blanks, and
// an empty field gives no word at all.
inline QStringList FieldWords(const QString &field)
{
    return field.split(u' ', Qt::SkipEmptyParts);
}

// The labels of the waveform list, in list order (the list index is what gets stored).
const QStringList &WaveformLabels();

// Turns the typed inputs into a request: decimal commas become dots, units after frequencies go
// ("440 Hz" is "440", see WithoutFrequencyUnits), the waveform label loses
// " (Default)" and is lower-cased, and blanks are removed from it so that every noise colour is a
// single tool word ("Pink Noise" -> "pinknoise"; as two words the tool would make a second,
// white-noise channel).
ToneRequest MakeToneRequest(const QString &lengthText, const QString &waveformText, const QString &frequenciesText);

// The sample inputs: what Load Sample/Example Data puts back, and what a first run starts from.
namespace Samples {
inline const QString Length = QStringLiteral("3");
inline const QString Frequencies = QStringLiteral("300-3300");
inline constexpr int WaveformIndex = 0;
} // namespace Samples

// What Load Calibration Noise puts in: 30 s of pink noise in the frequency range 500 to 2000 Hz,
// as speakers are set up with (its options are CalibrationNoiseOptions).
namespace CalibrationNoise {
inline const QString Length = QStringLiteral("30");
inline const QString Frequencies = QStringLiteral("500-2000");
inline constexpr int WaveformIndex = 7; // Pink Noise
} // namespace CalibrationNoise

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The three texts that become the synth effect's arguments. The program never parses them:
// the tool interprets lengths, types and frequencies itself.
struct ToneRequest
{
    QString Length;
    QString Waveform;
    QString Frequencies;

    friend bool operator==(const ToneRequest &, const ToneRequest &) = default;
};

// The labels of the waveform list, in list order (the list index is what gets stored).
const QStringList &WaveformLabels();

// Turns the typed inputs into a request: decimal commas become dots, the waveform label loses
// " (Default)" and is lower-cased, and blanks are removed from it so that every noise colour is a
// single tool word ("Pink Noise" -> "pinknoise"; as two words the tool would make a second,
// white-noise channel).
ToneRequest MakeToneRequest(const QString &lengthText, const QString &waveformText, const QString &frequenciesText);

// The reminder to show before saving, or nothing when the inputs may go to the tool.
// Only exactly empty texts count as missing; the length is checked first.
std::optional<QString> CheckToneInputs(const QString &lengthText, const QString &frequenciesText);

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/presets.h"

#include "core/job/tone_job.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

using Choices = QList<std::pair<OutputSetting, QString>>;

// No stored value of ours comes near this; a longer one was not written by the program.
constexpr qsizetype MaxStoredValueLength = 1024;

Preset BuiltIn(const QString &name, const QString &length, int waveformIndex, const QString &frequencies,
               const Choices &choices)
{
    Preset preset{
        .name = name, .length = length, .frequencies = frequencies, .waveformIndex = waveformIndex, .builtIn = true};
    for (const auto &[setting, stored] : choices)
        preset.options.restore(setting, stored);
    return preset;
}

// A line-up tone or noise is measured by its RMS level, and plays until it is stopped.
Choices RmsLevelLooping(const QString &decibels, bool noiseBand = false)
{
    Choices choices{
        {OutputSetting::LevelUnit, u"RMS"_s}, {OutputSetting::Level, decibels}, {OutputSetting::LoopPreview, u"1"_s}};
    if (noiseBand)
        choices.append({OutputSetting::NoiseBand, u"1"_s});
    return choices;
}

bool HasControlCharacters(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

constexpr int SineIndex = 0;

} // namespace

ToneRequest Preset::request() const
{
    const QString label =
        waveformIndex >= 0 && waveformIndex < WaveformLabels().size() ? WaveformLabels()[waveformIndex] : QString();
    return MakeToneRequest(length, label, frequencies);
}

const QList<Preset> &BuiltInPresets()
{
    // SMPTE RP 120: 60 Hz and 7 kHz with amplitudes 4:1, the upper tone 20·log10(1/4) dB below.
    static const QString quarterAmplitude = QString::number(20 * std::log10(1.0 / 4), 'f', 4);
    static const QList<Preset> presets{
        BuiltIn(u"Calibration Noise"_s, CalibrationNoise::Length, CalibrationNoise::WaveformIndex,
                CalibrationNoise::Frequencies, CalibrationNoiseOptions()),
        BuiltIn(u"Subwoofer Calibration Noise"_s, CalibrationNoise::Length, CalibrationNoise::WaveformIndex, u"40-80"_s,
                RmsLevelLooping(u"-20"_s, true)),
        // Home-theatre line-up: the same noise on each channel of 5.1 in turn, in the order of the file.
        BuiltIn(u"Surround Calibration Noise"_s, CalibrationNoise::Length, CalibrationNoise::WaveformIndex,
                CalibrationNoise::Frequencies,
                CalibrationNoiseOptions() +
                    Choices{{OutputSetting::Channels, u"5.1"_s}, {OutputSetting::ChannelsInTurn, u"1"_s}}),
        // EBU R 68: the alignment level is 18 dB below full scale.
        BuiltIn(u"EBU Line-Up Tone"_s, u"30"_s, SineIndex, u"1000"_s, RmsLevelLooping(u"-18"_s)),
        // SMPTE RP 155: the reference level is 20 dB below full scale.
        BuiltIn(u"SMPTE Reference Tone"_s, u"30"_s, SineIndex, u"1000"_s, RmsLevelLooping(u"-20"_s)),
        BuiltIn(u"SMPTE Intermodulation"_s, u"30"_s, SineIndex, u"60 & 7000@"_s + quarterAmplitude,
                RmsLevelLooping(u"-20"_s)),
        // IEC 60268-3 (CCIF): two tones of equal amplitude 1 kHz apart near the top of the band.
        BuiltIn(u"CCIF Intermodulation"_s, u"30"_s, SineIndex, u"19000 & 20000"_s, RmsLevelLooping(u"-20"_s)),
        // ITU-T Q.23: each digit a low-group and a high-group tone together; the digits 0 to 9 in turn,
        // 0.25 s each with 0.25 s between them.
        BuiltIn(u"DTMF 0 to 9"_s, u"0.25"_s, SineIndex,
                u"941 & 1336; 697 & 1209; 697 & 1336; 697 & 1477; 770 & 1209; 770 & 1336; 770 & 1477; "
                "852 & 1209; 852 & 1336; 852 & 1477"_s,
                {{OutputSetting::Level, u"-6"_s}, {OutputSetting::StepPause, u"0.25"_s}}),
        // ISO 266: the 31 third-octave centre frequencies from 20 Hz to 20 kHz.
        BuiltIn(u"Third-Octave Speaker Check"_s, u"1"_s, SineIndex,
                u"20; 25; 31.5; 40; 50; 63; 80; 100; 125; 160; 200; 250; 315; 400; 500; 630; 800; 1000; 1250; "
                "1600; 2000; 2500; 3150; 4000; 5000; 6300; 8000; 10000; 12500; 16000; 20000"_s,
                {{OutputSetting::LevelUnit, u"RMS"_s},
                 {OutputSetting::Level, u"-20"_s},
                 {OutputSetting::StepPause, u"0.5"_s},
                 {OutputSetting::SoftEdges, u"1"_s}}),
        // CEA-2010: 6.5-cycle Hann-windowed bursts at the low-frequency bands' centres, one a second.
        BuiltIn(u"CEA-2010 Bursts"_s, u"1"_s, SineIndex, u"20; 25; 31.5; 40; 50; 63"_s,
                {{OutputSetting::Burst, u"CEA2010"_s}, {OutputSetting::LoopPreview, u"1"_s}}),
        // Farina's exponential sweep over the audio band, synchronized (Novak et al.), with 6 dB to
        // spare for what the playback chain adds; Save writes its inverse filter beside it.
        BuiltIn(u"Measurement Sweep"_s, u"10"_s, SineIndex, u"20-20000"_s,
                {{OutputSetting::MeasurementSweep, u"1"_s}, {OutputSetting::Level, u"-6"_s}}),
    };
    return presets;
}

std::optional<QString> PresetNameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return u"A preset needs a name."_s;
    if (name.size() > MaxPresetNameLength)
        return u"A preset's name can be at most %1 characters long."_s.arg(MaxPresetNameLength);
    if (HasControlCharacters(name))
        return u"A preset's name must be one line of text."_s;
    for (const Preset &builtIn : BuiltInPresets())
        if (builtIn.name.compare(name, Qt::CaseInsensitive) == 0)
            return u"\"%1\" is a built-in preset: choose another name."_s.arg(builtIn.name);
    return std::nullopt;
}

std::optional<QString> PresetToneProblem(const Preset &preset)
{
    const ToneRequest request = preset.request();
    if (std::optional<QString> empty = EmptyFieldReminder(request, EmptyFrequencies::Forgotten))
        return empty;
    const std::optional<ToneRefusal> refusal = PlanInputs(request, preset.options).refusal();
    return refusal ? std::optional(refusal->reminder) : std::nullopt;
}

QList<std::pair<QString, QString>> PresetValues(const Preset &preset)
{
    QList<std::pair<QString, QString>> values{{PresetKeys::Name, preset.name},
                                              {PresetKeys::Length, preset.length},
                                              {PresetKeys::Frequencies, preset.frequencies},
                                              {PresetKeys::Waveform, QString::number(preset.waveformIndex)}};
    for (const OutputSettingRow &row : OutputSettingRows())
        values.append({row.key, preset.options.stored(row.setting)});
    return values;
}

Preset PresetFromValues(const QHash<QString, QString> &values)
{
    Preset preset;
    preset.name = values.value(PresetKeys::Name);
    const auto fail = [&](const QString &problem) {
        preset.problem = problem;
        return preset;
    };
    if (std::optional<QString> problem = PresetNameProblem(preset.name))
        return fail(*problem);
    for (const QString &key : {PresetKeys::Length, PresetKeys::Frequencies, PresetKeys::Waveform}) {
        if (!values.contains(key))
            return fail(u"The preset has no %1."_s.arg(key));
    }
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        if (value->size() > MaxStoredValueLength)
            return fail(u"The preset's %1 is too long."_s.arg(value.key().left(MaxPresetNameLength)));
    }
    preset.length = values.value(PresetKeys::Length);
    preset.frequencies = values.value(PresetKeys::Frequencies);
    bool isNumber = false;
    preset.waveformIndex = values.value(PresetKeys::Waveform).toInt(&isNumber);
    if (!isNumber || preset.waveformIndex < 0 || preset.waveformIndex >= WaveformLabels().size())
        return fail(u"The preset's Combo1 is not a type in the list."_s);
    for (const OutputSettingRow &row : OutputSettingRows()) {
        if (!values.contains(row.key))
            continue;
        if (!preset.options.restore(row.setting, values.value(row.key)))
            return fail(row.setting == OutputSetting::Level
                            ? u"The preset's Level is not %1."_s.arg(LevelRangeText)
                            : u"The preset's %1 is not one of its choices."_s.arg(row.key));
    }
    if (std::optional<QString> problem = PresetToneProblem(preset))
        return fail(*problem);
    return preset;
}

QList<Preset> AllPresets(const QList<Preset> &stored)
{
    QList<Preset> presets = BuiltInPresets();
    for (Preset preset : stored) {
        if (preset.usable() && FindPreset(presets, preset.name))
            preset.problem = u"Another preset has this name."_s;
        presets.append(preset);
    }
    return presets;
}

std::optional<Preset> FindPreset(const QList<Preset> &presets, const QString &name)
{
    for (const Preset &preset : presets)
        if (preset.name == name)
            return preset;
    return std::nullopt;
}

QString PresetDisplayName(const QString &name)
{
    QString shown;
    for (const QChar c : name)
        shown += HasControlCharacters(QString(c)) ? QChar(u' ') : c;
    if (shown.size() > MaxPresetNameLength)
        shown = shown.left(MaxPresetNameLength - 1) + u'…';
    return shown;
}

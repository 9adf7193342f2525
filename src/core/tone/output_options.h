// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <optional>
#include <utility>

// What the written file and the preview are like beyond the three inputs: level, channels, soft
// edges, sample rate and format, and whether the preview loops. Each setting is one row of a
// table with its choices: the menu text, the stored value, the words the choice adds to the
// tool's command and what it means for the file all live there, so the menu, the settings and the
// command can never disagree. Adding an option means adding a row.

// The tool's own sample rate, the one a file gets unless another is chosen.
inline constexpr int SynthSampleRate = 48000;

// In menu order.
enum class OutputSetting
{
    LoopPreview,
    Level,
    LevelUnit, // shown at the top of the Level submenu
    Channels,
    SoftEdges,
    StepPause,
    Burst,
    MeasurementSweep,
    AliasFree,
    NoiseBand,
    SampleRate,
    SampleFormat,
    Count // not a setting: how many there are
};
inline constexpr std::size_t OutputSettingCount = std::size_t(OutputSetting::Count);

struct OutputChoice
{
    QString label = {};           // the item of a submenu; empty for the two states of an on/off item
    QString stored = {};          // the value kept in the settings
    QStringList toolOptions = {}; // global options of the tool, before the null input
    QStringList effects = {};     // effect words after the synth effect's own
    // What the choice means for the file, where the setting decides it.
    int sampleRate = 0;
    int bitsPerSample = 0;
    int channelCount = 0;
    int decibels = 0;
};

// How the menu offers a setting.
enum class OutputSettingKind
{
    Choices, // a submenu of exclusive items
    OnOff,   // one checkable item; its two choices are off and on, in that order
};

struct OutputSettingRow
{
    OutputSetting setting;
    QString key;      // settings key
    QString menuText; // the submenu's title, or the text of the on/off item
    OutputSettingKind kind = OutputSettingKind::Choices;
    QList<OutputChoice> choices;
    qsizetype defaultChoice = 0;
    // Items shown at the top of another setting's submenu, above a separator, instead of in
    // a submenu of their own.
    std::optional<OutputSetting> shownIn = std::nullopt;
};

// Every setting, in menu order: the row of a setting is at its enum's position.
const std::array<OutputSettingRow, OutputSettingCount> &OutputSettingRows();
const OutputSettingRow &OutputRow(OutputSetting setting);

// The options of the standard speaker-calibration noise, by stored value: -20 dBFS RMS (AES17),
// limited to the frequency range, and looping until it is stopped.
const QList<std::pair<OutputSetting, QString>> &CalibrationNoiseOptions();

class OutputOptions
{
public:
    // Every setting at its default: the command and the file are as without any options.
    OutputOptions();

    qsizetype choice(OutputSetting setting) const { return m_choices[std::size_t(setting)]; }
    const OutputChoice &chosen(OutputSetting setting) const;
    // An index that names no choice means the default.
    void setChoice(OutputSetting setting, qsizetype choice);
    // From the stored text; a text that is not one of the choices' values means the default.
    void restore(OutputSetting setting, const QString &stored);
    // For an on/off setting: whether it is on.
    bool isOn(OutputSetting setting) const { return choice(setting) == 1; }

    bool loopPreview() const { return isOn(OutputSetting::LoopPreview); }
    int levelDecibels() const { return chosen(OutputSetting::Level).decibels; }
    // The level is the tone's RMS level (AES17: a full-scale sine reads 0 dBFS), not its peak.
    bool rmsLevel() const { return choice(OutputSetting::LevelUnit) == 1; }
    bool aliasFree() const { return isOn(OutputSetting::AliasFree); }
    bool measurementSweep() const { return isOn(OutputSetting::MeasurementSweep); }
    bool noiseBand() const { return isOn(OutputSetting::NoiseBand); }
    // The shape of the written file.
    int sampleRate() const { return chosen(OutputSetting::SampleRate).sampleRate; }
    int bitsPerSample() const { return chosen(OutputSetting::SampleFormat).bitsPerSample; }
    int channelCount() const { return chosen(OutputSetting::Channels).channelCount; }

    // The tool's global options (rate, then format), which go before the null input.
    QStringList globalOptions() const;
    QStringList formatOptions() const { return chosen(OutputSetting::SampleFormat).toolOptions; }
    // The silence after every step but the last, in seconds.
    double stepPauseSeconds() const { return chosen(OutputSetting::StepPause).stored.toDouble(); }
    // The cycles of a tone burst, 0 when steps are steady tones; a CEA-2010 burst is 6.5 cycles
    // under a Hann window.
    double burstCycles() const;
    bool hannBurst() const { return chosen(OutputSetting::Burst).stored == u"CEA2010"; }

    friend bool operator==(const OutputOptions &, const OutputOptions &) = default;

private:
    std::array<qsizetype, OutputSettingCount> m_choices;
};

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
// table with its choices: the menu text, the stored value and what the choice means for the file
// all live there, so the menu, the settings and the plan can never disagree. Adding an option means adding a row. The
// level alone takes any value of its range as well; its row holds the quick choices the menu offers.

// The tool's own sample rate, the one a file gets unless another is chosen.
inline constexpr int SynthSampleRate = 48000;

// In menu order.
enum class OutputSetting
{
    LoopPreview,
    Level,
    LevelUnit, // shown at the top of the Level submenu
    Channels,
    ChannelsInTurn, // shown in the Channels submenu
    SoftEdges,
    StepPause,
    ThirdOctaves,
    Burst,
    MeasurementSweep,
    AliasFree,
    NoiseBand,
    SampleRate,
    SampleFormat,
    Count // not a setting: how many there are
};
inline constexpr std::size_t OutputSettingCount = std::size_t(OutputSetting::Count);

// Where a tone of one channel sounds in the file.
enum class ChannelMap
{
    Mono,      // one channel
    LeftOnly,  // two, the right one silent
    RightOnly, // two, the left one silent
    Both,      // two, the same tone in each
    // Four, six or eight, the same tone in each, in the order of a WAVE file's channel mask.
    Quad,       // front left and right, rear left and right
    Surround51, // front left, right, centre, LFE, rear left, right
    Surround71, // as 5.1, then side left and right
};

// The channels of the file that the map makes.
int ChannelCount(ChannelMap map);
// The loudspeaker that a channel of the map's feeds, as a person names it ("Centre").
QString SpeakerName(ChannelMap map, int channel);

struct OutputChoice
{
    QString label = {};  // the item of a submenu; empty for the two states of an on/off item
    QString stored = {}; // the value kept in the settings
    // What the choice means for the file, where the setting decides it.
    int sampleRate = 0;
    int bitsPerSample = 0;
    bool floatSamples = false;
    int channelCount = 0;
    ChannelMap channelMap = ChannelMap::Mono;
    int decibels = 0; // a quick choice of level
};

// A level in dBFS from full scale down to -120, to the hundredth of a decibel. It is kept in
// whole hundredths, so that a typed level equals a quick choice exactly and is stored as the
// shortest text that gives it back: the quick choices keep the values they always had ("-20").
class OutputLevel
{
public:
    static constexpr int HundredthsPerDecibel = 100;
    static constexpr int LowestHundredths = -120 * HundredthsPerDecibel;

    OutputLevel() = default; // full scale
    // Nothing for a level out of the range.
    static std::optional<OutputLevel> FromHundredths(int hundredths);
    // From a decimal text such as "-20", "-4.5" or "-14.25": nothing for any other text, a level
    // out of the range or one with more than two decimals.
    static std::optional<OutputLevel> FromText(const QString &text);

    int hundredths() const { return m_hundredths; }
    double decibels() const { return double(m_hundredths) / HundredthsPerDecibel; }
    // The shortest decimal text: "-20", "-4.5", "-14.25".
    QString text() const;
    // As the Level submenu names a level: "-4.5 dBFS".
    QString label() const;

    friend bool operator==(const OutputLevel &, const OutputLevel &) = default;

private:
    explicit OutputLevel(int hundredths) : m_hundredths(hundredths) {}

    int m_hundredths = 0;
};

// What a level may be, as a refusal names it.
inline const QString LevelRangeText = QStringLiteral("a level from 0 down to -120 dBFS, to 0.01 dB");

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

    // The Level's is the quick choice that is the level, or one past them (OtherLevelChoice) for
    // any other level.
    qsizetype choice(OutputSetting setting) const;
    // Not for the Level while it is none of the quick choices.
    const OutputChoice &chosen(OutputSetting setting) const;
    // An index that names no choice means the default.
    void setChoice(OutputSetting setting, qsizetype choice);
    // From the stored text; a text that is not one of the choices' values (for the Level, not a
    // level of its range) means the default, and false.
    bool restore(OutputSetting setting, const QString &stored);
    // The text kept in the settings.
    QString stored(OutputSetting setting) const;
    // For an on/off setting: whether it is on.
    bool isOn(OutputSetting setting) const { return choice(setting) == 1; }

    bool loopPreview() const { return isOn(OutputSetting::LoopPreview); }
    OutputLevel level() const { return m_level; }
    void setLevel(const OutputLevel &level) { m_level = level; }
    double levelDecibels() const { return m_level.decibels(); }
    // The level is the tone's RMS level (AES17: a full-scale sine reads 0 dBFS), not its peak.
    bool rmsLevel() const { return choice(OutputSetting::LevelUnit) == 1; }
    bool aliasFree() const { return isOn(OutputSetting::AliasFree); }
    bool measurementSweep() const { return isOn(OutputSetting::MeasurementSweep); }
    bool noiseBand() const { return isOn(OutputSetting::NoiseBand); }
    // The shape of the written file.
    int sampleRate() const { return chosen(OutputSetting::SampleRate).sampleRate; }
    int bitsPerSample() const { return chosen(OutputSetting::SampleFormat).bitsPerSample; }
    bool floatSamples() const { return chosen(OutputSetting::SampleFormat).floatSamples; }
    int channelCount() const { return chosen(OutputSetting::Channels).channelCount; }
    ChannelMap channelMap() const { return chosen(OutputSetting::Channels).channelMap; }
    // The tone sounds in more than one channel, so that it can sound in each in turn.
    bool channelsCanTakeTurns() const;
    // The tone sounds on one channel at a time, each for the Length.
    bool channelsInTurn() const { return isOn(OutputSetting::ChannelsInTurn) && channelsCanTakeTurns(); }
    bool softEdges() const { return isOn(OutputSetting::SoftEdges); }
    bool exactThirdOctaves() const { return choice(OutputSetting::ThirdOctaves) == 1; }
    // The silence after every step but the last, in seconds.
    double stepPauseSeconds() const { return chosen(OutputSetting::StepPause).stored.toDouble(); }
    // The cycles of a tone burst, 0 when steps are steady tones; a CEA-2010 burst is 6.5 cycles
    // under a Hann window.
    double burstCycles() const;
    bool hannBurst() const { return chosen(OutputSetting::Burst).stored == u"CEA2010"; }

    friend bool operator==(const OutputOptions &, const OutputOptions &) = default;

private:
    std::array<qsizetype, OutputSettingCount> m_choices; // the Level's is unused: the level is m_level
    OutputLevel m_level;
};

// The Level's choice for a level that is none of the quick choices.
inline qsizetype OtherLevelChoice()
{
    return OutputRow(OutputSetting::Level).choices.size();
}

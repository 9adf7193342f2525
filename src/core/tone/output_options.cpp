// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/output_options.h"

#include <QRegularExpression>
#include <QtGlobal>
#include <algorithm>
#include <cstdlib>
#include <tuple>

using namespace Qt::Literals::StringLiterals;

namespace {

// An on/off setting: off is the default.
OutputSettingRow OnOff(OutputSetting setting, const QString &key, const QString &menuText)
{
    return {.setting = setting,
            .key = key,
            .menuText = menuText,
            .kind = OutputSettingKind::OnOff,
            .choices = {{.stored = u"0"_s}, {.stored = u"1"_s}}};
}

OutputChoice Level(const QString &label, int decibels)
{
    // The planner turns the decibels into the tone's gain, knowing the tone.
    return {.label = label, .stored = QString::number(decibels), .decibels = decibels};
}

OutputChoice Channels(const QString &label, const QString &stored, ChannelMap map)
{
    return {.label = label, .stored = stored, .channelCount = ChannelCount(map), .channelMap = map};
}

OutputChoice Rate(const QString &label, int rate)
{
    return {.label = label, .stored = QString::number(rate), .sampleRate = rate};
}

// 32-bit integer is the tool's own sample size.
OutputChoice Format(const QString &label, const QString &stored, int bits, bool floatSamples = false)
{
    return {.label = label, .stored = stored, .bitsPerSample = bits, .floatSamples = floatSamples};
}

} // namespace

// NOLINTNEXTLINE(readability-function-size): the options' one table, a row each.
const std::array<OutputSettingRow, OutputSettingCount> &OutputSettingRows()
{
    // Sized by its rows, so that a row too few or too many does not compile.
    static const auto rows = std::to_array<OutputSettingRow>({
        OnOff(OutputSetting::LoopPreview, u"LoopPreview"_s, u"Loop Preview"_s),
        {.setting = OutputSetting::Level,
         .key = u"Level"_s,
         .menuText = u"Level"_s,
         .choices = {Level(u"0 dBFS (Full Scale)"_s, 0), Level(u"-3 dBFS"_s, -3), Level(u"-6 dBFS"_s, -6),
                     Level(u"-12 dBFS"_s, -12), Level(u"-18 dBFS"_s, -18), Level(u"-20 dBFS"_s, -20),
                     Level(u"-23 dBFS"_s, -23), Level(u"-30 dBFS"_s, -30)}},
        // What the level measures: the peak, or the RMS level as AES17 reads it.
        {.setting = OutputSetting::LevelUnit,
         .key = u"LevelUnit"_s,
         .menuText = u"Level"_s,
         .choices = {{.label = u"Peak"_s, .stored = u"Peak"_s}, {.label = u"RMS (AES17)"_s, .stored = u"RMS"_s}},
         .shownIn = OutputSetting::Level},
        {.setting = OutputSetting::Channels,
         .key = u"Channels"_s,
         .menuText = u"Channels"_s,
         .choices = {Channels(u"Mono"_s, u"Mono"_s, ChannelMap::Mono),
                     Channels(u"Left Only"_s, u"Left"_s, ChannelMap::LeftOnly),
                     Channels(u"Right Only"_s, u"Right"_s, ChannelMap::RightOnly),
                     Channels(u"Both (Stereo)"_s, u"Both"_s, ChannelMap::Both),
                     Channels(u"Quad"_s, u"Quad"_s, ChannelMap::Quad),
                     Channels(u"5.1"_s, u"5.1"_s, ChannelMap::Surround51),
                     Channels(u"7.1"_s, u"7.1"_s, ChannelMap::Surround71)}},
        // The tone on one channel of the layout at a time, for the Length each, the others silent.
        [] {
            OutputSettingRow row = OnOff(OutputSetting::ChannelsInTurn, u"ChannelsInTurn"_s, u"Each Channel in Turn"_s);
            row.shownIn = OutputSetting::Channels;
            return row;
        }(),
        // A half-sine fade of 10 ms at each end: the tone starts and ends at zero without a click.
        OnOff(OutputSetting::SoftEdges, u"SoftEdges"_s, u"Soft Start and End (10 ms)"_s),
        // Silence after every step of the frequency field but the last.
        {.setting = OutputSetting::StepPause,
         .key = u"StepPause"_s,
         .menuText = u"Pause Between Steps"_s,
         .choices = {{.label = u"None"_s, .stored = u"0"_s},
                     {.label = u"0.25 s"_s, .stored = u"0.25"_s},
                     {.label = u"0.5 s"_s, .stored = u"0.5"_s},
                     {.label = u"1 s"_s, .stored = u"1"_s},
                     {.label = u"2 s"_s, .stored = u"2"_s}}},
        // Read with the frequencies: a nominal third-octave centre (ISO 266) typed as a tone's
        // frequency stands for the exact base-10 one, 1000 * 10^(n / 10) Hz.
        {.setting = OutputSetting::ThirdOctaves,
         .key = u"ThirdOctaves"_s,
         .menuText = u"Third-Octave Frequencies"_s,
         .choices = {{.label = u"Nominal (ISO 266)"_s, .stored = u"Nominal"_s},
                     {.label = u"Exact (Base 10)"_s, .stored = u"Exact"_s}}},
        // Each step's Length is a slot that a burst starts and silence fills.
        {.setting = OutputSetting::Burst,
         .key = u"Burst"_s,
         .menuText = u"Tone Bursts"_s,
         .choices = {{.label = u"Off"_s, .stored = u"Off"_s},
                     {.label = u"6.5 Cycles, Hann Window (CEA-2010)"_s, .stored = u"CEA2010"_s},
                     {.label = u"1 Cycle"_s, .stored = u"1"_s},
                     {.label = u"3 Cycles"_s, .stored = u"3"_s},
                     {.label = u"10 Cycles"_s, .stored = u"10"_s},
                     {.label = u"20 Cycles"_s, .stored = u"20"_s},
                     {.label = u"100 Cycles"_s, .stored = u"100"_s}}},
        // Read where the tone is planned: a Sine's sweep becomes the synchronized exponential sweep
        // that measurements deconvolve, and Save writes its inverse filter beside it.
        OnOff(OutputSetting::MeasurementSweep, u"MeasurementSweep"_s, u"Measurement Sweep with Inverse Filter"_s),
        // Read where the command is built: square, triangle and the like hold only the harmonics
        // below half the rate, and a noise with a range in the frequency field keeps to it.
        OnOff(OutputSetting::AliasFree, u"AliasFree"_s, u"Alias-Free Waveforms"_s),
        OnOff(OutputSetting::NoiseBand, u"NoiseBand"_s, u"Limit Noise to the Frequency Range"_s),
        {.setting = OutputSetting::SampleRate,
         .key = u"SampleRate"_s,
         .menuText = u"Sample Rate"_s,
         .choices = {Rate(u"8000 Hz (Telephone)"_s, 8000), Rate(u"44100 Hz"_s, 44100),
                     Rate(u"48000 Hz"_s, SynthSampleRate), Rate(u"96000 Hz"_s, 96000), Rate(u"192000 Hz"_s, 192000)},
         .defaultChoice = 2},
        {.setting = OutputSetting::SampleFormat,
         .key = u"SampleFormat"_s,
         .menuText = u"Sample Format"_s,
         .choices = {Format(u"16-bit"_s, u"16"_s, 16), Format(u"24-bit"_s, u"24"_s, 24),
                     Format(u"32-bit"_s, u"32"_s, 32), Format(u"32-bit Float"_s, u"32f"_s, 32, true)},
         .defaultChoice = 2},
    });
    static_assert(std::tuple_size_v<decltype(rows)> == OutputSettingCount, "one row for every OutputSetting");
    static const bool inEnumOrder = [] {
        for (std::size_t i = 0; i < rows.size(); ++i)
            Q_ASSERT(rows[i].setting == OutputSetting(i));
        return true;
    }();
    Q_UNUSED(inEnumOrder);
    return rows;
}

int ChannelCount(ChannelMap map)
{
    switch (map) {
    case ChannelMap::Mono:
        return 1;
    case ChannelMap::Quad:
        return 4;
    case ChannelMap::Surround51:
        return 6;
    case ChannelMap::Surround71:
        return 8;
    default:
        return 2;
    }
}

QString SpeakerName(ChannelMap map, int channel)
{
    // The WAVE channel mask's order; a layout holds some of them, in this order.
    static const std::array<QString, 8> speakers{u"Front Left"_s, u"Front Right"_s, u"Centre"_s,    u"LFE"_s,
                                                 u"Rear Left"_s,  u"Rear Right"_s,  u"Side Left"_s, u"Side Right"_s};
    static const std::array<int, 4> quad{0, 1, 4, 5};
    if (map == ChannelMap::Mono || channel < 0 || channel >= ChannelCount(map))
        return {};
    if (map == ChannelMap::Quad)
        return speakers[std::size_t(quad[std::size_t(channel)])];
    return speakers[std::size_t(channel)];
}

const QList<std::pair<OutputSetting, QString>> &CalibrationNoiseOptions()
{
    static const QList<std::pair<OutputSetting, QString>> options{{OutputSetting::LevelUnit, u"RMS"_s},
                                                                  {OutputSetting::Level, u"-20"_s},
                                                                  {OutputSetting::NoiseBand, u"1"_s},
                                                                  {OutputSetting::LoopPreview, u"1"_s}};
    return options;
}

const OutputSettingRow &OutputRow(OutputSetting setting)
{
    return OutputSettingRows()[std::size_t(setting)];
}

std::optional<OutputLevel> OutputLevel::FromHundredths(int hundredths)
{
    if (hundredths > 0 || hundredths < LowestHundredths)
        return std::nullopt;
    return OutputLevel(hundredths);
}

std::optional<OutputLevel> OutputLevel::FromText(const QString &text)
{
    // Digits enough for the range and no more, so that the number cannot overflow.
    static const QRegularExpression decimal(uR"(^(-?)([0-9]{1,3})(?:\.([0-9]{1,2}))?$)"_s);
    const QRegularExpressionMatch match = decimal.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int magnitude =
        match.captured(2).toInt() * HundredthsPerDecibel + match.captured(3).leftJustified(2, u'0').toInt();
    return FromHundredths(match.captured(1).isEmpty() ? magnitude : -magnitude);
}

QString OutputLevel::text() const
{
    const int magnitude = std::abs(m_hundredths);
    QString text = QString::number(magnitude / HundredthsPerDecibel);
    if (const int fraction = magnitude % HundredthsPerDecibel) {
        text += u'.' + QString::number(fraction).rightJustified(2, u'0');
        if (text.endsWith(u'0'))
            text.chop(1);
    }
    return m_hundredths < 0 ? u'-' + text : text;
}

QString OutputLevel::label() const
{
    return text() + u" dBFS"_s;
}

OutputOptions::OutputOptions()
{
    for (const OutputSettingRow &row : OutputSettingRows())
        m_choices[std::size_t(row.setting)] = row.defaultChoice;
    setChoice(OutputSetting::Level, OutputRow(OutputSetting::Level).defaultChoice);
}

qsizetype OutputOptions::choice(OutputSetting setting) const
{
    if (setting != OutputSetting::Level)
        return m_choices[std::size_t(setting)];
    const QList<OutputChoice> &quick = OutputRow(setting).choices;
    const auto found = std::find_if(quick.begin(), quick.end(), [&](const OutputChoice &c) {
        return c.decibels * OutputLevel::HundredthsPerDecibel == m_level.hundredths();
    });
    return found - quick.begin();
}

const OutputChoice &OutputOptions::chosen(OutputSetting setting) const
{
    const qsizetype index = choice(setting);
    Q_ASSERT(index < OutputRow(setting).choices.size());
    return OutputRow(setting).choices[index];
}

void OutputOptions::setChoice(OutputSetting setting, qsizetype choice)
{
    const OutputSettingRow &row = OutputRow(setting);
    const qsizetype index = choice >= 0 && choice < row.choices.size() ? choice : row.defaultChoice;
    if (setting == OutputSetting::Level)
        m_level = *OutputLevel::FromHundredths(row.choices[index].decibels * OutputLevel::HundredthsPerDecibel);
    else
        m_choices[std::size_t(setting)] = index;
}

bool OutputOptions::restore(OutputSetting setting, const QString &stored)
{
    if (setting == OutputSetting::Level) {
        const std::optional<OutputLevel> level = OutputLevel::FromText(stored);
        if (!level)
            setChoice(setting, -1);
        else
            m_level = *level;
        return level.has_value();
    }
    const QList<OutputChoice> &choices = OutputRow(setting).choices;
    const auto found =
        std::find_if(choices.begin(), choices.end(), [&](const OutputChoice &c) { return c.stored == stored; });
    setChoice(setting, found - choices.begin());
    return found != choices.end();
}

QString OutputOptions::stored(OutputSetting setting) const
{
    return setting == OutputSetting::Level ? m_level.text() : chosen(setting).stored;
}

bool OutputOptions::channelsCanTakeTurns() const
{
    return channelCount() > 1 && channelMap() != ChannelMap::LeftOnly && channelMap() != ChannelMap::RightOnly;
}

double OutputOptions::burstCycles() const
{
    return hannBurst() ? 6.5 : chosen(OutputSetting::Burst).stored.toDouble();
}

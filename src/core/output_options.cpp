// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/output_options.h"

#include "core/synth_command.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

OutputChoice Off()
{
    return {{}, u"0"_s, {}, {}};
}

OutputChoice Level(const QString &label, int decibels)
{
    const QString number = QString::number(decibels);
    // Every waveform peaks at full scale, so the gain sets the peak level.
    return {label, number, {}, decibels ? QStringList{u"gain"_s, number} : QStringList{}};
}

OutputChoice Rate(const QString &label, int rate)
{
    const QString number = QString::number(rate);
    return {label, number, {u"-r"_s, number}, {}};
}

} // namespace

const std::array<OutputSettingTable, OutputSettingCount> &OutputSettingTables()
{
    static const std::array<OutputSettingTable, OutputSettingCount> tables{{
        {OutputSetting::LoopPreview, u"LoopPreview"_s, u"Loop Preview"_s, true, {Off(), {{}, u"1"_s, {}, {}}}, 0},
        {OutputSetting::Level,
         u"Level"_s,
         u"Level"_s,
         false,
         {Level(u"0 dBFS (Full Scale)"_s, 0), Level(u"-3 dBFS"_s, -3), Level(u"-6 dBFS"_s, -6),
          Level(u"-12 dBFS"_s, -12), Level(u"-20 dBFS"_s, -20), Level(u"-30 dBFS"_s, -30)},
         0},
        {OutputSetting::Channels,
         u"Channels"_s,
         u"Channels"_s,
         false,
         {{u"Mono"_s, u"Mono"_s, {}, {}},
          {u"Left Only"_s, u"Left"_s, {}, {u"remix"_s, u"1"_s, u"0"_s}},
          {u"Right Only"_s, u"Right"_s, {}, {u"remix"_s, u"0"_s, u"1"_s}},
          {u"Both (Stereo)"_s, u"Both"_s, {}, {u"channels"_s, u"2"_s}}},
         0},
        // A half-sine fade of 10 ms at each end: the tone starts and ends at zero without a click.
        {OutputSetting::SoftEdges,
         u"SoftEdges"_s,
         u"Soft Start and End (10 ms)"_s,
         true,
         {Off(), {{}, u"1"_s, {}, {u"fade"_s, u"h"_s, u"0.01"_s, u"-0"_s, u"0.01"_s}}},
         0},
        {OutputSetting::SampleRate,
         u"SampleRate"_s,
         u"Sample Rate"_s,
         false,
         {Rate(u"8000 Hz (Telephone)"_s, 8000), Rate(u"44100 Hz"_s, 44100), Rate(u"48000 Hz"_s, SynthSampleRate),
          Rate(u"96000 Hz"_s, 96000), Rate(u"192000 Hz"_s, 192000)},
         2},
        // The null input's sample size is what the file gets; 32-bit integer is the tool's own.
        {OutputSetting::SampleFormat,
         u"SampleFormat"_s,
         u"Sample Format"_s,
         false,
         {{u"16-bit"_s, u"16"_s, {u"-b"_s, u"16"_s}, {}},
          {u"24-bit"_s, u"24"_s, {u"-b"_s, u"24"_s}, {}},
          {u"32-bit"_s, u"32"_s, {}, {}},
          {u"32-bit Float"_s, u"32f"_s, {u"-e"_s, u"floating-point"_s, u"-b"_s, u"32"_s}, {}}},
         2},
    }};
    return tables;
}

const OutputSettingTable &OutputTable(OutputSetting setting)
{
    return OutputSettingTables()[size_t(setting)];
}

OutputOptions::OutputOptions()
{
    for (const OutputSettingTable &table : OutputSettingTables())
        m_choices[size_t(table.setting)] = table.defaultChoice;
}

const OutputChoice &OutputOptions::chosen(OutputSetting setting) const
{
    return OutputTable(setting).choices[choice(setting)];
}

void OutputOptions::setChoice(OutputSetting setting, qsizetype choice)
{
    const OutputSettingTable &table = OutputTable(setting);
    m_choices[size_t(setting)] = choice >= 0 && choice < table.choices.size() ? choice : table.defaultChoice;
}

void OutputOptions::restore(OutputSetting setting, const QString &stored)
{
    const QList<OutputChoice> &choices = OutputTable(setting).choices;
    const auto found =
        std::find_if(choices.begin(), choices.end(), [&](const OutputChoice &c) { return c.stored == stored; });
    setChoice(setting, found - choices.begin());
}

bool OutputOptions::loopPreview() const
{
    return choice(OutputSetting::LoopPreview) == 1;
}

int OutputOptions::sampleRate() const
{
    return chosen(OutputSetting::SampleRate).stored.toInt();
}

int OutputOptions::bitsPerSample() const
{
    return chosen(OutputSetting::SampleFormat).stored.first(2).toInt(); // "32f" too
}

int OutputOptions::channelCount() const
{
    return choice(OutputSetting::Channels) == 0 ? 1 : 2;
}

QStringList OutputOptions::globalOptions() const
{
    return chosen(OutputSetting::SampleRate).options + chosen(OutputSetting::SampleFormat).options;
}

QStringList OutputOptions::effects() const
{
    return chosen(OutputSetting::Level).effects + chosen(OutputSetting::SoftEdges).effects +
           chosen(OutputSetting::Channels).effects;
}

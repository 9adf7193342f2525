// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

// What the written file and the preview are like beyond the three inputs: level, channels, soft
// edges, sample rate and format, and whether the preview loops. Each setting is one table row
// with its choices: the menu text, the stored value and the words the choice adds to the tool's
// command all live there, so the menu, the settings and the command can never disagree.

// In menu order.
enum class OutputSetting
{
    LoopPreview,
    Level,
    Channels,
    SoftEdges,
    SampleRate,
    SampleFormat,
};
inline constexpr int OutputSettingCount = 6;

struct OutputChoice
{
    QString label;       // the menu item of a submenu; empty for the two states of an on/off item
    QString stored;      // the value kept in the settings
    QStringList options; // global options of the tool, before the null input
    QStringList effects; // effect words after the synth effect's own
};

struct OutputSettingTable
{
    OutputSetting setting;
    QString key;      // settings key
    QString menuText; // the submenu's title, or the text of the on/off item
    bool onOff;       // one checkable item whose choices are off and on, rather than a submenu
    QList<OutputChoice> choices;
    qsizetype defaultChoice;
};

// Every setting, in menu order.
const std::array<OutputSettingTable, OutputSettingCount> &OutputSettingTables();
const OutputSettingTable &OutputTable(OutputSetting setting);

class OutputOptions
{
public:
    // Every setting at its default: the command and the file are as without any options.
    OutputOptions();

    qsizetype choice(OutputSetting setting) const { return m_choices[size_t(setting)]; }
    const OutputChoice &chosen(OutputSetting setting) const;
    // An index that names no choice means the default.
    void setChoice(OutputSetting setting, qsizetype choice);
    // From the stored text; a text that is not one of the choices' values means the default.
    void restore(OutputSetting setting, const QString &stored);

    bool loopPreview() const;
    // The shape of the written file.
    int sampleRate() const;
    int bitsPerSample() const;
    int channelCount() const;

    // The tool's global options (rate, then format), which go before the null input.
    QStringList globalOptions() const;
    // The effects after the synth words, in the order level, soft edges, channels.
    QStringList effects() const;

    friend bool operator==(const OutputOptions &, const OutputOptions &) = default;

private:
    std::array<qsizetype, OutputSettingCount> m_choices;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"

#include <QString>

// The keys of the output options as the settings store holds them, for tests that plant or read
// stored choices: the program itself takes them from the options table.
namespace SettingsKey {
inline const QString LoopPreview = OutputRow(OutputSetting::LoopPreview).key;
inline const QString Level = OutputRow(OutputSetting::Level).key;
inline const QString Channels = OutputRow(OutputSetting::Channels).key;
inline const QString SoftEdges = OutputRow(OutputSetting::SoftEdges).key;
inline const QString SampleRate = OutputRow(OutputSetting::SampleRate).key;
inline const QString SampleFormat = OutputRow(OutputSetting::SampleFormat).key;
} // namespace SettingsKey

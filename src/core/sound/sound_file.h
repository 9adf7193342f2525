// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plugins/plugin_interfaces.h"

#include <QString>
#include <QStringList>
#include <optional>

// Reads the file's length and layout with libsndfile. Nothing when it is not a regular file or
// is in a format that libsndfile cannot read. Never blocks on a pipe and never throws.
std::optional<SoundFileInfo> ReadSoundFileInfo(const QString &path);

// Reads and measures the file for the tone window (see ToneAnalyser), on the calling thread.
// Throws a Failure when the file cannot be read or the window's plugin is missing.
ToneAnalysis AnalyseSoundFile(const QString &path, const AnalysisHooks &hooks = {});
// A sample rate as people say it: "48 kHz", "44.1 kHz".
QString KiloHertz(int sampleRate);

// What was chosen for a saved file, to compare with what its format kept.
struct ChosenLayout
{
    int sampleRate = 0;
    QString depth;                 // "32-bit", "32-bit float"
    std::optional<qint64> samples; // the length, when it was given as a number of samples
    QString signal;                // what is known of the sound itself, said after the file's layout
    QString layout;                // a layout beyond stereo ("5.1"), when the file has its channels
    bool inTurn = false;           // each channel in turn
};

// One line that says what a saved file holds, as read back from it: its name, format, rate, bit
// depth, channels and length, such as "tone.flac — FLAC, 48 kHz, 24-bit, mono, 10.000 s". Where
// the format kept another bit depth or rate than the one chosen, the line says so; a length
// given in samples is named beside the seconds.
QString DescribeWrittenFile(const QString &path, const SoundFileInfo &written, const ChosenLayout &chosen);

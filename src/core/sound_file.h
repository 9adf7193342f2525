// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone_analyser.h"

#include <QString>
#include <optional>

// What a sound file holds, as its header (or its content) says.
struct SoundFileInfo
{
    qint64 frames = 0; // samples per channel
    int sampleRate = 0;
    int channels = 0;
    int format = 0;     // libsndfile's format code: container and encoding
    QString formatName; // the container, such as "WAV (Microsoft)"

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0; }
};

// Reads the file's length and layout with libsndfile. Nothing when it is not a regular file or
// is in a format that libsndfile cannot read. Never blocks on a pipe and never throws.
std::optional<SoundFileInfo> ReadSoundFileInfo(const QString &path);

// Reads and measures the file for the tone window (see ToneAnalyser), on the calling thread.
// Throws a Failure when the file cannot be read or the window's plugin is missing.
ToneAnalysis AnalyseSoundFile(const QString &path, const AnalysisHooks &hooks = {});

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/sample_layout.h"

#include <QString>
#include <optional>

// What a tone being made will come to, as far as it can be known before the tool has run.
struct ToneShape
{
    std::optional<double> seconds; // unknown when the length cannot be read
    SampleLayout layout;
    // The tool holds the whole tone before it writes any (to normalise its peak): the file's size
    // tells nothing until the end.
    bool buffered = false;
};

// The size of the sound data the finished file will hold, when its format stores samples as they
// are (wave, AIFF, Sun audio and raw files); nothing for a compressed or unknown format, an
// unknown length, or a tone the tool writes only at the end.
std::optional<qint64> ExpectedSoundBytes(const QString &outputPath, const ToneShape &shape);

// How far a run has got, for the window title: nothing during the first second (a short tone
// should not make the title flicker); then the share of the file written when its size is known,
// never 100 % before the tool has ended; else the seconds elapsed.
std::optional<QString> ToneProgressText(qint64 elapsedMs, qint64 writtenBytes, std::optional<qint64> expectedBytes);

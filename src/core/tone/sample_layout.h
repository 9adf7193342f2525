// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

// The most sound data a tone may have: a wave file cannot describe more than 4 GiB, and a little
// of that goes to its header. Pipes and devices have no file size limit, so this is checked before
// anything runs.
inline constexpr qint64 MaxSoundDataBytes = (qint64(4) << 30) - (qint64(64) << 10);

// How the samples of a tone are laid out: what decides how many bytes a length comes to.
struct SampleLayout
{
    int sampleRate = 48000;
    int bitsPerSample = 32;
    int channels = 1;
    bool floatSamples = false; // 32-bit floating point, not integers

    // The most samples per channel that fit in MaxSoundDataBytes.
    qint64 maxSamples() const;
};

// The largest sample count that is counted exactly (the tool counts in doubles): far beyond
// anything a file can hold, so longer lengths can only be typing mistakes.
inline constexpr qint64 MaxLengthSamples = qint64(1) << 53;

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/sound/playback.h"

// Plays the file on the default output: true when playback could start.
inline bool PlayWaveFile(const QString &path, bool synchronous, bool loop = false)
{
    return PlayWaveFileOn({}, path, synchronous, loop) != PlaybackStart::Failed;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Plays a wave file through the default audio output. Asynchronous requests return as soon as
// playback has started; a new request ends a sound still playing. True only when playback could
// start (the file is a sound that can be read and an audio output device exists). With loop the
// sound starts over without a gap at its end, until StopPlayback, the next request or the end of
// the program; a synchronous request always plays once.
bool PlayWaveFile(const QString &path, bool synchronous, bool loop = false);

// Ends the sound still playing, if any, at once.
void StopPlayback();

// Whether a sound requested by PlayWaveFile is playing now.
bool IsSoundPlaying();

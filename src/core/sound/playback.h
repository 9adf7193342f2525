// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/sound/plugin_interfaces.h"

#include <QList>
#include <QString>

// Plays a wave file through the default audio output. Asynchronous requests return as soon as
// playback has started; a new request ends a sound still playing. True only when playback could
// start (the file is a sound that can be read and an audio output device exists). With loop the
// sound starts over without a gap at its end, until StopPlayback, the next request or the end of
// the program; a synchronous request always plays once.
bool PlayWaveFile(const QString &path, bool synchronous, bool loop = false);

// The same on the output of that id; an empty id means the default output, whichever it is when
// the sound starts.
PlaybackStart PlayWaveFileOn(const QString &outputId, const QString &path, bool synchronous, bool loop);

// Why the last request to play failed, in words a person understands.
QString PlaybackFailure();

// Every audio output there is now; empty when no player or no audio server can be reached.
QList<AudioOutput> AudioOutputs();

// Ends the sound still playing, if any, at once.
void StopPlayback();

// Whether a sound requested by PlayWaveFile is playing now.
bool IsSoundPlaying();

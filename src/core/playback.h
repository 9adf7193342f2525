// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>

// An audio output as the audio server names it: its id (on PulseAudio and PipeWire, the sink's
// name) and the description a person sees in a mixer.
struct AudioOutput
{
    QString id;
    QString description;
    friend bool operator==(const AudioOutput &, const AudioOutput &) = default;
};

// How a request to play went.
enum class PlaybackStart
{
    Failed,           // nothing plays
    Started,          // it plays where it was asked to
    StartedOnDefault, // the output asked for is not there: it plays on the default output instead
};

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

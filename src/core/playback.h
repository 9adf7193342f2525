#pragma once

#include <QString>

// Plays a wave file through the default audio output. Asynchronous requests return as soon as
// playback has started; a new request ends a sound still playing. True only when playback could
// start (the file exists and an audio output device exists). A looping sound plays over and over
// until it is stopped or replaced; a synchronous request always plays once.
bool PlayWaveFile(const QString &path, bool synchronous, bool loop = false);

// Ends the sound still playing, if any.
void StopPlayback();

// Whether a sound requested by PlayWaveFile is playing now.
bool IsSoundPlaying();

// Chooses the media backend that plays wave files reliably here, unless the environment already
// names one. Must run before the application object exists.
void PreparePlaybackBackend();

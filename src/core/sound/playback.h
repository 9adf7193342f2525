// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plugins/plugin_interfaces.h"

#include <QList>
#include <QString>
#include <optional>

// Plays a wave file through the output of that id; an empty id means the default output,
// whichever it is when the sound starts. Asynchronous requests return as soon as playback has
// started; a new request ends a sound still playing. Fails when the file is no sound that can be
// read or no audio output device exists. With loop the sound starts over without a gap at its
// end, until StopPlayback, the next request or the end of the program; a synchronous request
// always plays once.
PlaybackStart PlayWaveFileOn(const QString &outputId, const QString &path, bool synchronous, bool loop);

// Plays a steady tone live through the output of that id (empty: the default), made as it plays:
// it fades in over 5 ms and sounds until StopPlayback (which fades it out over 10 ms), a later
// request or the end of the program. Ends a sound still playing. Fails as PlayWaveFileOn does.
PlaybackStart PlayLiveTone(const QString &outputId, const LiveTone &tone);
// Changes the live tone that plays, without a click (see LiveRenderer); another rate or channel
// count starts a new stream that the old one fades into. False when no live tone plays.
bool ChangeLiveTone(const LiveTone &tone);
// Connects to the sound server ahead of a live tone, so that it sounds at once when asked for.
void PrepareLiveOutput();
// How the live tone has played so far.
LiveStatistics LiveToneStatistics();
// A noise's peak and mean square over its first frames, as the live tone plays it (for setting its
// RMS level); nothing when the player cannot be loaded.
std::optional<NoiseLevels> MeasureLiveNoise(const LiveNoise &noise, int sampleRate, qint64 frames);

// Why the last request to play failed, in words a person understands.
QString PlaybackFailure();

// Every audio output there is now; empty when no player or no audio server can be reached.
QList<AudioOutput> AudioOutputs();

// Ends the sound still playing, if any: a file at once, a live tone over a 10 ms fade that goes
// on after this returns (nothing waits for it).
void StopPlayback();

// Whether a sound requested by PlayWaveFileOn or PlayLiveTone is playing now; false from the
// moment StopPlayback is asked, though a live tone's fade may still sound for 10 ms.
bool IsSoundPlaying();

// How long the sound file that plays now has sounded at the output, a looping one counted on
// over its starts; 0 when no file plays.
qint64 PlayedMicroseconds();
// Every audio input there is now, a monitor of an output too; empty when no player or no audio
// server can be reached.
QList<AudioOutput> AudioInputs();

// Records the input of that id (empty: the system's default) into a new 32-bit float wave file of
// one channel at the rate, on the player's thread, until StopRecording. Returns once the first
// samples have come, so that a sound played after it is heard whole; false when the input cannot
// be opened or sends nothing (PlaybackFailure says why).
bool StartRecording(const QString &inputId, const QString &path, int sampleRate);
// The frames recorded so far.
qint64 RecordedFrames();
// Ends the recording and closes its file: the frames it holds, or -1 when it could not be written
// whole.
qint64 StopRecording();

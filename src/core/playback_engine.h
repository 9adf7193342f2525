// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>

// What the player module offers. The module links Qt Multimedia and libsndfile, which the
// program loads only when the first sound is asked for, not at every start.
class PlaybackEngine : public QObject
{
public:
    using QObject::QObject;

    virtual bool play(const QString &path, bool synchronous, bool loop) = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
};

// The module's one entry point: makes the engine as a child of parent.
using MakePlaybackEngineFunction = PlaybackEngine *(*)(QObject *parent);
inline constexpr char MakePlaybackEngineSymbol[] = "QuorvaneMakePlaybackEngine";
// The module's file name, looked for beside the program.
inline constexpr char PlaybackModuleName[] = "quorvane-playback.so";

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound/playback.h"

#include "core/plugins/plugin_loader.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

QPointer<PlaybackEngine> engine;

// Made on the first sound, by the player plugin.
PlaybackEngine *TheEngine()
{
    if (engine || !QCoreApplication::instance())
        return engine;
    if (auto *plugin = ProgramPluginAs<PlaybackPlugin>(PlaybackPluginFile))
        engine = plugin->createEngine(QCoreApplication::instance());
    return engine;
}

} // namespace

PlaybackStart PlayWaveFileOn(const QString &outputId, const QString &path, bool synchronous, bool loop)
{
    PlaybackEngine *player = TheEngine();
    return player ? player->play(path, outputId, synchronous, loop) : PlaybackStart::Failed;
}

PlaybackStart PlayLiveTone(const QString &outputId, const LiveTone &tone)
{
    PlaybackEngine *player = TheEngine();
    return player ? player->playLive(tone, outputId) : PlaybackStart::Failed;
}

bool ChangeLiveTone(const LiveTone &tone)
{
    return engine && engine->changeLive(tone);
}

void PrepareLiveOutput()
{
    if (PlaybackEngine *player = TheEngine())
        player->prepareLive();
}

LiveStatistics LiveToneStatistics()
{
    return engine ? engine->liveStatistics() : LiveStatistics{};
}

std::optional<NoiseLevels> MeasureLiveNoise(const LiveNoise &noise, int sampleRate, qint64 frames)
{
    if (PlaybackEngine *player = TheEngine())
        return player->measureNoise(noise, sampleRate, frames);
    return std::nullopt;
}

QString PlaybackFailure()
{
    if (PlaybackEngine *player = TheEngine())
        return player->failure();
    return QStringLiteral("The sound player (%1) cannot be loaded: see the program's log.").arg(PlaybackPluginFile);
}

QList<AudioOutput> AudioOutputs()
{
    PlaybackEngine *player = TheEngine();
    return player ? player->outputs() : QList<AudioOutput>();
}

void StopPlayback()
{
    if (engine)
        engine->stop();
}

bool IsSoundPlaying()
{
    return engine && engine->isPlaying();
}

qint64 PlayedMicroseconds()
{
    return engine ? engine->playedMicroseconds() : 0;
}

QList<AudioOutput> AudioInputs()
{
    PlaybackEngine *player = TheEngine();
    return player ? player->inputs() : QList<AudioOutput>();
}

bool StartRecording(const QString &inputId, const QString &path, int sampleRate)
{
    PlaybackEngine *player = TheEngine();
    return player && player->startRecording(inputId, path, sampleRate);
}

qint64 RecordedFrames()
{
    return engine ? engine->recordedFrames() : 0;
}

qint64 StopRecording()
{
    return engine ? engine->stopRecording() : -1;
}

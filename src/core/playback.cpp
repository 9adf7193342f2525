#include "playback.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int LoadTimeoutMs = 3000;

// One player for the whole program, so a new request always ends the sound before it.
struct Player
{
    QMediaPlayer player;
    QAudioOutput output;

    Player() { player.setAudioOutput(&output); }
};

Player *instance = nullptr;

Player &ThePlayer()
{
    if (!instance) {
        instance = new Player;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
            delete instance;
            instance = nullptr;
        });
    }
    return *instance;
}

} // namespace

void PreparePlaybackBackend()
{
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

bool PlayWaveFile(const QString &path, bool synchronous)
{
    StopPlayback();
    // With no audio server the player reports no error at all: ask for a device first. The list
    // is read anew each time, so a server started later is found.
    if (!QFileInfo(path).isFile() || QMediaDevices::audioOutputs().isEmpty())
        return false;

    Player &p = ThePlayer();
    p.output.setDevice(QMediaDevices::defaultAudioOutput());
    // Without clearing the source first, a file rewritten at the same path plays its old sound.
    p.player.setSource(QUrl());
    p.player.setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    p.player.play();
    // The file is opened in the background: wait (briefly, with events) until it is known to be
    // a sound that plays, so that a file that is not one gives false.
    if (p.player.mediaStatus() == QMediaPlayer::LoadingMedia && p.player.error() == QMediaPlayer::NoError) {
        QEventLoop loop;
        QObject::connect(&p.player, &QMediaPlayer::mediaStatusChanged, &loop, [&](QMediaPlayer::MediaStatus status) {
            if (status != QMediaPlayer::LoadingMedia)
                loop.quit();
        });
        QObject::connect(&p.player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(LoadTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (p.player.error() != QMediaPlayer::NoError || p.player.mediaStatus() == QMediaPlayer::InvalidMedia) {
        // A player that failed may report its old error on the next file: start afresh.
        delete instance;
        instance = nullptr;
        return false;
    }

    if (synchronous) {
        QEventLoop loop;
        const auto ended = [&] {
            if (p.player.playbackState() == QMediaPlayer::StoppedState)
                loop.quit();
        };
        QObject::connect(&p.player, &QMediaPlayer::playbackStateChanged, &loop, ended);
        QObject::connect(&p.player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
        if (p.player.playbackState() != QMediaPlayer::StoppedState)
            loop.exec();
    }
    return true;
}

void StopPlayback()
{
    if (instance)
        instance->player.stop();
}

bool IsSoundPlaying()
{
    return instance && instance->player.playbackState() == QMediaPlayer::PlayingState;
}

#include "playback.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace {

// How long the backend may take to open a file and start the sound.
constexpr int StartTimeoutMs = 5000;
// A synchronous wait gives up when the position stands still this long (the audio server went away).
constexpr int StallTimeoutMs = 3000;
constexpr int StallCheckMs = 250;

// The one sound channel of the program: a new request ends the sound still playing.
class Player : public QObject
{
public:
    explicit Player(QObject *parent) : QObject(parent)
    {
        connect(&devices, &QMediaDevices::audioOutputsChanged, this, &Player::followDefaultDevice);
    }

    bool play(const QString &path, bool synchronous, bool loop)
    {
        const QFileInfo file(path);
        const quint64 request = ++requests;
        // Every request gets a fresh player, which also ends the sound still playing. A reused one
        // ignores a source equal to its current one (a rewritten file sounded old), and after its
        // file was rewritten or it had failed it may end the next sound at once, silently.
        player.reset();
        if (!file.isFile() || !file.isReadable())
            return false;
        // With no audio server Qt plays into nothing and reports no error; the device list is the
        // only honest answer, so it is asked at every call.
        if (QMediaDevices::audioOutputs().isEmpty())
            return false;
        followDefaultDevice();
        player = std::make_unique<QMediaPlayer>();
        player->setAudioOutput(&output);
        player->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
        player->play();
        if (!waitForStart(request)) {
            if (request == requests)
                player.reset();
            return false;
        }
        if (synchronous)
            waitForEnd(request);
        else if (loop)
            repeatAtEnd(path, request);
        return true;
    }

    void stop()
    {
        ++requests;
        if (player)
            player->stop();
    }

    bool isPlaying() const { return player && player->playbackState() == QMediaPlayer::PlayingState; }

private:
    enum class Start
    {
        Pending,
        Started,
        Failed
    };

    Start startState() const
    {
        if (!player || player->error() != QMediaPlayer::NoError)
            return Start::Failed;
        switch (player->mediaStatus()) {
        case QMediaPlayer::InvalidMedia:
            return Start::Failed;
        case QMediaPlayer::EndOfMedia: // a very short sound may be over already
            return Start::Started;
        case QMediaPlayer::BufferingMedia:
        case QMediaPlayer::BufferedMedia:
            return isPlaying() ? Start::Started : Start::Pending;
        default:
            return Start::Pending;
        }
    }

    // Waits without handling user input, so no click can start another command meanwhile.
    bool waitForStart(quint64 request)
    {
        if (startState() == Start::Pending) {
            QEventLoop loop;
            const auto check = [&] {
                if (request != requests || startState() != Start::Pending)
                    loop.quit();
            };
            connect(player.get(), &QMediaPlayer::mediaStatusChanged, &loop, check);
            connect(player.get(), &QMediaPlayer::playbackStateChanged, &loop, check);
            connect(player.get(), &QMediaPlayer::errorOccurred, &loop, check);
            connect(player.get(), &QObject::destroyed, &loop, &QEventLoop::quit);
            QTimer::singleShot(StartTimeoutMs, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        return request == requests && startState() == Start::Started;
    }

    // Returns when the sound has ended, a later request has replaced it, or it has stalled.
    void waitForEnd(quint64 request)
    {
        QEventLoop loop;
        const auto check = [&] {
            if (request != requests || !isPlaying())
                loop.quit();
        };
        connect(player.get(), &QMediaPlayer::playbackStateChanged, &loop, check);
        connect(player.get(), &QMediaPlayer::errorOccurred, &loop, check);
        connect(player.get(), &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer stall;
        qint64 lastPosition = -1;
        int stillFor = 0;
        connect(&stall, &QTimer::timeout, &loop, [&] {
            if (!player) {
                loop.quit();
            } else if (player->position() != lastPosition) {
                lastPosition = player->position();
                stillFor = 0;
            } else if ((stillFor += StallCheckMs) >= StallTimeoutMs) {
                loop.quit();
            }
        });
        stall.start(StallCheckMs);
        check();
        if (isPlaying() && request == requests)
            loop.exec();
        if (request == requests && isPlaying())
            player.reset(); // stalled
    }

    // Plays the file again whenever it ends, until a later request or a stop. Qt's own looping
    // (setLoops) here often goes on "playing" in silence after the first round; a fresh player
    // for every round always sounds, at the price of a short gap between rounds.
    void repeatAtEnd(const QString &path, quint64 request)
    {
        const auto again = [=, this](QMediaPlayer::MediaStatus status) {
            if (status != QMediaPlayer::EndOfMedia || request != requests)
                return;
            QTimer::singleShot(0, this, [=, this] {
                if (request == requests)
                    play(path, false, true);
            });
        };
        connect(player.get(), &QMediaPlayer::mediaStatusChanged, this, again);
        again(player->mediaStatus()); // a very short sound may be over already
    }

    // The output keeps the device it was given; Qt names another default when that one goes away.
    void followDefaultDevice()
    {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (output.device() != device)
            output.setDevice(device);
    }

    QMediaDevices devices;
    QAudioOutput output;
    std::unique_ptr<QMediaPlayer> player; // the one of the latest request
    quint64 requests = 0;
};

QPointer<Player> instance;

Player *ThePlayer()
{
    if (!instance && QCoreApplication::instance())
        instance = new Player(QCoreApplication::instance());
    return instance;
}

} // namespace

bool PlayWaveFile(const QString &path, bool synchronous, bool loop)
{
    Player *player = ThePlayer();
    return player && player->play(path, synchronous, loop);
}

void StopPlayback()
{
    if (instance)
        instance->stop();
}

bool IsSoundPlaying()
{
    return instance && instance->isPlaying();
}

// GStreamer, not FFmpeg: with this Qt the FFmpeg backend hangs for good in the next request when the
// audio server goes away during a sound, where GStreamer reports the failure.
void PreparePlaybackBackend()
{
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

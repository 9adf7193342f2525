// SPDX-License-Identifier: GPL-3.0-or-later

// The player: wave files decoded by libsndfile as they play and written straight into one
// QAudioSink. A media player would build a decoding pipeline for every sound and start it with a
// deep buffer, which costs a short preview about two tenths of a second before it is heard.

#include "core/live/noise_source.h"
#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "plugins/player/live_output.h"
#include "plugins/player/server_default.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <pulse/pulseaudio.h>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The server keeps this much ready to play, enough to ride out a busy machine between two feeds.
// It costs no latency: the first write fills it, and the server starts the stream on that.
constexpr int BufferMs = 300;
constexpr int FeedIntervalMs = 50;
// The recorder takes what the input sends in pieces this long.
constexpr int RecordFragmentMs = 10;
// A sound whose position stands still this long has stalled (the audio server went away).
constexpr int StallTimeoutMs = 3000;
// A server that has not said which output is its default by then leaves it to Qt's last word.
constexpr std::chrono::milliseconds ServerAnswerTimeout{500};

// One sound file, read as it plays, from its start again at its end when it loops.
class SoundFile
{
public:
    SoundFile(const SoundFile &) = delete;
    SoundFile &operator=(const SoundFile &) = delete;
    ~SoundFile() { sf_close(m_file); }

    // Null when the file is not a sound libsndfile can read.
    static std::unique_ptr<SoundFile> open(const QString &path, bool loop)
    {
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
        if (!file)
            return nullptr;
        return std::unique_ptr<SoundFile>(new SoundFile(file, info, loop));
    }

    int rate() const { return m_info.samplerate; }
    int channels() const { return m_info.channels; }

    // Reads up to frames frames as the sink's sample format; fewer only at the end of a sound
    // that does not loop.
    qint64 read(char *out, qint64 frames, QAudioFormat::SampleFormat format)
    {
        qint64 done = 0;
        bool restarted = false;
        while (done < frames) {
            const qint64 got =
                format == QAudioFormat::Float
                    ? sf_readf_float(m_file, reinterpret_cast<float *>(out) + done * channels(), frames - done)
                    : sf_readf_short(m_file, reinterpret_cast<short *>(out) + done * channels(), frames - done);
            if (got > 0) {
                done += got;
                restarted = false;
                continue;
            }
            // At the end: start over, unless nothing came since the last start (an empty sound).
            if (!m_loop || restarted || sf_seek(m_file, 0, SEEK_SET) < 0)
                break;
            restarted = true;
        }
        return done;
    }

private:
    SoundFile(SNDFILE *file, const SF_INFO &info, bool loop) : m_file(file), m_info(info), m_loop(loop) {}

    SNDFILE *m_file;
    SF_INFO m_info;
    bool m_loop;
};

// The format the sink is opened with: the file's rate and channels, as float samples where the
// device takes them (libsndfile converts whatever the file holds), else as 16-bit ones.
QAudioFormat SinkFormat(const SoundFile &sound, const QAudioDevice &device)
{
    QAudioFormat format;
    format.setSampleRate(sound.rate());
    format.setChannelCount(sound.channels());
    // The loudspeakers of a layout, as its file's channel mask names them, so that the server puts
    // each channel where it belongs; fewer channels keep the server's own choice.
    static const std::map<int, QAudioFormat::ChannelConfig> layouts{
        {4, QAudioFormat::channelConfig(QAudioFormat::FrontLeft, QAudioFormat::FrontRight, QAudioFormat::BackLeft,
                                        QAudioFormat::BackRight)},
        {6, QAudioFormat::ChannelConfigSurround5Dot1},
        {8, QAudioFormat::ChannelConfigSurround7Dot1}};
    if (const auto layout = layouts.find(sound.channels()); layout != layouts.end())
        format.setChannelConfig(layout->second);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    return device.isFormatSupported(format) ? format : QAudioFormat();
}

// The sink and everything that feeds it, on a thread of its own: the sound must play on while
// the window's thread waits (a running command sleeps between its polls, a dialog may be open).
class SinkPlayer final : public QObject
{
    Q_OBJECT

public:
    SinkPlayer()
    {
        m_feedTimer.setInterval(FeedIntervalMs);
        connect(&m_feedTimer, &QTimer::timeout, this, &SinkPlayer::feed);
        m_stallTimer.setInterval(StallTimeoutMs);
        connect(&m_stallTimer, &QTimer::timeout, this, &SinkPlayer::checkStall);
    }

    ~SinkPlayer() override { stop(); }

    PlaybackStart failed(const QString &why)
    {
        failure = why;
        return PlaybackStart::Failed;
    }

    // Started once the first part of the sound is with the audio server: on the output of that
    // id, or on the default output when the id is empty or names no output there is now.
    PlaybackStart play(const QString &path, const QString &outputId, bool loop, quint64 request)
    {
        stop();
        failure.clear();
        m_request = request;
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable())
            return failed(u"The sound file %1 cannot be read."_s.arg(path));
        // With no audio server there is no output, and the device list is the only honest answer.
        const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
        if (outputs.isEmpty())
            return failed(u"No sound server or sound card answers: is the sound system running?"_s);
        std::unique_ptr<SoundFile> sound = SoundFile::open(file.absoluteFilePath(), loop);
        if (!sound)
            return failed(u"The sound file %1 holds no sound that can be played."_s.arg(path));
        // Looked up afresh for every sound: the default follows the system's, and an output that
        // was unplugged is not there any more.
        const auto withId = [&](const QByteArray &id) {
            return std::find_if(outputs.begin(), outputs.end(),
                                [&](const QAudioDevice &output) { return !id.isEmpty() && output.id() == id; });
        };
        const auto chosen = withId(outputId.toUtf8());
        const bool onDefault = !outputId.isEmpty() && chosen == outputs.end();
        QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (chosen != outputs.end())
            device = *chosen;
        else if (const auto current = withId(ServerDefaultSink(ServerAnswerTimeout)); current != outputs.end())
            device = *current;
        const QAudioFormat format = SinkFormat(*sound, device);
        if (!format.isValid())
            return failed(u"The output %1 cannot play this sound's format."_s.arg(device.description()));
        // The sink is kept from one sound to the next while the device and the format stay the same.
        if (!m_sink || m_device != device || m_sink->format() != format) {
            m_sink.reset();
            m_sink = std::make_unique<QAudioSink>(device, format);
            m_device = device;
            connect(m_sink.get(), &QAudioSink::stateChanged, this, &SinkPlayer::sinkStateChanged);
        }
        // Each sound gets a stream of its own on the kept sink: Qt has no way to drop what an open
        // stream still holds, and a new stream takes the server a fraction of a millisecond.
        // Asked for every time: the sink keeps what the server granted last, which is less.
        m_sink->setBufferSize(format.bytesForDuration(qint64(BufferMs) * 1000));
        m_output = m_sink->start();
        if (!m_output || m_sink->error() != QAudio::NoError) {
            m_output = nullptr;
            m_sink.reset();
            return failed(u"The sound server did not open the output %1: is the sound system running?"_s.arg(
                device.description()));
        }
        m_sound = std::move(sound);
        m_allWritten = false;
        m_written = 0;
        m_lastPosition = -1;
        played = 0;
        playing = true;
        feed();
        if (playing) {
            m_feedTimer.start();
            m_stallTimer.start();
        }
        return onDefault ? PlaybackStart::StartedOnDefault : PlaybackStart::Started;
    }

    // Why the last request did not start; read on the window's thread once play has returned.
    QString failure;

    static QList<AudioOutput> outputs()
    {
        const QList<QAudioDevice> devices = QMediaDevices::audioOutputs();
        QList<AudioOutput> outputs;
        outputs.reserve(devices.size());
        for (const QAudioDevice &device : devices)
            outputs.append({QString::fromUtf8(device.id()), device.description()});
        return outputs;
    }

    void stop()
    {
        m_feedTimer.stop();
        m_stallTimer.stop();
        m_sound.reset();
        m_output = nullptr;
        const bool wasPlaying = playing.exchange(false);
        if (m_sink)
            m_sink->stop(); // the server drops what the stream still holds: silence at once
        if (wasPlaying)
            emit ended(m_request);
    }

    std::atomic<bool> playing = false;
    std::atomic<qint64> played = 0; // microseconds, as the sink last said

signals:
    // The sound of that request has ended, however.
    void ended(quint64 request);

private:
    // Writes as much as the server takes now.
    void feed()
    {
        // Asked on while the last of the sound plays, so that what has played stays known.
        if (m_sink)
            played = m_sink->processedUSecs();
        if (!m_output || !m_sound)
            return;
        const QAudioFormat format = m_sink->format();
        const qint64 frameBytes = format.bytesPerFrame();
        const qint64 frames = m_sink->bytesFree() / frameBytes;
        if (frames <= 0)
            return;
        m_buffer.resize(frames * frameBytes);
        const qint64 got = m_sound->read(m_buffer.data(), frames, format.sampleFormat());
        qint64 bytes = got * frameBytes;
        if (got < frames) {
            // The end. The server starts a stream only once it holds a full buffer, so a shorter
            // sound is followed by silence up to that.
            const qint64 padding = qBound<qint64>(0, m_sink->bufferSize() - m_written - bytes, m_buffer.size() - bytes);
            std::fill(m_buffer.begin() + bytes, m_buffer.begin() + bytes + padding, 0);
            bytes += padding;
            m_sound.reset();
            m_allWritten = true;
        }
        if (bytes > 0 && m_output->write(m_buffer.constData(), bytes) < 0)
            stop();
        else
            m_written += bytes;
    }

    // Changes come from the audio server's thread, queued: one may be about an earlier stream, so
    // the sink's state now is what counts.
    void sinkStateChanged()
    {
        if (!playing)
            return;
        // Idle after the last write: the server has played everything. Stopped: it went away.
        const QAudio::State state = m_sink->state();
        if ((state == QAudio::IdleState && m_allWritten) || state == QAudio::StoppedState)
            stop();
    }

    void checkStall()
    {
        const qint64 position = m_sink ? m_sink->processedUSecs() : -1;
        if (position == m_lastPosition)
            stop();
        m_lastPosition = position;
    }

    std::unique_ptr<QAudioSink> m_sink;
    QAudioDevice m_device;
    QIODevice *m_output = nullptr; // owned by the sink, valid until it stops
    std::unique_ptr<SoundFile> m_sound;
    QByteArray m_buffer;
    QTimer m_feedTimer{this}; // children, so that they move to the thread with it
    QTimer m_stallTimer{this};
    qint64 m_written = 0;
    qint64 m_lastPosition = -1;
    quint64 m_request = 0;
    bool m_allWritten = false;
};

// A recording of an audio input into a 32-bit float wave file, through the audio server's own
// interface: Qt Multimedia does not offer an output's monitor as an input, and a measurement is
// often of just that. The server's thread hands over the samples as they come, a few milliseconds'
// worth at a time, and they are written at once, so that the memory stays small however long it
// runs; stopping never waits for an input that has gone quiet.
class ServerRecorder
{
public:
    ServerRecorder() = default;
    ~ServerRecorder() { stop(); }
    ServerRecorder(const ServerRecorder &) = delete;
    ServerRecorder &operator=(const ServerRecorder &) = delete;

    bool start(const QString &inputId, const QString &path, int sampleRate)
    {
        stop();
        failure.clear();
        frames = 0;
        m_broken = false;
        const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, std::uint32_t(sampleRate), 1};
        SF_INFO info{0, sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
        m_file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        if (!m_file)
            return fail(u"%1 cannot be written: %2"_s.arg(path, QString::fromUtf8(sf_strerror(nullptr))));
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0)
            return fail(u"The sound server cannot be reached."_s);
        pa_threaded_mainloop_lock(m_loop);
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Quorvane");
        const auto wake = [](auto *, void *loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
        };
        bool ready = false;
        if (m_context) {
            pa_context_set_state_callback(m_context, wake, m_loop);
            if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
                while (PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) &&
                       pa_context_get_state(m_context) != PA_CONTEXT_READY)
                    pa_threaded_mainloop_wait(m_loop);
                ready = pa_context_get_state(m_context) == PA_CONTEXT_READY;
            }
        }
        if (ready) {
            m_stream = pa_stream_new(m_context, "Measurement", &sampleFormat, nullptr);
            // Small fragments: the samples reach the file soon after they were heard.
            const pa_buffer_attr buffer{
                std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1),
                std::uint32_t(pa_usec_to_bytes(pa_usec_t(RecordFragmentMs) * 1000, &sampleFormat))};
            ready = m_stream != nullptr;
            if (ready) {
                pa_stream_set_state_callback(m_stream, wake, m_loop);
                pa_stream_set_read_callback(m_stream, &ServerRecorder::take, this);
                const QByteArray device = inputId.toUtf8();
                ready = pa_stream_connect_record(m_stream, device.isEmpty() ? nullptr : device.constData(), &buffer,
                                                 PA_STREAM_ADJUST_LATENCY) >= 0;
                while (ready && PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)) &&
                       pa_stream_get_state(m_stream) != PA_STREAM_READY)
                    pa_threaded_mainloop_wait(m_loop);
                ready = ready && pa_stream_get_state(m_stream) == PA_STREAM_READY;
            }
        }
        const QString reason = QString::fromUtf8(pa_strerror(m_context ? pa_context_errno(m_context) : PA_ERR_UNKNOWN));
        pa_threaded_mainloop_unlock(m_loop);
        if (!ready) {
            return fail(inputId.isEmpty() ? u"The sound server's input cannot be recorded: %1."_s.arg(reason)
                                          : u"The input device \"%1\" cannot be recorded: %2."_s.arg(inputId, reason));
        }
        return true;
    }

    // Ends the recording: the frames written, or -1 when the file is not whole.
    qint64 stop()
    {
        if (m_loop) {
            pa_threaded_mainloop_lock(m_loop);
            if (m_stream) {
                pa_stream_disconnect(m_stream);
                pa_stream_unref(std::exchange(m_stream, nullptr));
            }
            if (m_context) {
                pa_context_disconnect(m_context);
                pa_context_unref(std::exchange(m_context, nullptr));
            }
            pa_threaded_mainloop_unlock(m_loop);
            pa_threaded_mainloop_stop(m_loop);
            pa_threaded_mainloop_free(std::exchange(m_loop, nullptr));
        }
        if (m_file && sf_close(std::exchange(m_file, nullptr)) != 0)
            m_broken = true;
        return m_broken ? -1 : frames.load();
    }

    QString failure;
    std::atomic<qint64> frames = 0;

private:
    bool fail(const QString &why)
    {
        stop();
        failure = why;
        return false;
    }

    // On the server's thread: what the input sent, a gap in it as silence.
    static void take(pa_stream *stream, std::size_t, void *data)
    {
        auto *self = static_cast<ServerRecorder *>(data);
        const void *samples = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &samples, &bytes) >= 0 && bytes > 0) {
            const auto count = sf_count_t(bytes / sizeof(float));
            if (samples) {
                if (sf_writef_float(self->m_file, static_cast<const float *>(samples), count) != count)
                    self->m_broken = true;
            } else {
                self->m_silence.assign(std::size_t(count), 0.0f);
                if (sf_writef_float(self->m_file, self->m_silence.data(), count) != count)
                    self->m_broken = true;
            }
            self->frames += count;
            pa_stream_drop(stream);
        }
    }

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    SNDFILE *m_file = nullptr;
    std::vector<float> m_silence;
    std::atomic<bool> m_broken = false;
};

// What the program calls, on its own thread. Every call waits until the player's thread has done
// it, so a sound has started, or stopped, when the call returns.
class SinkEngine final : public PlaybackEngine
{
public:
    explicit SinkEngine(QObject *parent) : PlaybackEngine(parent)
    {
        m_thread.setObjectName(QStringLiteral("Sound player"));
        m_player->moveToThread(&m_thread);
        // The sink goes on the thread it lives on, as that thread ends. Not through an event: the
        // engine goes after the application object, and from then on Qt drops events for threads.
        connect(
            &m_thread, &QThread::finished, &m_thread, [player = m_player] { delete player; }, Qt::DirectConnection);
        m_thread.start();
    }

    ~SinkEngine() override
    {
        m_thread.quit();
        m_thread.wait();
    }

    PlaybackStart play(const QString &path, const QString &outputId, bool synchronous, bool loop) override
    {
        m_live.stop();
        m_liveFailure.reset();
        const quint64 request = ++m_requests;
        PlaybackStart started = PlaybackStart::Failed;
        QMetaObject::invokeMethod(
            m_player, [&] { started = m_player->play(path, outputId, loop && !synchronous, request); },
            Qt::BlockingQueuedConnection);
        if (started != PlaybackStart::Failed && synchronous)
            waitForEnd(request);
        return started;
    }

    PlaybackStart playLive(const LiveTone &tone, const QString &outputId) override
    {
        if (m_player->playing)
            QMetaObject::invokeMethod(
                m_player, [this] { m_player->stop(); }, Qt::BlockingQueuedConnection);
        ++m_requests; // a synchronous file still waited for has been replaced
        m_liveFailure.emplace();
        return m_live.start(tone, outputId, *m_liveFailure);
    }

    bool changeLive(const LiveTone &tone) override { return m_live.change(tone); }

    void prepareLive() override
    {
        QString failure;
        if (!m_live.connect(failure))
            qWarning().noquote() << failure;
    }

    LiveStatistics liveStatistics() const override { return m_live.statistics(); }

    NoiseLevels measureNoise(const LiveNoise &noise, int sampleRate, qint64 frames) const override
    {
        return MeasureNoise(noise, sampleRate, frames);
    }

    // Set by play on the player's thread, which has handed it over by the time play returns.
    QString failure() const override { return m_liveFailure ? *m_liveFailure : m_player->failure; }

    // Asked on the player's thread, where the audio server's connection lives.
    QList<AudioOutput> outputs() override
    {
        QList<AudioOutput> outputs;
        QMetaObject::invokeMethod(
            m_player, [&] { outputs = SinkPlayer::outputs(); }, Qt::BlockingQueuedConnection);
        return outputs;
    }

    void stop() override
    {
        m_live.stop();
        QMetaObject::invokeMethod(
            m_player, [this] { m_player->stop(); }, Qt::BlockingQueuedConnection);
    }

    bool isPlaying() const override { return m_player->playing || m_live.isPlaying(); }
    qint64 playedMicroseconds() const override { return m_player->playing ? m_player->played.load() : 0; }

    QList<AudioOutput> inputs() override { return ServerSources(ServerAnswerTimeout); }

    bool startRecording(const QString &inputId, const QString &path, int sampleRate) override
    {
        m_liveFailure.reset();
        if (!m_recorder.start(inputId, path, sampleRate)) {
            m_player->failure = m_recorder.failure;
            return false;
        }
        // Recording for real once samples come; a source that sends none in a while is dead.
        QEventLoop loop;
        QTimer poll;
        QTimer::singleShot(StallTimeoutMs, &loop, &QEventLoop::quit);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (m_recorder.frames > 0)
                loop.quit();
        });
        poll.start(FeedIntervalMs / 5);
        if (m_recorder.frames == 0)
            loop.exec();
        if (m_recorder.frames > 0)
            return true;
        m_recorder.stop();
        m_player->failure = u"The input sends no sound: is it the right one, and is it working?"_s;
        return false;
    }

    qint64 recordedFrames() const override { return m_recorder.frames; }

    qint64 stopRecording() override { return m_recorder.stop(); }

private:
    // Returns when the sound has ended or a later request has replaced it; events go on meanwhile.
    void waitForEnd(quint64 request)
    {
        QEventLoop loop;
        connect(m_player, &SinkPlayer::ended, &loop, [&](quint64 ended) {
            if (ended == request || m_requests != request)
                loop.quit();
        });
        if (m_player->playing && m_requests == request)
            loop.exec();
    }

    QThread m_thread;
    SinkPlayer *m_player = new SinkPlayer;
    ServerRecorder m_recorder;
    quint64 m_requests = 0;
    LiveOutput m_live;
    std::optional<QString> m_liveFailure; // set when the last request was for a live tone
};

} // namespace

class Player final : public QObject, public PlaybackPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_PLAYBACK_PLUGIN_IID)
    Q_INTERFACES(PlaybackPlugin)

public:
    PlaybackEngine *createEngine(QObject *parent) override { return new SinkEngine(parent); }
};

#include "player_plugin.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "plugins/player/live_output.h"

#include "core/failure.h"

#include <QDebug>
#include <algorithm>
#include <atomic>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// How far the stream keeps ahead of the output, all buffers of the server's included: a change is
// heard this much later. And how much the server asks for at a time: the thread must answer
// within the difference, 30 ms. On a machine with both cores busy, 25 ms ahead ran dry a few
// times a minute (whatever the priority of this thread), 40 ms next to never.
constexpr pa_usec_t TargetLatency = 40 * PA_USEC_PER_MSEC;
constexpr pa_usec_t RequestSize = 10 * PA_USEC_PER_MSEC;
// A server that has not answered by then is not there.
constexpr pa_usec_t AnswerTimeout = 2 * PA_USEC_PER_SEC;

// Runs with the main loop's lock held and waits until done() or the timeout; false at the timeout.
// The loop's thread signals on every change of the context's or a stream's state.
template<class Done> bool WaitUntil(pa_threaded_mainloop *loop, pa_context *context, const Done &done)
{
    bool timedOut = false;
    struct Timer
    {
        pa_threaded_mainloop *loop;
        bool *timedOut;
    } timer{loop, &timedOut};
    pa_time_event *event = pa_context_rttime_new(
        context, pa_rtclock_now() + AnswerTimeout,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
            auto *t = static_cast<Timer *>(data);
            *t->timedOut = true;
            pa_threaded_mainloop_signal(t->loop, 0);
        },
        &timer);
    while (!done() && !timedOut)
        pa_threaded_mainloop_wait(loop);
    if (event)
        pa_threaded_mainloop_get_api(loop)->time_free(event);
    return done();
}

QString ServerProblem(pa_context *context)
{
    return u"The sound server did not answer (%1): is the sound system running?"_s.arg(
        QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_CONNECTIONREFUSED)));
}

} // namespace

// One stream of the server and the renderer that feeds it.
struct LiveOutput::Stream
{
    pa_threaded_mainloop *loop = nullptr;
    pa_stream *stream = nullptr;
    std::unique_ptr<LiveRenderer> renderer;
    size_t frameBytes = 0;
    std::atomic<qint64> underruns{0};
    std::atomic<bool> draining{false}; // the renderer has ended: the server plays out what it holds
    std::atomic<bool> finished{false}; // played out, or failed: nothing sounds any more

    // The loop's thread, with its lock held: renders what the server asks for, straight into the
    // server's own memory.
    static void write(pa_stream *s, size_t bytes, void *data)
    {
        auto *self = static_cast<Stream *>(data);
        while (!self->draining && !self->renderer->ended() && bytes >= self->frameBytes) {
            void *buffer = nullptr;
            size_t size = bytes;
            if (pa_stream_begin_write(s, &buffer, &size) < 0 || !buffer)
                return;
            const size_t frames = std::min(size, bytes) / self->frameBytes;
            if (frames == 0) {
                pa_stream_cancel_write(s);
                return;
            }
            self->renderer->render(static_cast<float *>(buffer), qsizetype(frames));
            if (pa_stream_write(s, buffer, frames * self->frameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                return;
            bytes -= frames * self->frameBytes;
        }
        if (self->renderer->ended() && !self->draining.exchange(true)) {
            if (pa_operation *drain = pa_stream_drain(s, &Stream::drained, self))
                pa_operation_unref(drain);
        }
    }

    static void drained(pa_stream *s, int, void *data)
    {
        static_cast<Stream *>(data)->finished = true;
        pa_stream_disconnect(s);
    }

    static void underflow(pa_stream *, void *data)
    {
        auto *self = static_cast<Stream *>(data);
        if (!self->draining)
            ++self->underruns;
    }

    static void stateChanged(pa_stream *s, void *data)
    {
        auto *self = static_cast<Stream *>(data);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            self->finished = true;
        pa_threaded_mainloop_signal(self->loop, 0);
    }
};

LiveOutput::LiveOutput() = default;

LiveOutput::~LiveOutput()
{
    if (!m_loop)
        return;
    dropConnection();
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void LiveOutput::dropConnection()
{
    if (m_current)
        m_ending.push_back(std::move(m_current));
    endStreams(true);
    pa_threaded_mainloop_lock(m_loop);
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
}

bool LiveOutput::connect(QString &failure)
{
    if (!m_loop) {
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
            failure = u"The live tone's sound thread cannot be started."_s;
            return false;
        }
        pa_threaded_mainloop_set_name(m_loop, "Live tone");
    }
    pa_threaded_mainloop_lock(m_loop);
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY) {
        pa_threaded_mainloop_unlock(m_loop);
        return true;
    }
    // Lost (the server went away) or never made: a fresh connection, the old streams with it.
    pa_threaded_mainloop_unlock(m_loop);
    dropConnection();
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Quorvane");
    bool ready = false;
    if (m_context) {
        pa_context_set_state_callback(
            m_context,
            [](pa_context *, void *loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0); },
            m_loop);
        // Never starts a server of its own: with none running there is nothing to play on.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            WaitUntil(m_loop, m_context, [&] {
                return !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) ||
                       pa_context_get_state(m_context) == PA_CONTEXT_READY;
            });
            ready = pa_context_get_state(m_context) == PA_CONTEXT_READY;
        }
        if (!ready)
            failure = ServerProblem(m_context);
    } else {
        failure = u"There is not enough memory to reach the sound server."_s;
    }
    pa_threaded_mainloop_unlock(m_loop);
    return ready;
}

bool LiveOutput::sinkExists(const QByteArray &name)
{
    struct Answer
    {
        pa_threaded_mainloop *loop;
        bool found = false;
        bool done = false;
    } answer{m_loop};
    pa_threaded_mainloop_lock(m_loop);
    pa_operation *asked = pa_context_get_sink_info_by_name(
        m_context, name.constData(),
        [](pa_context *, const pa_sink_info *info, int last, void *data) {
            auto *a = static_cast<Answer *>(data);
            a->found = a->found || info;
            a->done = a->done || last != 0; // the end of the list, or no such sink (< 0)
            pa_threaded_mainloop_signal(a->loop, 0);
        },
        &answer);
    if (asked) {
        WaitUntil(m_loop, m_context, [&] { return answer.done; });
        pa_operation_cancel(asked);
        pa_operation_unref(asked);
    }
    pa_threaded_mainloop_unlock(m_loop);
    return answer.found;
}

std::unique_ptr<LiveOutput::Stream> LiveOutput::openStream(const LiveTone &tone, const QByteArray &sink,
                                                           QString &failure)
{
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, quint32(std::max(tone.sampleRate, 0)),
                                      quint8(std::clamp(tone.channels, 0, int(PA_CHANNELS_MAX) + 1))};
    if (!pa_sample_spec_valid(&sampleFormat)) {
        failure = u"The sound server cannot play %1 channels at %2 Hz."_s.arg(tone.channels).arg(tone.sampleRate);
        return nullptr;
    }
    auto stream = std::make_unique<Stream>();
    stream->loop = m_loop;
    stream->frameBytes = pa_frame_size(&sampleFormat);
    stream->renderer = std::make_unique<LiveRenderer>(tone.sampleRate, tone.channels);
    stream->renderer->setTone(tone); // rendered from the first request on: the fade-in first

    pa_threaded_mainloop_lock(m_loop);
    stream->stream = pa_stream_new(m_context, "Live tone", &sampleFormat, nullptr);
    bool ready = false;
    if (stream->stream) {
        Stream *self = stream.get();
        pa_stream_set_state_callback(self->stream, &Stream::stateChanged, self);
        pa_stream_set_write_callback(self->stream, &Stream::write, self);
        pa_stream_set_underflow_callback(self->stream, &Stream::underflow, self);
        pa_buffer_attr attributes{};
        attributes.maxlength = quint32(-1);
        attributes.tlength = quint32(pa_usec_to_bytes(TargetLatency, &sampleFormat));
        attributes.prebuf = quint32(-1);
        attributes.minreq = quint32(pa_usec_to_bytes(RequestSize, &sampleFormat));
        attributes.fragsize = quint32(-1);
        const auto flags =
            pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(self->stream, sink.isEmpty() ? nullptr : sink.constData(), &attributes, flags,
                                       nullptr, nullptr) >= 0) {
            WaitUntil(m_loop, m_context, [&] {
                const pa_stream_state_t state = pa_stream_get_state(self->stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            });
            ready = pa_stream_get_state(self->stream) == PA_STREAM_READY;
        }
    }
    if (!ready)
        failure = ServerProblem(m_context);
    pa_threaded_mainloop_unlock(m_loop);
    if (!ready) {
        stream->finished = true;
        m_ending.push_back(std::move(stream));
        endStreams(false);
        return nullptr;
    }
    return stream;
}

PlaybackStart LiveOutput::start(const LiveTone &tone, const QString &outputId, QString &failure)
{
    stop();
    if (!connect(failure))
        return PlaybackStart::Failed;
    // Looked up at every start: an output that was unplugged is not there any more, and no name
    // means the server's default as it is now.
    QByteArray sink = outputId.toUtf8();
    const bool onDefault = !sink.isEmpty() && !sinkExists(sink);
    if (onDefault)
        sink.clear();
    try {
        m_current = openStream(tone, sink, failure);
    } catch (const Failure &problem) {
        failure = problem.description();
    }
    if (!m_current)
        return PlaybackStart::Failed;
    m_outputId = outputId;
    return onDefault ? PlaybackStart::StartedOnDefault : PlaybackStart::Started;
}

bool LiveOutput::change(const LiveTone &tone)
{
    if (!isPlaying())
        return false;
    const LiveRenderer &renderer = *m_current->renderer;
    if (tone.sampleRate != renderer.sampleRate() || tone.channels != renderer.channels()) {
        QString failure;
        if (start(tone, m_outputId, failure) != PlaybackStart::Failed)
            return true;
        qWarning().noquote() << "The live tone cannot go on in its new format:" << failure;
        return false;
    }
    try {
        m_current->renderer->setTone(tone);
    } catch (const Failure &problem) {
        qWarning().noquote() << problem.description();
        return false;
    }
    endStreams(false);
    return true;
}

void LiveOutput::stop()
{
    if (m_current) {
        m_current->renderer->stop();
        m_ending.push_back(std::move(m_current));
    }
    endStreams(false);
}

bool LiveOutput::isPlaying() const
{
    return m_current && !m_current->finished;
}

LiveStatistics LiveOutput::statistics() const
{
    LiveStatistics statistics;
    if (!m_current)
        return statistics;
    const LiveRenderer &renderer = *m_current->renderer;
    statistics.underruns = m_current->underruns;
    statistics.frames = renderer.renderedFrames();
    statistics.changeFrame = renderer.changeFrame();
    pa_threaded_mainloop_lock(m_loop);
    pa_usec_t time = 0;
    if (pa_stream_get_time(m_current->stream, &time) >= 0)
        statistics.playedFrames = qint64(double(time) * renderer.sampleRate() / PA_USEC_PER_SEC);
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(m_current->stream, &latency, &negative) >= 0)
        statistics.latencyMicroseconds = negative ? -qint64(latency) : qint64(latency);
    pa_threaded_mainloop_unlock(m_loop);
    return statistics;
}

void LiveOutput::endStreams(bool all)
{
    if (m_ending.empty())
        return;
    pa_threaded_mainloop_lock(m_loop);
    std::erase_if(m_ending, [&](const std::unique_ptr<Stream> &stream) {
        if (!all && !stream->finished)
            return false;
        if (stream->stream) {
            pa_stream_set_state_callback(stream->stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream->stream, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream->stream, nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream->stream)))
                pa_stream_disconnect(stream->stream);
            pa_stream_unref(stream->stream);
        }
        return true;
    });
    pa_threaded_mainloop_unlock(m_loop);
}

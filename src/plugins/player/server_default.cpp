// SPDX-License-Identifier: GPL-3.0-or-later

#include "plugins/player/server_default.h"

#include <QDeadlineTimer>
#include <pulse/pulseaudio.h>

namespace {

struct Answer
{
    QByteArray defaultSink;
    QList<AudioOutput> sources;
    bool given = false;
};

void TakeServerInfo(pa_context *, const pa_server_info *info, void *data)
{
    auto *answer = static_cast<Answer *>(data);
    if (info && info->default_sink_name)
        answer->defaultSink = info->default_sink_name;
    answer->given = true;
}

void TakeSource(pa_context *, const pa_source_info *info, int last, void *data)
{
    auto *answer = static_cast<Answer *>(data);
    if (last) {
        answer->given = true;
        return;
    }
    if (info && info->name)
        answer->sources.append({QString::fromUtf8(info->name), QString::fromUtf8(info->description)});
}

// Connects to the server and asks what ask asks (its operation is waited for until the answer is
// given), all within the time. Never starts a server of its own: no server, no answer.
Answer AskServer(std::chrono::milliseconds timeout, pa_operation *(*ask)(pa_context *context, Answer *answer))
{
    const QDeadlineTimer deadline(timeout);
    Answer answer;
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return answer;
    // Runs the loop until done() or the deadline; false at the deadline or on a failure.
    const auto runUntil = [&](const auto &done) {
        while (!done()) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0 || pa_mainloop_prepare(loop, int(left * 1000)) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                return false;
        }
        return true;
    };
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Quorvane");
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto settled = [&] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        };
        if (runUntil(settled) && pa_context_get_state(context) == PA_CONTEXT_READY) {
            if (pa_operation *asked = ask(context, &answer)) {
                runUntil([&] { return answer.given; });
                pa_operation_unref(asked);
            }
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return answer;
}

} // namespace

QByteArray ServerDefaultSink(std::chrono::milliseconds timeout)
{
    return AskServer(timeout,
                     [](pa_context *context, Answer *answer) {
                         return pa_context_get_server_info(context, TakeServerInfo, answer);
                     })
        .defaultSink;
}

QList<AudioOutput> ServerSources(std::chrono::milliseconds timeout)
{
    return AskServer(timeout,
                     [](pa_context *context, Answer *answer) {
                         return pa_context_get_source_info_list(context, TakeSource, answer);
                     })
        .sources;
}

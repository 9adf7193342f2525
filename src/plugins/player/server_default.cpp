// SPDX-License-Identifier: GPL-3.0-or-later

#include "plugins/player/server_default.h"

#include <QDeadlineTimer>
#include <pulse/pulseaudio.h>

namespace {

struct Answer
{
    QByteArray defaultSink;
    bool given = false;
};

void TakeServerInfo(pa_context *, const pa_server_info *info, void *data)
{
    auto *answer = static_cast<Answer *>(data);
    if (info && info->default_sink_name)
        answer->defaultSink = info->default_sink_name;
    answer->given = true;
}

} // namespace

QByteArray ServerDefaultSink(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return {};
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
    Answer answer;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Quorvane");
    // Never starts a server of its own: no server, no default.
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto settled = [&] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        };
        if (runUntil(settled) && pa_context_get_state(context) == PA_CONTEXT_READY) {
            if (pa_operation *asked = pa_context_get_server_info(context, TakeServerInfo, &answer)) {
                runUntil([&] { return answer.given; });
                pa_operation_unref(asked);
            }
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return answer.defaultSink;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/live/live_renderer.h"
#include "core/plugins/plugin_interfaces.h"

#include <QString>
#include <memory>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;

// The live tone's way to the sound server: libpulse's threaded main loop, whose own thread asks
// the renderer for each block as the server wants it. The stream keeps about 40 ms ahead of the
// output, so that a change is heard within that, and the server asks for more every 10 ms or so;
// the window's thread, busy or not, is never in the way. The connection to the server is made
// once and kept, so that a tone starts with one new stream and no more.
//
// Every call comes from one thread, the owner's (the window's).
class LiveOutput
{
public:
    LiveOutput();
    ~LiveOutput();
    LiveOutput(const LiveOutput &) = delete;
    LiveOutput &operator=(const LiveOutput &) = delete;

    // Connects to the server, unless connected; false, with the reason, when none answers.
    bool connect(QString &failure);
    // Ends a tone still playing (with its fade) and starts this one on the output of that id, or
    // on the server's default output when the id is empty or names no output there is now.
    PlaybackStart start(const LiveTone &tone, const QString &outputId, QString &failure);
    // The tone that plays changes to this one; false when none plays. A tone of another rate or
    // channel count gets a stream of its own, which the old one fades out under.
    bool change(const LiveTone &tone);
    // Fades the tone out; its stream ends once the server has played the fade.
    void stop();
    bool isPlaying() const;
    LiveStatistics statistics() const;

private:
    struct Stream;

    void endStreams(bool all);
    // Ends every stream and drops the connection to the server; returns with the loop locked.
    void dropConnection();
    std::unique_ptr<Stream> openStream(const LiveTone &tone, const QByteArray &sink, QString &failure);
    bool sinkExists(const QByteArray &name);

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    QString m_outputId; // the sink asked for last, for a stream of another rate
    std::unique_ptr<Stream> m_current;
    std::vector<std::unique_ptr<Stream>> m_ending; // fading out, or played out and not yet freed
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <chrono>

// The name of the audio server's default output as the server has it now, or empty when no
// PulseAudio (or PipeWire) server answers within the time. Qt Multimedia learns the default once,
// when it first meets the server, and keeps it for the rest of the run; asked here, "the default"
// is the one the person set last, also after the program started.
QByteArray ServerDefaultSink(std::chrono::milliseconds timeout);

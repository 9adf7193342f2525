// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plugins/plugin_interfaces.h"

#include <QByteArray>
#include <QList>
#include <chrono>

// What the audio server itself says, asked through its own interface (PulseAudio's, which PipeWire
// serves too), within the time; nothing when no server answers.

// The name of the audio server's default output as the server has it now. Qt Multimedia learns the
// default once, when it first meets the server, and keeps it for the rest of the run; asked here,
// "the default" is the one the person set last, also after the program started.
QByteArray ServerDefaultSink(std::chrono::milliseconds timeout);

// Every input the server has, the outputs' monitors too (which Qt Multimedia leaves out), by name
// and description.
QList<AudioOutput> ServerSources(std::chrono::milliseconds timeout);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <optional>

class InputStore;
class QWidget;

// The window's side of measuring with a sweep: the inverse filter that Save writes beside a
// measurement sweep, and Make Impulse Response…, which deconvolves a recording of the sweep. The
// work itself is the measuring plugin's, loaded on first use.

// Before a Save of a measurement sweep at sweepPath: false when the person would rather keep a
// file of another program's, or of another sweep's, at the name the inverse filter would take
// (they are asked, as the save dialog asks about the sweep's own name).
bool MayWriteInverseFilter(QWidget *window, const QString &sweepPath);

// After the sweep is saved: writes its inverse filter beside it and keeps its path for Make
// Impulse Response. Its path, or nothing when the sweep was no measurement sweep. Throws a
// Failure when it cannot be written; a file of that name is then as it was.
std::optional<QString> WriteInverseFilter(InputStore &store, const QString &sweepPath, const ToneRequest &request,
                                          const OutputOptions &options);

// Make Impulse Response…: asks for the recording and the inverse filter, and writes the response
// beside the recording with the window's title showing how far it has got. Every outcome is told
// in a box.
void MakeImpulseResponse(QWidget *window, InputStore &store);

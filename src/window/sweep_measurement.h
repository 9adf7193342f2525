// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plugins/measure_plugin.h"
#include "core/tone/output_options.h"
#include "core/tone/tone.h"

#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

class InputStore;
class QWidget;
class StatusLine;

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
std::optional<QString> WriteInverseFilter(InputStore &store, const QString &sweepPath, const Tone &tone,
                                          const OutputOptions &options);

// Make Impulse Response…, with its progress in the title and the status line, where Cancel stops it.
class SweepMeasurement
{
public:
    SweepMeasurement(QWidget *window, InputStore &store, StatusLine &status);
    ~SweepMeasurement();
    SweepMeasurement(const SweepMeasurement &) = delete;
    SweepMeasurement &operator=(const SweepMeasurement &) = delete;

    // Asks for the recording and the inverse filter, and for leave to replace a file of another's
    // at the response's name, then writes the response beside the recording. Every outcome is told
    // in a box.
    void makeImpulseResponse();
    // Measure…: with the measurement sweep the fields and options make, asks for a folder and
    // keeps there, named by the date and time, the sweep and its inverse filter, a recording of the
    // input while the sweep plays on the output (from before it starts to after its silence), and
    // the response; then shows the response. Says plainly when the recording started after the
    // sweep, clips, or holds no sweep. Every outcome is told in a box.
    void measure(const ToneRequest &request, const OutputOptions &options, const QString &outputId,
                 const QString &inputId);
    // Cancel beside the progress: the work stops and leaves nothing behind ("Cancelled.").
    void cancel();
    // The window closes: the work stops, and its private file goes, before the program ends.
    void stop();

    // A response was made, and its message told: to be shown now (after Measure…), or when the
    // tone window opens.
    std::function<void(const QString &path, bool show)> responseMade;

private:
    // Deconvolves on a thread of its own while the window's events go on; rethrows what the work
    // threw. The response is put in place only when whole.
    ImpulseResponseMade respond(const QString &recording, const QString &inverse, const QString &output);

    QWidget *m_window;
    InputStore &m_store;
    StatusLine &m_status;
    // Plays the sweep while the input is recorded into the recording's file; why not, or nothing.
    std::optional<QString> playAndRecord(const QString &sweep, const QString &recording, int sampleRate,
                                         const QString &outputId, const QString &inputId);

    std::atomic<bool> m_cancel = false;
    bool m_playing = false;
    std::thread m_worker;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/output_options.h"
#include "core/synth_run.h"
#include "core/tone_request.h"

#include <QString>
#include <functional>
#include <optional>

class CommandSteps;
class QElapsedTimer;
class QWidget;
struct TonePlan;

// A tone that Save or Preview made: where it is, and what it was made from.
struct MadeTone
{
    QString path;
    ToneRequest request;
    OutputOptions options;
};

// Makes the tone that the window's inputs and options describe, for Save and Preview: checks the
// fields, deploys the tool files, reads the inputs, builds the command, runs it with its progress
// in the window's title, and judges what it left behind. Each command keeps its own numbered
// statements; the tone maker runs them with the numbers it is given.
class ToneMaker
{
public:
    // The statements of one command that make a tone, with the line number each one reports.
    struct Lines
    {
        qint32 deploy;     // the first of the tool files' deployment lines
        qint32 toolPart;   // the tool's path
        qint32 outputPath; // the preview's path, or 0 when the command already has its output
        qint32 arguments;  // reading the inputs into the tool's arguments
        qint32 join;       // the whole command line
        qint32 run;        // running the tool until it ends
    };

    // The window shows the progress in its title; the two readers give the inputs and options as
    // they stand when called.
    ToneMaker(QWidget *window, std::function<ToneRequest()> currentRequest,
              std::function<OutputOptions()> currentOptions);

    // The reminder for a field that does not fit what the tool may be given, or for options that
    // cannot make the tone, or nothing.
    std::optional<QString> reminder() const;
    // Deploys the tool files, reads the inputs, builds the command and runs it; a preview's path is
    // chosen on the way. A level that needs the tone measured first gets a run of its own before;
    // when it does not fit, nothing is made and the run holds the reminder. The caller removes the
    // tool files and judges.
    SynthRun make(CommandSteps &steps, const Lines &lines, QString &outputPath);
    // Why the run did not leave the whole tone at the path, or an empty text when it did (and
    // then the tone counts as made).
    QString judge(const SynthRun &run, const QString &outputPath);

    // The last tone made, and what hears of each one (the tone window).
    const std::optional<MadeTone> &lastMade() const { return m_lastMade; }
    std::function<void(const MadeTone &)> toneMade;

private:
    // Shows in the title how far the tone has got, once it takes more than a second on the clock
    // (which counts a measuring run too); a measuring run has no output path.
    std::function<void(qint64 writtenBytes)> progressReporter(const QElapsedTimer &clock, const QString &outputPath,
                                                              const ToneRequest &request, const TonePlan &plan);

    QWidget *m_window;
    std::function<ToneRequest()> m_currentRequest;
    std::function<OutputOptions()> m_currentOptions;
    OutputOptions m_madeWith; // the options of the last run, which may have changed since
    std::optional<MadeTone> m_lastMade;
};

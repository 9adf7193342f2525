// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/job/tone_job.h"
#include "core/run/synth_run.h"
#include "core/tone/output_options.h"
#include "core/tone/tone.h"
#include "core/tone/tone_request.h"

#include <QString>
#include <functional>
#include <optional>

class CommandSteps;
class QWidget;

// A tone that Save or Preview made: where it is, and what it was made from.
struct MadeTone
{
    QString path;
    Tone tone; // nothing of a file that was not made here
    OutputOptions options;
};

// Makes the tone that the window's inputs and options describe, for Save and Preview: checks the
// fields, deploys the tool files, reads the inputs, builds the command, runs it with its progress
// in the window's title, and judges what it left behind. Each command keeps its own numbered
// statements; the tone maker runs them with the numbers it is given. The making itself is the
// core's (MakeTone), which the command line shares.
class ToneMaker
{
public:
    // The statements of one command that make a tone, with the line number each one reports.
    using Lines = ToneJobLines;

    // How far a Save has got: the share written when it can be known, and the words for it.
    using ProgressShown = std::function<void(std::optional<int> percent, const QString &text)>;

    // The window shows the progress in its title; the two readers give the inputs and options as
    // they stand when called.
    ToneMaker(QWidget *window, std::function<ToneRequest()> currentRequest,
              std::function<OutputOptions()> currentOptions);

    // Where a Save's progress is shown besides the title, from its start.
    void showSaveProgress(ProgressShown shown) { m_saveProgress = std::move(shown); }

    // The reminder for a field that does not fit what the tool may be given, or for options that
    // cannot make the tone, or nothing. The inputs are read and planned for it; a tone made next of
    // the same inputs takes that plan.
    std::optional<ToneRefusal> reminder();
    // Deploys the tool files, reads the inputs, builds the command and runs it; a preview's path is
    // chosen on the way. A level that needs the tone measured first gets a run of its own before;
    // when it does not fit, nothing is made and the run holds the reminder. The caller removes the
    // tool files and judges.
    SynthRun make(CommandSteps &steps, const Lines &lines, QString &outputPath, bool saving = false);
    // The plan of the inputs that reminder() last read.
    const TonePlan &checkedPlan() const { return m_checked->plan; }
    // Stops the tool that makes the tone; the run then makes nothing.
    void cancel();
    // Whether the person cancelled while the last tone was made.
    bool cancelled() const { return m_cancelled; }
    // Why the run did not leave the whole tone at the path, or an empty text when it did (and
    // then the tone counts as made).
    QString judge(const SynthRun &run, const QString &outputPath);
    // What the last tone made holds, read back from its file, for the line under "Done."; empty
    // when the file cannot be read back.
    QString describeWritten(const SynthRun &run, const QString &outputPath) const;

    // The last tone made, and what hears of each one (the tone window).
    const std::optional<MadeTone> &lastMade() const { return m_lastMade; }
    std::function<void(const MadeTone &)> toneMade;

private:
    QWidget *m_window;
    std::function<ToneRequest()> m_currentRequest;
    std::function<OutputOptions()> m_currentOptions;
    OutputOptions m_madeWith;             // the options of the last run, which may have changed since
    std::optional<PlannedTone> m_checked; // the inputs as the reminder read and planned them
    std::optional<MadeTone> m_lastMade;
    ProgressShown m_saveProgress;
    bool m_cancelled = false;
};

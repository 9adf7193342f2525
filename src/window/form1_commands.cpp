// SPDX-License-Identifier: GPL-3.0-or-later

// The two commands that make a tone: Save writes it where the user chooses, Preview writes it
// into the program's private working folder and plays it. Both make it with the tone maker,
// each with its own numbered statements.

#include "build_config.h"
#include "core/failure.h"
#include "core/run/output_target.h"
#include "core/run/tool_files.h"
#include "core/sound/live_plan.h"
#include "core/sound/playback.h"
#include "services/dialogs.h"
#include "services/guard.h"
#include "window/form1.h"
#include "window/options_menu.h"
#include "window/status_line.h"
#include "window/sweep_measurement.h"
#include "window/tone_maker.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

QString SupportLine()
{
    return u"Please email "_s + QString::fromUtf16(BuildConfig::SupportEmail);
}

// Wave first, then the other formats the tool writes that people ask for, then anything.
const QString SaveFilter = u"Wave Files (*.wav)|*.wav|FLAC Files (*.flac)|*.flac|Ogg Vorbis Files (*.ogg)|*.ogg|"
                           "AIFF Files (*.aiff *.aif)|*.aiff;*.aif|AU Files (*.au)|*.au|All Files (*)|*|"_s;

} // namespace

// Numbered statements, in the order the command runs them.
// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity)
void Form1::PushButton2_Click()
{
    Guard g(Locations::PushButton2Click);
    QString dialogFileName;
    QString dialogFilter;
    QString outputPath;
    SynthRun run;
    QString problem;
    std::optional<ToneRefusal> reminder;
    std::optional<QString> inversePath;
    std::optional<QString> empty;

    if (g.test(106, [&] { return CommandBusy; }))
        return;
    g.step(108, [&] { CommandBusy = true; });
    // An empty field is told of before anything is read, the length first.
    const auto emptyField = [&] {
        return EmptyFieldReminder(MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text()),
                                  EmptyFrequencies::Forgotten);
    };
    if (g.test(110, [&] { return (empty = emptyField()) == std::optional(ForgotLengthReminder); })) {
        g.step(184, [&] { CurrentDialogs().message(this, ForgotLengthReminder); });
    } else if (g.test(112, [&] { return empty.has_value(); })) {
        g.step(182, [&] { CurrentDialogs().message(this, ForgotFrequenciesReminder); });
    } else if (g.test(113, [&] { return (reminder = m_toneMaker->reminder()).has_value(); })) {
        g.step(185, [&] { showReminder(reminder.value()); });
    } else {
        g.step(114, [&] { dialogFileName.clear(); });
        g.step(116, [&] { dialogFilter = SaveFilter; });
        g.step(118, [&] { dialogFileName = CurrentDialogs().saveFileName(this, dialogFilter); });
        g.step(120, [&] { outputPath = dialogFileName; });
        // A name that the tool cannot take for a sound file ("All Files" adds no extension) gets
        // its reminder before anything runs.
        g.step(120, [&] {
            if (const std::optional<QString> nameReminder =
                    outputPath.isEmpty() ? std::nullopt : OutputNameReminder(outputPath)) {
                CurrentDialogs().message(this, *nameReminder);
                outputPath.clear();
            }
        });
        // A measurement sweep's inverse filter goes beside it, with the same care for what is there.
        g.step(121, [&] {
            if (!outputPath.isEmpty() && Options->options().measurementSweep() &&
                !MayWriteInverseFilter(this, outputPath))
                outputPath.clear();
        });
        if (!g.test(122, [&] { return outputPath.isEmpty(); })) {
            g.step(124, [&] { setPointerState(PointerState::Busy); });
            // The tool writes beside the chosen name until the tone is whole: a Save that is
            // cancelled leaves a file of that name as it was.
            run = m_toneMaker->make(
                g, {.deploy = 126, .toolPart = 156, .outputPath = 0, .arguments = 158, .join = 160, .run = 162},
                outputPath, true);
            g.step(162, [&] { Status->hideProgress(); });
            RemoveToolFiles(g, 164);
            g.step(174, [&] { setPointerState(PointerState::Default); });
            // A Cancel that came when the tone was whole all the same is too late: it is "Done.".
            if (g.test(173, [&] { return m_toneMaker->cancelled() && !SynthRunProblem(run, outputPath).isEmpty(); })) {
                g.step(181, [&] { CurrentDialogs().message(this, u"Cancelled."_s); });
                // A level that turned out not to fit, once the tone was measured: nothing was made.
            } else if (g.test(175, [&] { return run.reminder.has_value(); })) {
                g.step(177, [&] { CurrentDialogs().message(this, run.reminder.value()); });
                // A failure while judging the outcome never turns into "Done.".
            } else if (g.test(176, [&] { return !(problem = m_toneMaker->judge(run, outputPath)).isEmpty(); })) {
                g.step(180,
                       [&] { CurrentDialogs().message(this, u"Failed to save tone.\r\n"_s + SupportLine(), problem); });
            } else {
                g.step(178, [&] {
                    QString inverseProblem;
                    try {
                        inversePath =
                            WriteInverseFilter(*m_inputs, outputPath, run.tone, m_toneMaker->lastMade()->options);
                    } catch (const std::exception &error) {
                        inverseProblem = DescribeException(error);
                    }
                    // What was written, as the file itself says.
                    const QString written = m_toneMaker->describeWritten(run, outputPath);
                    QString done = written.isEmpty() ? u"Done."_s : u"Done.\r\n"_s + written;
                    if (inversePath)
                        done += u"\r\nSweep: %1\r\nInverse filter: %2"_s.arg(outputPath, *inversePath);
                    else if (!inverseProblem.isEmpty())
                        done += u"\r\nThe inverse filter was not written: "_s + inverseProblem;
                    CurrentDialogs().message(this, done);
                });
            }
        }
    }
    g.step(186, [&] { CommandBusy = false; });
}

void Form1::PushButton7_Click()
{
    m_toneMaker->cancel();
    m_measurement->cancel();
}

void Form1::PushButton3_Click()
{
    Guard g(Locations::PushButton3Click);
    QString previewPath;
    SynthRun run;
    // Until the run is judged it counts as failed, so no failure on the way is ever taken for a tone.
    QString problem = u"The tone was not made."_s;
    std::optional<ToneRefusal> reminder;

    // While its sound plays the button reads Stop Tone, and stops it.
    if (IsSoundPlaying() && PushButton3->text() == StopToneCaption) {
        Options->stopSound();
        showWhetherPlaying();
        return;
    }
    if (g.test(100, [&] { return CommandBusy; }))
        return;
    g.step(102, [&] { CommandBusy = true; });
    if (g.test(103, [&] { return (reminder = m_toneMaker->reminder()).has_value(); })) {
        g.step(163, [&] { showReminder(reminder.value()); });
    } else if (g.test(105, [&] { return playLive(); })) {
        g.step(107, [&] {
            showWhetherPlaying();
            m_soundWatch.start();
        });
    } else {
        g.step(104, [&] { setPointerState(PointerState::Busy); });
        run = m_toneMaker->make(
            g, {.deploy = 106, .toolPart = 136, .outputPath = 138, .arguments = 140, .join = 142, .run = 144},
            previewPath);
        // A preview left by an earlier run is never played in place of one that failed.
        g.step(146, [&] {
            problem = m_toneMaker->judge(run, previewPath);
            if (problem.isEmpty()) {
                const OutputOptions &options = Options->options();
                m_playingWords = options.loopPreview() ? LoopText : PlayingText;
                m_turns.reset();
                if (options.channelsInTurn() && !run.tone.twoSides() && run.tone.layout.sampleRate > 0)
                    m_turns = {options.channelMap(), double(run.tone.samples) / run.tone.layout.sampleRate};
                Options->playPreview(previewPath);
                showWhetherPlaying();
                m_soundWatch.start();
            }
        });
        g.step(148, [&] { setPointerState(PointerState::Default); });
        if (g.test(149, [&] { return run.reminder.has_value(); })) {
            g.step(153, [&] { CurrentDialogs().message(this, run.reminder.value()); });
        } else if (g.test(150, [&] { return !problem.isEmpty(); })) {
            // No cut-short file stays behind, however large it grew.
            g.step(151, [&] { DeleteFileQuiet(previewPath); });
            g.step(152, [&] {
                CurrentDialogs().message(this, u"Failed to generate tone.\r\n"_s + SupportLine() + u'.', problem);
            });
        }
        RemoveToolFiles(g, 154);
    }
    g.step(164, [&] { CommandBusy = false; });
}

bool Form1::playLive()
{
    if (!Options->options().loopPreview())
        return false;
    const LivePlan live = LiveToneOf(m_toneMaker->checkedPlan());
    if (!live.tone)
        return false;
    m_liveOutput = Options->outputDevice();
    m_playingWords = LiveText;
    m_turns.reset();
    m_live = Options->playLive(*live.tone);
    return true;
}

void Form1::followLive()
{
    if (!m_live || !IsSoundPlaying())
        return;
    m_playingWords = changeLive();
    Status->setPlaying(m_playingWords);
}

QString Form1::changeLive()
{
    if (m_toneMaker->reminder())
        return LiveKeptText;
    const LivePlan live = LiveToneOf(m_toneMaker->checkedPlan());
    if (!live.tone)
        return live.changes ? LiveNotSteadyText : LiveKeptText;
    // Another output: the tone fades out where it played and in on the new one.
    if (Options->outputDevice() != m_liveOutput) {
        m_liveOutput = Options->outputDevice();
        m_live = Options->playLive(*live.tone);
    } else {
        ChangeLiveTone(*live.tone);
    }
    return LiveText;
}

void Form1::MakeImpulseResponse()
{
    if (CommandBusy)
        return;
    CommandBusy = true;
    setPointerState(PointerState::Busy);
    m_measurement->makeImpulseResponse();
    setPointerState(PointerState::Default);
    CommandBusy = false;
}

void Form1::Measure()
{
    if (CommandBusy)
        return;
    CommandBusy = true;
    setPointerState(PointerState::Busy);
    m_measurement->measure(MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text()), Options->options(),
                           Options->outputDevice(), Options->inputDevice());
    setPointerState(PointerState::Default);
    CommandBusy = false;
}

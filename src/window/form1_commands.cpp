// SPDX-License-Identifier: GPL-3.0-or-later

// The two commands that make a tone: Save writes it where the user chooses, Preview writes it
// into the program's private working folder and plays it. Both run the sound tool from the
// embedded tool files, through the one routine below.

#include "build_config.h"
#include "core/field_grammar.h"
#include "core/playback.h"
#include "core/synth_command.h"
#include "core/synth_run.h"
#include "core/temp_folder.h"
#include "core/tone_progress.h"
#include "core/tool_files.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "services/guard.h"
#include "window/form1.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcCommands, "quorvane.commands", QtWarningMsg)

namespace {

QString SupportLine()
{
    return u"Please email "_s + QString::fromUtf16(BuildConfig::SupportEmail);
}

} // namespace

SynthRun Form1::makeTone(Guard &g, const ToneLines &lines, QString &outputPath)
{
    SynthToolPart toolPart;
    ToneRequest request;
    SynthArgumentPart argumentPart;
    SynthCommand command;
    OutputOptions options;
    SynthRun run;

    DeployToolFiles(g, lines.deploy);
    g.step(lines.toolPart, [&] { toolPart = BuildSynthToolPart(); });
    if (lines.outputPath != 0)
        g.step(lines.outputPath, [&] { outputPath = FreshPreviewPath(); });
    // The inputs are read now, after deployment: edits made until here count.
    g.step(lines.arguments, [&] {
        request = currentRequest();
        options = outputOptions();
        argumentPart = BuildSynthArgumentPart(outputPath, request, options);
    });
    g.step(lines.join, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(lines.run, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, request, progressReporter(outputPath, request, options));
    });
    // However the run ended, the title is the program's own again.
    g.step(lines.run, [&] { setWindowTitle(ProgramName); });
    return run;
}

std::function<void()> Form1::progressReporter(const QString &outputPath, const ToneRequest &request,
                                              const OutputOptions &options)
{
    const int rate = options.sampleRate();
    std::optional<double> seconds;
    if (const std::optional<ToneLength> length = ParseLength(request.Length))
        seconds = length->secondsAt(rate);
    const ToneShape shape{seconds, rate, options.bitsPerSample(), options.channelCount()};
    const std::optional<qint64> expectedBytes = ExpectedSoundBytes(outputPath, shape);
    QElapsedTimer clock;
    clock.start();
    return [this, outputPath, expectedBytes, clock] {
        if (const auto progress = ToneProgressText(clock.elapsed(), QFileInfo(outputPath).size(), expectedBytes))
            setWindowTitle(ProgramName + u" – "_s + *progress);
    };
}

ToneRequest Form1::currentRequest() const
{
    return MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text());
}

std::optional<QString> Form1::grammarReminder() const
{
    return ToneGrammarReminder(currentRequest(), m_outputOptions.sampleRate());
}

void Form1::PushButton2_Click()
{
    Guard g(Locations::PushButton2Click);
    QString dialogFileName;
    QString dialogFilter;
    QString outputPath;
    SynthRun run;
    QString problem;
    std::optional<QString> reminder;

    if (g.test(106, [&] { return CommandBusy; }))
        return;
    g.step(108, [&] { CommandBusy = true; });
    if (g.test(110, [&] { return Text1->text().isEmpty(); })) {
        g.step(184, [&] { showMessage(u"You forgot to input length of audio."_s); });
    } else if (g.test(112, [&] { return Text2->text().isEmpty(); })) {
        g.step(182, [&] { showMessage(u"You forgot to input frequencies."_s); });
    } else if (g.test(113, [&] { return (reminder = grammarReminder()).has_value(); })) {
        g.step(185, [&] { showMessage(reminder.value()); });
    } else {
        g.step(114, [&] { dialogFileName.clear(); });
        g.step(116, [&] { dialogFilter = u"Wave Files (*.wav)|*.wav|"_s; });
        g.step(118, [&] { dialogFileName = CurrentDialogs().saveFileName(this, dialogFilter); });
        g.step(120, [&] { outputPath = dialogFileName; });
        if (!g.test(122, [&] { return outputPath.isEmpty(); })) {
            g.step(124, [&] { setPointerState(PointerState::Busy); });
            run = makeTone(g,
                           {.deploy = 126, .toolPart = 156, .outputPath = 0, .arguments = 158, .join = 160, .run = 162},
                           outputPath);
            RemoveToolFiles(g, 164);
            g.step(174, [&] { setPointerState(PointerState::Default); });
            // A failure while judging the outcome never turns into "Done.".
            if (g.test(176, [&] { return !(problem = SynthRunProblem(run, outputPath)).isEmpty(); })) {
                g.step(180, [&] { showMessage(u"Failed to save tone.\r\n"_s + SupportLine(), problem); });
            } else {
                g.step(178, [&] { showMessage(u"Done."_s); });
            }
        }
    }
    g.step(186, [&] { CommandBusy = false; });
}

void Form1::PushButton3_Click()
{
    Guard g(Locations::PushButton3Click);
    QString previewPath;
    SynthRun run;
    // Until the run is judged it counts as failed, so no failure on the way is ever taken for a tone.
    QString problem = u"The tone was not made."_s;
    std::optional<QString> reminder;

    if (g.test(100, [&] { return CommandBusy; }))
        return;
    g.step(102, [&] { CommandBusy = true; });
    if (g.test(103, [&] { return (reminder = grammarReminder()).has_value(); })) {
        g.step(163, [&] { showMessage(reminder.value()); });
    } else {
        g.step(104, [&] { setPointerState(PointerState::Busy); });
        run =
            makeTone(g, {.deploy = 106, .toolPart = 136, .outputPath = 138, .arguments = 140, .join = 142, .run = 144},
                     previewPath);
        // A preview left by an earlier run is never played in place of one that failed.
        g.step(146, [&] {
            problem = SynthRunProblem(run, previewPath);
            if (problem.isEmpty())
                PlayWaveFile(previewPath, false, outputOptions().loopPreview());
        });
        g.step(148, [&] { setPointerState(PointerState::Default); });
        if (g.test(150, [&] { return !problem.isEmpty(); })) {
            // No cut-short file stays behind, however large it grew.
            g.step(151, [&] { DeleteFileQuiet(previewPath); });
            g.step(152, [&] { showMessage(u"Failed to generate tone.\r\n"_s + SupportLine() + u'.', problem); });
        }
        RemoveToolFiles(g, 154);
    }
    g.step(164, [&] { CommandBusy = false; });
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_maker.h"

#include "core/command_steps.h"
#include "core/field_grammar.h"
#include "core/synth_command.h"
#include "core/temp_folder.h"
#include "core/tone_progress.h"
#include "core/tool_files.h"
#include "services/app_title.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcCommands, "quorvane.commands", QtWarningMsg)

ToneMaker::ToneMaker(QWidget *window, std::function<ToneRequest()> currentRequest,
                     std::function<OutputOptions()> currentOptions)
    : m_window(window), m_currentRequest(std::move(currentRequest)), m_currentOptions(std::move(currentOptions))
{
}

std::optional<QString> ToneMaker::reminder() const
{
    const OutputOptions options = m_currentOptions();
    return ToneGrammarReminder(m_currentRequest(),
                               SampleLayout{options.sampleRate(), options.bitsPerSample(), options.channelCount()});
}

SynthRun ToneMaker::make(CommandSteps &g, const Lines &lines, QString &outputPath)
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
        request = m_currentRequest();
        options = m_currentOptions();
        argumentPart = BuildSynthArgumentPart(outputPath, request, options);
    });
    g.step(lines.join, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(lines.run, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, request, progressReporter(outputPath, request, options));
    });
    // However the run ended, the title is the program's own again.
    g.step(lines.run, [&] { m_window->setWindowTitle(ProgramName); });
    return run;
}

QString ToneMaker::judge(const SynthRun &run, const QString &outputPath)
{
    return SynthRunProblem(run, outputPath);
}

std::function<void()> ToneMaker::progressReporter(const QString &outputPath, const ToneRequest &request,
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
    return [window = m_window, outputPath, expectedBytes, clock] {
        if (const auto progress = ToneProgressText(clock.elapsed(), QFileInfo(outputPath).size(), expectedBytes))
            window->setWindowTitle(ProgramName + u" – "_s + *progress);
    };
}

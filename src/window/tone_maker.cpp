// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_maker.h"

#include "core/command_steps.h"
#include "core/field_grammar.h"
#include "core/synth_command.h"
#include "core/temp_folder.h"
#include "core/tone_plan.h"
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
    const ToneRequest request = m_currentRequest();
    const OutputOptions options = m_currentOptions();
    if (std::optional<QString> grammar = ToneGrammarReminder(
            request, SampleLayout{options.sampleRate(), options.bitsPerSample(), FileChannelCount(request, options)}))
        return grammar;
    return ToneOptionsReminder(request, options);
}

SynthRun ToneMaker::make(CommandSteps &g, const Lines &lines, QString &outputPath)
{
    SynthToolPart toolPart;
    ToneRequest request;
    TonePlan plan;
    SynthArgumentPart argumentPart;
    SynthCommand command;
    OutputOptions options;
    SynthRun run;
    QString measuring;
    QElapsedTimer clock;

    DeployToolFiles(g, lines.deploy);
    g.step(lines.toolPart, [&] { toolPart = BuildSynthToolPart(); });
    if (lines.outputPath != 0)
        g.step(lines.outputPath, [&] { outputPath = FreshPreviewPath(); });
    // The inputs are read now, after deployment: edits made until here count.
    g.step(lines.arguments, [&] {
        request = m_currentRequest();
        options = m_currentOptions();
        m_madeWith = options;
        plan = PlanTone(request, options);
        clock.start();
    });
    // A level that only the tone itself can tell (a noise's) is measured by a run of its own first.
    if (plan.measured) {
        g.step(lines.run, [&] {
            qCInfo(lcCommands).noquote() << "Measuring"
                                         << MeasuringArguments(plan, PipedInputs(plan, toolPart.program)).join(u' ');
            measuring = MeasureTone(toolPart, plan, request,
                                    [report = progressReporter(clock, QString(), request, plan)] { report(0); });
        });
    }
    // Nothing is made when the measuring failed or the level does not fit.
    if (!measuring.isEmpty() || plan.measured || plan.reminder) {
        run.request = request;
        run.exitCode = StartFailureOffset;
        run.reminder = plan.reminder;
        run.details.errorOutput =
            plan.reminder.value_or(measuring.isEmpty() ? u"The tone's level was not measured."_s : measuring);
        g.step(lines.run, [&] { m_window->setWindowTitle(ProgramName); });
        return run;
    }
    g.step(lines.arguments, [&] { argumentPart = BuildSynthArgumentPart(outputPath, request, plan); });
    g.step(lines.join, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(lines.run, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, request, progressReporter(clock, outputPath, request, plan));
    });
    // However the run ended, the title is the program's own again.
    g.step(lines.run, [&] { m_window->setWindowTitle(ProgramName); });
    return run;
}

QString ToneMaker::judge(const SynthRun &run, const QString &outputPath)
{
    QString problem = SynthRunProblem(run, outputPath);
    if (problem.isEmpty()) {
        m_lastMade = MadeTone{outputPath, run.request, m_madeWith};
        if (toneMade)
            toneMade(*m_lastMade);
    }
    return problem;
}

std::function<void(qint64 writtenBytes)> ToneMaker::progressReporter(const QElapsedTimer &clock,
                                                                     const QString &outputPath,
                                                                     const ToneRequest &request, const TonePlan &plan)
{
    const int rate = plan.sampleRate;
    std::optional<double> seconds;
    if (const std::optional<ToneLength> length = ParseLength(request.Length))
        seconds = length->secondsAt(rate);
    const ToneShape shape{seconds, rate, plan.bitsPerSample, plan.channelCount, plan.buffered};
    // A measuring run writes no file: its time is shown.
    const std::optional<qint64> expectedBytes =
        outputPath.isEmpty() ? std::nullopt : ExpectedSoundBytes(outputPath, shape);
    return [window = m_window, expectedBytes, clock](qint64 writtenBytes) {
        if (const auto progress = ToneProgressText(clock.elapsed(), writtenBytes, expectedBytes))
            window->setWindowTitle(ProgramName + u" – "_s + *progress);
    };
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/tone_job.h"

#include "core/run/command_steps.h"
#include "core/run/temp_folder.h"
#include "core/run/tone_progress.h"
#include "core/run/tool_files.h"
#include "core/sox/plan_words.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcCommands, "quorvane.commands", QtWarningMsg)

namespace {

// Reports how far the tone has got, measured on the clock (which counts a measuring run too); a
// measuring run has no output path, so its time is reported.
std::function<void(qint64 writtenBytes)> ProgressReporter(const ToneJobProgress &progress, const QElapsedTimer &clock,
                                                          const QString &outputPath, const TonePlan &plan)
{
    if (!progress)
        return {};
    const ToneShape shape{double(plan.frames) / plan.layout.sampleRate, plan.layout, plan.buffered()};
    const std::optional<qint64> expectedBytes =
        outputPath.isEmpty() ? std::nullopt : ExpectedSoundBytes(outputPath, shape);
    return [progress, expectedBytes, clock](qint64 writtenBytes) {
        if (const auto text = ToneProgressText(clock.elapsed(), writtenBytes, expectedBytes))
            progress(text);
    };
}

// A periodic noise's period is the program's own: the tool reads it from beside itself.
void WritePeriod(CommandSteps &g, qint32 line, const TonePlan &plan, const QString &program)
{
    if (const NoisePeriodSource *period = plan.periodRead()) {
        g.step(line, [&] {
            WriteResourceFile(PeriodWaveFile(*period->design, plan.layout.sampleRate), PeriodFileBeside(program));
        });
    }
}

} // namespace

std::optional<ToneRefusal> PlannedTone::refusal() const
{
    if (reading.refusal)
        return reading.refusal;
    if (plan.reminder)
        return ToneRefusal{*plan.reminder, std::nullopt, std::nullopt};
    return std::nullopt;
}

PlannedTone PlanInputs(const ToneRequest &request, const OutputOptions &options)
{
    PlannedTone planned{request, options, ReadTone(request, options), {}};
    if (!planned.reading.refusal)
        planned.plan = PlanTone(planned.reading.tone, options);
    return planned;
}

SynthRun MakeTone(CommandSteps &g, const ToneJobLines &lines, QString &outputPath,
                  const std::function<PlannedTone()> &readInputs, const ToneJobProgress &progress)
{
    SynthToolPart toolPart;
    PlannedTone inputs;
    SynthArgumentPart argumentPart;
    SynthCommand command;
    SynthRun run;
    QString measuring;
    QElapsedTimer clock;
    const auto ended = [&] {
        if (progress)
            progress(std::nullopt);
    };

    DeployToolFiles(g, lines.deploy);
    g.step(lines.toolPart, [&] { toolPart = BuildSynthToolPart(); });
    if (lines.outputPath != 0)
        g.step(lines.outputPath, [&] { outputPath = FreshPreviewPath(); });
    // The inputs are read now, after deployment: edits made until here count.
    g.step(lines.arguments, [&] {
        inputs = readInputs();
        clock.start();
    });
    TonePlan &plan = inputs.plan;
    const std::optional<ToneRefusal> refusal = inputs.refusal();
    // A level that only the tone itself can tell (a noise's) is measured by a run of its own first.
    if (!refusal && plan.measured()) {
        g.step(lines.run, [&] {
            qCInfo(lcCommands).noquote() << "Measuring" << MeasuringArguments(plan, toolPart.program).join(u' ');
            measuring = MeasureTone(toolPart, plan, [report = ProgressReporter(progress, clock, {}, plan)] {
                if (report)
                    report(0);
            });
        });
    }
    // Nothing is made when the measuring failed or the level does not fit.
    const std::optional<QString> reminder = refusal ? std::optional(refusal->reminder) : plan.reminder;
    if (!measuring.isEmpty() || plan.measured() || reminder) {
        run.tone = inputs.reading.tone;
        run.exitCode = StartFailureOffset;
        run.reminder = reminder;
        run.details.errorOutput =
            reminder.value_or(measuring.isEmpty() ? u"The tone's level was not measured."_s : measuring);
        g.step(lines.run, ended);
        return run;
    }
    WritePeriod(g, lines.arguments, plan, toolPart.program);
    g.step(lines.arguments, [&] { argumentPart = BuildSynthArgumentPart(outputPath, plan, toolPart.program); });
    g.step(lines.join, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(lines.run, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, ProgressReporter(progress, clock, outputPath, plan));
        run.tone = inputs.reading.tone;
        if (plan.periodRead()) // it has done its work
            DeleteFileQuiet(PeriodFileBeside(toolPart.program));
    });
    // However the run ended, the progress is over.
    g.step(lines.run, ended);
    return run;
}

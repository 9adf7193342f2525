// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/tone_job.h"

#include "core/plan/synth_command.h"
#include "core/plan/tone_plan.h"
#include "core/run/command_steps.h"
#include "core/run/temp_folder.h"
#include "core/run/tone_progress.h"
#include "core/run/tool_files.h"
#include "core/tone/field_grammar.h"

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
    const ToneShape shape{double(plan.frames) / plan.layout.sampleRate, plan.layout, plan.buffered};
    const std::optional<qint64> expectedBytes =
        outputPath.isEmpty() ? std::nullopt : ExpectedSoundBytes(outputPath, shape);
    return [progress, expectedBytes, clock](qint64 writtenBytes) {
        if (const auto text = ToneProgressText(clock.elapsed(), writtenBytes, expectedBytes))
            progress(text);
    };
}

} // namespace

std::optional<QString> ToneReminder(const ToneRequest &request, const OutputOptions &options)
{
    const ToneReading reading = ReadTone(request, options);
    return reading.tone ? PlanTone(*reading.tone, options).reminder : reading.reminder;
}

QString CopyableSoxCommand(const ToneRequest &request, const OutputOptions &options)
{
    const ToneReading reading = ReadTone(request, options);
    return CopyableSoxCommand(reading.tone ? PlanTone(*reading.tone, options) : PlanAsTyped(request, options));
}

SynthRun MakeTone(CommandSteps &g, const ToneJobLines &lines, QString &outputPath,
                  const std::function<ToneJobInputs()> &readInputs, const ToneJobProgress &progress)
{
    SynthToolPart toolPart;
    ToneJobInputs inputs;
    TonePlan plan;
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
        const ToneReading reading = ReadTone(inputs.request, inputs.options);
        plan = reading.tone ? PlanTone(*reading.tone, inputs.options) : TonePlan{};
        plan.reminder = reading.tone ? plan.reminder : reading.reminder;
        clock.start();
    });
    const ToneRequest &request = inputs.request;
    // A level that only the tone itself can tell (a noise's) is measured by a run of its own first.
    if (plan.measured) {
        g.step(lines.run, [&] {
            qCInfo(lcCommands).noquote() << "Measuring"
                                         << MeasuringArguments(plan, PipedInputs(plan, toolPart.program)).join(u' ');
            measuring = MeasureTone(toolPart, plan, [report = ProgressReporter(progress, clock, {}, plan)] {
                if (report)
                    report(0);
            });
        });
    }
    // Nothing is made when the measuring failed or the level does not fit.
    if (!measuring.isEmpty() || plan.measured || plan.reminder) {
        run.request = request;
        run.exitCode = StartFailureOffset;
        run.reminder = plan.reminder;
        run.details.errorOutput =
            plan.reminder.value_or(measuring.isEmpty() ? u"The tone's level was not measured."_s : measuring);
        g.step(lines.run, ended);
        return run;
    }
    g.step(lines.arguments, [&] { argumentPart = BuildSynthArgumentPart(outputPath, plan, toolPart.program); });
    g.step(lines.join, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(lines.run, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, ProgressReporter(progress, clock, outputPath, plan));
        run.request = request;
    });
    // However the run ended, the progress is over.
    g.step(lines.run, ended);
    return run;
}

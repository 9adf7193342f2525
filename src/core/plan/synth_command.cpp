// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/synth_command.h"

#include "core/run/temp_folder.h"
#include "core/plan/tone_plan.h"
#include "core/run/tool_files.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

SynthToolPart BuildSynthToolPart()
{
    const QString program = ToolPath(ToolFiles[0]);
    return {u'"' + program + u'"', program};
}

SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const ToneRequest &request,
                                         const OutputOptions &options)
{
    return BuildSynthArgumentPart(outputPath, request, PlanTone(request, options));
}

SynthArgumentPart BuildSynthArgumentPart(const QString &chosenPath, const ToneRequest &request, const TonePlan &plan,
                                         const QString &pipedProgram)
{
    const QString outputPath = chosenPath.startsWith(u'-') ? u"./"_s + chosenPath : chosenPath;
    const QStringList effects = plan.effects();
    SynthArgumentPart part;
    part.sampleRate = plan.sampleRate;
    part.bitsPerSample = plan.bitsPerSample;
    part.channels = plan.channelCount;
    part.outputPath = outputPath;
    part.frames = plan.totalSamples;
    if (!plan.pipedTones.isEmpty() || !plan.steps.empty()) {
        const QString program = pipedProgram.isEmpty() ? ToolPath(ToolFiles[0]) : pipedProgram;
        const QStringList inputs = plan.steps.empty() ? PipedInputs(plan, program) : StepInputs(plan, program);
        part.arguments = plan.toolOptions + inputs + plan.outputOptions + QStringList{outputPath} + effects;
        part.outputArgument = int(plan.toolOptions.size() + inputs.size() + plan.outputOptions.size());
        QStringList shown;
        for (const QString &argument : part.arguments)
            shown << (argument == outputPath || argument.startsWith(u'|') ? u'"' + argument + u'"' : argument);
        part.text = shown.join(u' ');
        return part;
    }
    part.text = plan.toolOptions.join(u' ') + u" -n "_s + u'"' + outputPath + u'"' + u" synth "_s;
    // The plain command keeps the fields as they were typed, blanks and all.
    part.text +=
        plan.plain() ? request.Length + u' ' + request.Waveform + u' ' + request.Frequencies : plan.synth.join(u' ');
    if (!effects.isEmpty())
        part.text += u' ' + effects.join(u' ');
    const QStringList synth =
        plan.plain() ? FieldWords(request.Length) + FieldWords(request.Waveform) + FieldWords(request.Frequencies)
                     : plan.synth;
    part.arguments = plan.toolOptions + QStringList{u"-n"_s, outputPath, u"synth"_s} + synth + effects;
    part.outputArgument = int(plan.toolOptions.size() + 1);
    return part;
}

QStringList StepInputs(const TonePlan &plan, const QString &program)
{
    // Each step is an input the tool reads from a run of its own that writes the tool's own
    // format to its output ("-p"), the same command for a step as for a whole tone.
    QStringList inputs;
    for (const TonePlan &step : plan.steps) {
        SynthArgumentPart part = BuildSynthArgumentPart(u"step"_s, ToneRequest{}, step, program);
        part.arguments[part.outputArgument] = u"-p"_s;
        QStringList words{ShellQuoted(program)};
        for (const QString &argument : std::as_const(part.arguments))
            words << ShellQuoted(argument);
        inputs << u'|' + words.join(u' ');
    }
    return inputs;
}

QStringList PipedInputs(const TonePlan &plan, const QString &program)
{
    // Each tone made apart is an input the tool reads from a run of its own: "|" and that run's
    // command, which the tool hands to the shell, every word quoted.
    QStringList inputs;
    for (const QStringList &tone : plan.pipedTones) {
        QStringList words{ShellQuoted(program)};
        for (const QString &argument : tone)
            words << ShellQuoted(argument);
        inputs << u'|' + words.join(u' ');
    }
    return inputs;
}

SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments)
{
    return {tool.text + u' ' + arguments.text,
            tool.program,
            arguments.arguments,
            arguments.sampleRate,
            arguments.bitsPerSample,
            arguments.channels,
            arguments.outputPath,
            arguments.outputArgument,
            arguments.frames};
}

QString CopyableSoxCommand(const ToneRequest &request, const OutputOptions &options)
{
    const auto quoted = [](const QStringList &arguments) {
        QStringList words{u"sox"_s};
        for (const QString &argument : arguments)
            words << ShellQuoted(argument);
        return words.join(u' ');
    };
    TonePlan plan = PlanTone(request, options);
    if (!plan.measured)
        return quoted(BuildSynthArgumentPart(u"tone.wav"_s, request, plan, u"sox"_s).arguments);
    // The level comes from a measuring run: the shell makes it, then the tone, as the program does.
    // A run that fails, or a level that does not fit, leaves no gain, and the line stops there.
    const QString measuring = quoted(MeasuringArguments(plan, PipedInputs(plan, u"sox"_s)));
    const bool bySide = !plan.sidePeakTargets.isEmpty();
    plan.level = bySide ? QStringList{u"remix"_s, u"@GAIN@"_s} : QStringList{u"gain"_s, u"@GAIN@"_s};
    const QString making = quoted(BuildSynthArgumentPart(u"tone.wav"_s, request, plan, u"sox"_s).arguments);
    // A gain for each side is a word for each: the shell splits them apart.
    return u"g=$(%1 2>&1 | awk %2) && %3"_s.arg(measuring, ShellQuoted(MeasuredGainScript(plan)),
                                                QString(making).replace(u"@GAIN@"_s, bySide ? u"$g"_s : u"\"$g\""_s));
}

QString ShellQuoted(const QString &word)
{
    static const QRegularExpression literal(u"^[A-Za-z0-9_@%+=:,./-]+$"_s);
    if (literal.match(word).hasMatch())
        return word;
    // Nothing is special inside single quotes; a single quote itself ends them, is escaped, and
    // they begin again.
    return u'\'' + QString(word).replace(u"'"_s, u"'\\''"_s) + u'\'';
}

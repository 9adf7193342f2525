// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/synth_command.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

SynthArgumentPart BuildSynthArgumentPart(const QString &chosenPath, const TonePlan &plan, const QString &program)
{
    const QString outputPath = chosenPath.startsWith(u'-') ? u"./"_s + chosenPath : chosenPath;
    const QStringList effects = plan.effects();
    SynthArgumentPart part;
    part.layout = plan.layout;
    part.outputPath = outputPath;
    part.frames = plan.frames;
    if (!plan.pipedTones.isEmpty() || !plan.steps.empty()) {
        const QStringList inputs = plan.steps.empty() ? PipedInputs(plan, program) : StepInputs(plan, program);
        part.arguments = plan.toolOptions + inputs + plan.outputOptions + QStringList{outputPath} + effects;
        part.outputArgument = int(plan.toolOptions.size() + inputs.size() + plan.outputOptions.size());
        QStringList shown;
        for (const QString &argument : part.arguments)
            shown << (argument == outputPath || argument.startsWith(u'|') ? u'"' + argument + u'"' : argument);
        part.text = shown.join(u' ');
        return part;
    }
    // A command that the program adds nothing to keeps the fields as they were typed, blanks and all.
    part.text = plan.toolOptions.join(u' ') + u" -n "_s + u'"' + outputPath + u'"' + u" synth "_s +
                (plan.typedSynth.isEmpty() ? plan.synth.join(u' ') : plan.typedSynth);
    if (!effects.isEmpty())
        part.text += u' ' + effects.join(u' ');
    part.arguments = plan.toolOptions + QStringList{u"-n"_s, outputPath, u"synth"_s} + plan.synth + effects;
    part.outputArgument = int(plan.toolOptions.size() + 1);
    return part;
}

QStringList StepInputs(const TonePlan &plan, const QString &program)
{
    // Each step is an input the tool reads from a run of its own that writes the tool's own
    // format to its output ("-p"), the same command for a step as for a whole tone.
    QStringList inputs;
    for (const TonePlan &step : plan.steps) {
        SynthArgumentPart part = BuildSynthArgumentPart(u"step"_s, step, program);
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

QString CopyableSoxCommand(TonePlan plan)
{
    const auto quoted = [](const QStringList &arguments) {
        QStringList words{u"sox"_s};
        for (const QString &argument : arguments)
            words << ShellQuoted(argument);
        return words.join(u' ');
    };
    if (!plan.measured)
        return quoted(BuildSynthArgumentPart(u"tone.wav"_s, plan, u"sox"_s).arguments);
    // The level comes from a measuring run: the shell makes it, then the tone, as the program does.
    // A run that fails, or a level that does not fit, leaves no gain, and the line stops there.
    const QString measuring = quoted(MeasuringArguments(plan, PipedInputs(plan, u"sox"_s)));
    const bool bySide = !plan.sidePeakTargets.isEmpty();
    plan.level = bySide ? QStringList{u"remix"_s, u"@GAIN@"_s} : QStringList{u"gain"_s, u"@GAIN@"_s};
    const QString making = quoted(BuildSynthArgumentPart(u"tone.wav"_s, plan, u"sox"_s).arguments);
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

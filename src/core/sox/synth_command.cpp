// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/synth_command.h"

#include "core/sox/level_report.h"
#include "core/sox/plan_words.h"

using namespace Qt::Literals::StringLiterals;

SynthArgumentPart BuildSynthArgumentPart(const QString &chosenPath, const TonePlan &plan, const QString &program,
                                         bool runPerStep)
{
    const QString outputPath = chosenPath.startsWith(u'-') ? u"./"_s + chosenPath : chosenPath;
    const RunWords words = WritePlan(plan, program, {.measuredGain = {}, .chainSteps = !runPerStep});
    SynthArgumentPart part;
    part.layout = plan.layout;
    part.outputPath = outputPath;
    part.frames = plan.frames;
    part.arguments = RunArguments(words, outputPath);
    if (!words.inputs.isEmpty()) {
        part.outputArgument = int(words.options.size() + words.inputs.size() + words.outputOptions.size());
        QStringList shown;
        for (const QString &argument : std::as_const(part.arguments))
            shown << (argument == outputPath || argument.startsWith(u'|') ? u'"' + argument + u'"' : argument);
        part.text = shown.join(u' ');
        return part;
    }
    // A command that the program adds nothing to keeps the fields as they were typed, blanks and all.
    part.text = words.options.join(u' ') + u" -n "_s + u'"' + outputPath + u'"' + u" synth "_s +
                (words.typedSynth.isEmpty() ? words.synth.join(u' ') : words.typedSynth);
    if (!words.effects.isEmpty())
        part.text += u' ' + words.effects.join(u' ');
    part.outputArgument = int(words.options.size() + 1);
    return part;
}

QString CopyableSoxCommand(const TonePlan &plan)
{
    const auto quoted = [](const QStringList &arguments) {
        QStringList words{u"sox"_s};
        for (const QString &argument : arguments)
            words << ShellQuoted(argument);
        return words.join(u' ');
    };
    if (!plan.measured())
        return quoted(BuildSynthArgumentPart(u"tone.wav"_s, plan, u"sox"_s, true).arguments);
    // The level comes from a measuring run: the shell makes it, then the tone, as the program does.
    // A run that fails, or a level that does not fit, leaves no gain, and the line stops there.
    const QString measuring = quoted(MeasuringArguments(plan, u"sox"_s));
    const QString mark = u"@GAIN@"_s;
    // A gain for each side is a word for each: the shell splits them apart. Inside a turn's piped
    // run, which the shell gets in single quotes, the gain leaves the quotes to be filled in.
    const bool bySide = !plan.level.sidePeakTargets.isEmpty();
    QStringList making{u"sox"_s};
    for (const QString &argument : RunArguments(WritePlan(plan, u"sox"_s, {.measuredGain = mark}), u"tone.wav"_s)) {
        const bool piped = argument.startsWith(u'|');
        making << ShellQuoted(argument).replace(mark, bySide ? u"$g"_s : piped ? u"'\"$g\"'"_s : u"\"$g\""_s);
    }
    return u"g=$(%1 2>&1 | awk %2) && %3"_s.arg(measuring, ShellQuoted(MeasuredGainScript(plan)), making.join(u' '));
}

std::optional<QString> NoCopyableCommand(const TonePlan &plan)
{
    if (!plan.periodRead())
        return std::nullopt;
    return u"A periodic noise has no SoX command to copy: Quorvane makes its period, which SoX only repeats. "
           "Save it instead."_s;
}

void WithoutGlobbing(QStringList &arguments, int outputArgument)
{
    arguments.insert(outputArgument, u"--no-glob"_s);
}

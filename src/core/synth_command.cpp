// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/synth_command.h"

#include "core/temp_folder.h"
#include "core/tool_files.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace {

// The typed fields are not quoted: blanks inside them separate tool arguments, and an empty
// field contributes no argument at all.
QStringList SplitField(const QString &field)
{
    return field.split(u' ', Qt::SkipEmptyParts);
}

} // namespace

SynthToolPart BuildSynthToolPart()
{
    const QString program = ToolPath(ToolFiles[0]);
    return {u'"' + program + u'"', program};
}

SynthArgumentPart BuildSynthArgumentPart(const QString &chosenPath, const ToneRequest &request,
                                         const OutputOptions &options)
{
    const QString outputPath = chosenPath.startsWith(u'-') ? u"./"_s + chosenPath : chosenPath;
    const QStringList globalOptions = options.globalOptions();
    const QStringList effects = options.effects();
    SynthArgumentPart part;
    part.text = globalOptions.join(u' ') + u" -n "_s + u'"' + outputPath + u'"' + u" synth "_s + request.Length + u' ' +
                request.Waveform + u' ' + request.Frequencies;
    if (!effects.isEmpty())
        part.text += u' ' + effects.join(u' ');
    part.arguments = globalOptions + QStringList{u"-n"_s, outputPath, u"synth"_s} + SplitField(request.Length) +
                     SplitField(request.Waveform) + SplitField(request.Frequencies) + effects;
    part.sampleRate = options.sampleRate();
    part.bitsPerSample = options.bitsPerSample();
    part.channels = options.channelCount();
    part.outputPath = outputPath;
    return part;
}

SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments)
{
    return {tool.text + u' ' + arguments.text, tool.program,       arguments.arguments, arguments.sampleRate,
            arguments.bitsPerSample,           arguments.channels, arguments.outputPath};
}

QString CopyableSoxCommand(const ToneRequest &request, const OutputOptions &options)
{
    QStringList words{u"sox"_s};
    for (const QString &argument : BuildSynthArgumentPart(u"tone.wav"_s, request, options).arguments)
        words << ShellQuoted(argument);
    return words.join(u' ');
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

#include "synth_command.h"

#include "temp_folder.h"
#include "tool_files.h"

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

SynthArgumentPart BuildSynthArgumentPart(const QString &outputPath, const ToneRequest &request)
{
    const QString rate = QString::number(SynthSampleRate);
    SynthArgumentPart part;
    part.text = u"-r "_s + rate + u" -n "_s + u'"' + outputPath + u'"' + u" synth "_s + request.Length + u' ' +
                request.Waveform + u' ' + request.Frequencies;
    part.arguments = QStringList{u"-r"_s, rate, u"-n"_s, outputPath, u"synth"_s} + SplitField(request.Length) +
                     SplitField(request.Waveform) + SplitField(request.Frequencies);
    return part;
}

SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments)
{
    return {tool.text + u' ' + arguments.text, tool.program, arguments.arguments};
}

#include "synth_run.h"

#include "tool_files.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

std::optional<QString> EndlessLengthProblem(const ToneRequest &request)
{
    const QStringList pieces = request.Length.split(u' ', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return u"No length was given, so the tone would have no end."_s;
    // The tool reads a length only from a first word that starts with a digit or a dot; any other
    // word it takes as an option, a type or a frequency, and then the tone has no end.
    static const QRegularExpression startsLikeALength(u"^\\.?[0-9]"_s);
    const QString &length = pieces.first();
    if (!startsLikeALength.match(length).hasMatch())
        return u"The length \"%1\" does not begin with a number, so the tone would have no end."_s.arg(length);
    // Seconds or hh:mm:ss.frac (optionally in samples) made of zeros only.
    static const QRegularExpression plainTime(u"^[0-9.:]*s?$"_s);
    static const QRegularExpression nonZeroDigit(u"[1-9]"_s);
    if (plainTime.match(length).hasMatch() && !length.contains(nonZeroDigit))
        return u"The length \"%1\" would give a tone without end."_s.arg(length);
    return std::nullopt;
}

SynthRun RunSynthCommand(const SynthCommand &command, const ToneRequest &request, const std::function<void()> &onPoll)
{
    SynthRun run;
    if (const auto endless = EndlessLengthProblem(request)) {
        run.details.errorOutput = *endless;
        run.exitCode = StartFailureOffset + EINVAL;
        return run;
    }
    run.exitCode =
        ShellAndWait(command.program, command.arguments, 0, &run.details, {CheckTrustedTool, MaxToneFileSize, onPoll});
    return run;
}

QString SynthRunProblem(const SynthRun &run, const QString &outputPath)
{
    const QString &errorOutput = run.details.errorOutput;
    if (!run.details.started)
        return errorOutput.isEmpty() ? u"The sound tool could not be started."_s : errorOutput;
    // The tool finishes its file properly when asked to stop, but the tone is cut short.
    if (run.details.stopped)
        return u"The sound tool was stopped before the tone was complete."_s;
    if (run.exitCode == 128 + SIGXFSZ)
        return u"The tone would be larger than a wave file can hold (4 GiB)."_s;
    if (run.exitCode != 0)
        return errorOutput.isEmpty() ? u"The sound tool ended with status %1."_s.arg(run.exitCode) : errorOutput;
    // A write that fails (a full disk, say) is reported as FAIL, yet the tool ends with status 0
    // and leaves a cut-short file.
    if (errorOutput.contains(u" FAIL "_s))
        return errorOutput;
    if (!QFileInfo(outputPath).isFile())
        return u"The sound tool wrote no file at %1."_s.arg(outputPath);
    return {};
}

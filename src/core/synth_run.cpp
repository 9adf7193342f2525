// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/synth_run.h"

#include "core/field_grammar.h"
#include "core/sound_file.h"
#include "core/temp_folder.h"
#include "core/tool_files.h"

#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

// Seconds rounded to the millisecond, without trailing zeros.
QString Seconds(double seconds)
{
    return QString::number(std::round(seconds * 1000) / 1000, 'g', 15);
}

} // namespace

SynthRun RunSynthCommand(const SynthCommand &command, const ToneRequest &request, const std::function<void()> &onPoll)
{
    SynthRun run;
    run.request = request;
    run.sampleRate = command.sampleRate;
    // The window has reminded the person already; this keeps every other caller to the grammar too.
    QString refusal = ToneGrammarReminder(request, command.sampleRate).value_or(QString());
    // The tool writes the preview beside itself: never in a folder that others can reach.
    const QString toolFolder = QFileInfo(command.program).path();
    if (const QString problem = PrivateFolderProblem(toolFolder); !problem.isEmpty() && FileExists(toolFolder))
        refusal = u"The sound tool was not started: %1 is not a private folder (%2)."_s.arg(toolFolder, problem);
    if (!refusal.isEmpty()) {
        run.details.errorOutput = refusal;
        run.exitCode = StartFailureOffset + EINVAL;
        return run;
    }
    run.exitCode =
        ShellAndWait(command.program, command.arguments, 0, &run.details, {CheckTrustedTool, MaxToneFileSize, onPoll});
    return run;
}

std::optional<QString> CutShortProblem(const QString &outputPath, const QString &length, int sampleRate)
{
    const std::optional<ToneLength> requested = ParseLength(length);
    const std::optional<SoundFileInfo> written = ReadSoundFileInfo(outputPath);
    if (!requested || requested->samplesAt(sampleRate) < 0 || !written || written->sampleRate <= 0)
        return std::nullopt;
    const double requestedSeconds = requested->secondsAt(sampleRate);
    if (written->seconds() >= requestedSeconds - 0.001)
        return std::nullopt;
    return u"The tone was cut short: the file holds %1 s of the %2 s asked for."_s.arg(Seconds(written->seconds()),
                                                                                       Seconds(requestedSeconds));
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
    // Stopped from outside with SIGTERM or SIGINT, the tool finishes a shorter file and ends with 0.
    return CutShortProblem(outputPath, run.request.Length, run.sampleRate).value_or(QString());
}

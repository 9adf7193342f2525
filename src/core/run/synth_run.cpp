// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/synth_run.h"

#include "core/failure.h"
#include "core/plan/tone_plan.h"
#include "core/run/output_target.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "core/run/wave_channel_mask.h"
#include "core/sox/decode_words.h"
#include "core/sox/level_report.h"
#include "core/sox/plan_words.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Seconds rounded to the millisecond, without trailing zeros.
QString Seconds(double seconds)
{
    return QString::number(std::round(seconds * 1000) / 1000, 'g', 15);
}

bool IsRegularFile(const QString &path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// Why writing in the folder fails right now (no space, a quota, an I/O error), found by writing a
// little into a file that nobody sees; an empty text when it does not fail that way.
QString WriteFailureIn(const QString &folder)
{
    int error = 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
    } else {
        const QByteArray block(qsizetype(64) * 1024, '\0');
        for (qsizetype done = 0; done < block.size() && error == 0;) {
            const ssize_t n = ::write(fd, block.constData() + done, size_t(block.size() - done));
            if (n >= 0)
                done += n;
            else if (errno != EINTR)
                error = errno;
        }
        if (error == 0 && ::fsync(fd) != 0)
            error = errno;
        ::close(fd);
    }
    return error == ENOSPC || error == EDQUOT || error == EIO ? SystemError(error) : QString();
}

// The file's layout as the tool reads it back, by decoding it all. A format without a header is
// read with the layout it was written in.
std::optional<SoundFileInfo> DecodeWithTool(const SynthCommand &command, const OutputTarget &target)
{
    const auto decode = [&](const QStringList &arguments, QString &output) {
        ShellRunDetails details;
        const qint32 status = ShellAndWait(command.program, arguments, 0, &details,
                                           {.check = CheckTrustedTool, .passedFile = target.privateFolderFd});
        output = details.errorOutput;
        return status == 0;
    };
    QString output;
    bool decoded = decode(DecodeArguments(target.writePath), output);
    if (DecodeNeedsLayout(output))
        decoded = decode(DecodeArguments(target.writePath, command.layout, !decoded), output);
    const std::optional<DecodedLayout> layout = decoded ? ReadDecodeReport(output) : std::nullopt;
    if (!layout)
        return std::nullopt;
    SoundFileInfo info;
    info.channels = layout->channels;
    info.sampleRate = layout->sampleRate;
    info.frames = layout->frames;
    return info;
}

// What the written file holds. libsndfile reads the header of most formats quickly; it cannot read
// some that the tool writes (WavPack, the ADPCM and raw formats), and for a file without a header
// it guesses, once in a while wrongly. Those are decoded by the tool. Some of these formats'
// headers claim the whole tone even when the disk filled up, so the count is of what can be decoded.
std::optional<SoundFileInfo> MeasureWrittenFile(const SynthCommand &command, const OutputTarget &target)
{
    if (std::optional<SoundFileInfo> info = ReadSoundFileInfo(target.writePath)) {
        // libsndfile's container codes (SF_FORMAT_TYPEMASK, SF_FORMAT_RAW, SF_FORMAT_MPEG): a file
        // without a header, which it can only guess at.
        const int container = info->format & 0x0FFF0000;
        if (container != 0x040000 && container != 0x230000)
            return info;
    }
    return DecodeWithTool(command, target);
}

// The tool's output looks complete: it started, ended well, said nothing of a failure and left a
// regular file.
bool LooksComplete(const SynthRun &run, const QString &path)
{
    return run.details.started && !run.details.stopped && run.exitCode == 0 &&
           !run.details.errorOutput.contains(u" FAIL "_s) && IsRegularFile(path);
}

} // namespace

SynthToolPart BuildSynthToolPart()
{
    const QString program = ToolPath(ToolFiles[0]);
    return {u'"' + program + u'"', program};
}

SynthCommand JoinSynthCommand(const SynthToolPart &tool, const SynthArgumentPart &arguments)
{
    return {
        tool.text + u' ' + arguments.text, tool.program,    arguments.arguments, arguments.layout, arguments.outputPath,
        arguments.outputArgument,          arguments.frames};
}

SynthRun RunSynthCommand(const SynthCommand &command, const std::function<void(qint64 writtenBytes)> &onPoll)
{
    SynthRun run;
    run.sampleRate = command.layout.sampleRate;
    // The fields were read before the command was made; this keeps every caller to a length that
    // has an end and fits the file.
    QString refusal = command.frames <= 0                            ? LengthReminder
                      : command.frames > command.layout.maxSamples() ? TooLongReminder(command.layout)
                                                                     : WorkFolderProblem();
    // The tool writes the preview beside itself: never in a folder that others can reach.
    const QString toolFolder = QFileInfo(command.program).path();
    if (const QString problem = PrivateFolderProblem(toolFolder);
        refusal.isEmpty() && !problem.isEmpty() && FileExists(toolFolder))
        refusal = u"The sound tool was not started: %1 is not a private folder (%2)."_s.arg(toolFolder, problem);
    if (refusal.isEmpty() && (run.reminder = OutputNameReminder(command.outputPath)))
        refusal = *run.reminder;
    OutputTarget target;
    if (refusal.isEmpty()) {
        target = PrepareOutputTarget(command.outputPath);
        refusal = target.refusal();
        if (!target.reminder.isEmpty())
            run.reminder = target.reminder;
    }
    if (!refusal.isEmpty()) {
        run.details.errorOutput = refusal;
        run.exitCode = StartFailureOffset + EINVAL;
        return run;
    }
    QStringList arguments = command.arguments;
    Q_ASSERT(arguments.value(command.outputArgument) == command.outputPath);
    arguments[command.outputArgument] = target.writePath;
    // The tool would expand a wildcard in the name and write whatever file it matches.
    if (NeedsNoGlob(target.writePath))
        WithoutGlobbing(arguments, command.outputArgument);
    const std::function<void()> poll =
        !onPoll ? std::function<void()>() : [&] { onPoll(QFileInfo(target.writePath).size()); };
    run.exitCode = ShellAndWait(command.program, arguments, 0, &run.details,
                                {CheckTrustedTool, MaxToneFileSize, poll, target.privateFolderFd});

    if (LooksComplete(run, target.writePath)) {
        // A layout's file is not whole without the channel mask that names its loudspeakers.
        const QString layoutProblem = SetWaveChannelMask(target.writePath, command.layout.channels);
        const std::optional<SoundFileInfo> written = MeasureWrittenFile(command, target);
        if (!layoutProblem.isEmpty()) {
            run.fileProblem = layoutProblem;
        } else if (!written) {
            run.fileProblem = u"The written file cannot be read back, so it cannot be told whether it holds the whole "
                              "tone."_s;
        } else {
            run.fileProblem = WrittenToneProblem(*written, command.frames, command.layout.sampleRate,
                                                 QFileInfo(target.chosenPath).path());
        }
    }
    if (target.viaPrivateFile()) {
        if (SynthRunProblem(run, target.writePath).isEmpty())
            run.fileProblem = CommitOutputTarget(target);
        else
            DiscardOutputTarget(target);
    }
    return run;
}

QString MeasureTone(const SynthToolPart &tool, TonePlan &plan, const std::function<void()> &onPoll)
{
    // Nothing is written: only the tool's report counts.
    SynthRun run;
    run.exitCode = ShellAndWait(tool.program, MeasuringArguments(plan, tool.program), 0, &run.details,
                                {CheckTrustedTool, MaxToneFileSize, onPoll});
    if (!run.details.started || run.details.stopped || run.exitCode != 0)
        return SynthRunProblem(run, QString());
    if (!ApplyMeasuredLevels(plan, ParseToolStatsByChannel(run.details.errorOutput)))
        return u"The sound tool measured no level for the tone: it holds only silence."_s;
    return QString();
}

QString WrittenToneProblem(const SoundFileInfo &written, qint64 frames, int sampleRate, const QString &writtenFolder)
{
    if (frames <= 0 || written.sampleRate <= 0 || sampleRate <= 0)
        return {};
    const double requestedSeconds = double(frames) / sampleRate;
    // A format that cannot hold the rate chosen either had the tool resample the tone to its own
    // rate, or kept the samples and stored a rate near it: the file is complete if it holds as
    // many samples as either way gives.
    const double expectedFrames = std::min(double(frames), requestedSeconds * written.sampleRate);
    QStringList problems;
    if (double(written.frames) < expectedFrames - written.sampleRate / 1000.0) {
        problems << u"The tone was cut short: the file holds %1 s of the %2 s asked for."_s.arg(
            Seconds(written.seconds()), Seconds(requestedSeconds));
        // A disk that filled up, or a quota: the tool may not have noticed, but the system knows.
        if (const QString failure = writtenFolder.isEmpty() ? QString() : WriteFailureIn(writtenFolder);
            !failure.isEmpty())
            problems << u"Writing in %1 failed: %2."_s.arg(writtenFolder, failure);
    }
    if (written.sampleRate != sampleRate)
        problems << u"This file format stored the tone at %1 Hz, not at the %2 Hz chosen, so it does not play as "
                    "asked: choose another format or sample rate."_s.arg(written.sampleRate)
                        .arg(sampleRate);
    return problems.join(u' ');
}

QString SynthRunProblem(const SynthRun &run, const QString &outputPath)
{
    const QString &errorOutput = run.details.errorOutput;
    if (!run.details.started)
        return errorOutput.isEmpty() ? u"The sound tool could not be started."_s : errorOutput;
    // The tool finishes its file properly when asked to stop, but the tone is cut short.
    if (run.details.stopped)
        return u"The sound tool was stopped before the tone was complete."_s;
    if (run.exitCode == 128 + SIGXFSZ) {
        const qint64 limit = run.details.fileSizeLimit;
        if (limit > 0 && limit < MaxToneFileSize)
            return u"The tone would be larger than this session lets a program write: %1 bytes (ulimit -f %2)."_s
                .arg(limit)
                .arg(limit / 1024);
        return u"The tone would be larger than a wave file can hold (4 GiB)."_s;
    }
    if (run.exitCode != 0)
        return errorOutput.isEmpty() ? u"The sound tool ended with status %1."_s.arg(run.exitCode) : errorOutput;
    // A write that fails (a full disk, say) is reported as FAIL, yet the tool ends with status 0
    // and leaves a cut-short file.
    if (errorOutput.contains(u" FAIL "_s))
        return errorOutput;
    if (!run.fileProblem.isEmpty())
        return run.fileProblem;
    if (!IsRegularFile(outputPath))
        return u"The sound tool wrote no file at %1."_s.arg(outputPath);
    return {};
}

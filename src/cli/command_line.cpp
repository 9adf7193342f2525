// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/command_line.h"

#include "build_config.h"
#include "core/failure.h"
#include "core/job/tone_job.h"
#include "core/measure/measurement_sweep.h"
#include "core/run/command_steps.h"
#include "core/run/output_target.h"
#include "core/run/run_and_wait.h"
#include "core/run/tool_files.h"
#include "core/sound/playback.h"
#include "core/sox/synth_command.h"
#include "core/tone/field_grammar.h"
#include "core/tone/tone.h"
#include "settings/calibration_store.h"
#include "settings/preset_store.h"
#include "settings/settings_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A refusal of the command line itself, with its exit code.
struct Refusal
{
    int exitCode;
    QString message;
};

void PrintError(const QString &text)
{
    // The window's texts break lines with CR LF; a terminal wants LF alone.
    QString line = QString(text).replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    if (!line.endsWith(u'\n'))
        line += u'\n';
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// The inputs as the window holds them: the three fields as typed and the options.
struct Inputs
{
    QString length;
    QString frequencies;
    int waveformIndex = 0; // "Sine (Default)", as the list starts
    OutputOptions options;
    QString outputDevice; // empty: the system's default
    // A level typed as a meter reads the output: worked out once every --set is read, as the
    // output may be named after it.
    std::optional<AnalogLevel> levelReading;

    ToneRequest request() const { return MakeToneRequest(length, WaveformLabels()[waveformIndex], frequencies); }
};

// A type as a person writes it: any case, with or without the blank, without " (Default)".
QString TypeKey(const QString &name)
{
    return MakeToneRequest({}, name, {}).Waveform;
}

QStringList TypeNames()
{
    QStringList names;
    for (const QString &label : WaveformLabels())
        names.append(TypeKey(label));
    return names;
}

std::optional<Refusal> ApplyPreset(Inputs &inputs, const QString &name)
{
    // The store is read only for a name that is not built in.
    std::optional<Preset> preset = FindPreset(BuiltInPresets(), name);
    if (!preset)
        preset = FindPreset(AvailablePresets(), name);
    if (!preset)
        return Refusal{ExitCode::BadCommandLine,
                       u"There is no preset \"%1\"; --list-presets lists them."_s.arg(PresetDisplayName(name))};
    if (!preset->usable())
        return Refusal{ExitCode::Refused,
                       u"The preset \"%1\" cannot be used: %2"_s.arg(PresetDisplayName(name), preset->problem)};
    inputs.length = preset->length;
    inputs.frequencies = preset->frequencies;
    inputs.waveformIndex = preset->waveformIndex;
    inputs.options = preset->options;
    return std::nullopt;
}

std::optional<Refusal> ApplyType(Inputs &inputs, const QString &name)
{
    const qsizetype index = TypeNames().indexOf(TypeKey(name));
    if (index < 0)
        return Refusal{ExitCode::BadCommandLine,
                       u"Unknown type \"%1\". The types are: %2."_s.arg(name, TypeNames().join(u", "_s))};
    inputs.waveformIndex = int(index);
    return std::nullopt;
}

// KEY=VALUE with the settings' keys and stored values (keys in any case).
std::optional<Refusal> ApplySetting(Inputs &inputs, const QString &assignment)
{
    const qsizetype equals = assignment.indexOf(u'=');
    if (equals <= 0)
        return Refusal{ExitCode::BadCommandLine, u"--set takes KEY=VALUE, not \"%1\"."_s.arg(assignment)};
    const QString key = assignment.left(equals);
    const QString value = assignment.mid(equals + 1);
    const auto is = [&](const QString &name) { return key.compare(name, Qt::CaseInsensitive) == 0; };
    if (is(Settings::Text1)) {
        inputs.length = value;
    } else if (is(Settings::Text2)) {
        inputs.frequencies = value;
    } else if (is(Settings::Combo1)) {
        bool isNumber = false;
        const int index = value.toInt(&isNumber);
        if (!isNumber || index < 0 || index >= WaveformLabels().size())
            return Refusal{ExitCode::BadCommandLine,
                           u"Combo1 takes a number from 0 to %1."_s.arg(WaveformLabels().size() - 1)};
        inputs.waveformIndex = index;
    } else if (is(Settings::OutputDevice)) {
        inputs.outputDevice = value;
    } else {
        const auto &rows = OutputSettingRows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const OutputSettingRow &r) { return is(r.key); });
        if (row == rows.end()) {
            QStringList keys{Settings::Text1, Settings::Text2, Settings::Combo1};
            for (const OutputSettingRow &r : rows)
                keys.append(r.key);
            keys.append(Settings::OutputDevice);
            return Refusal{ExitCode::BadCommandLine,
                           u"Unknown setting \"%1\". The settings are: %2."_s.arg(key, keys.join(u", "_s))};
        }
        if (row->setting == OutputSetting::Level) {
            inputs.levelReading = ParseAnalogLevel(value);
            if (!inputs.levelReading && !inputs.options.restore(row->setting, value))
                return Refusal{ExitCode::BadCommandLine,
                               u"Level takes %1, such as -20 or -4.5, or at a calibrated output what a meter "
                               "reads there, such as +4 dBu, -10 dBV or 1.228 V."_s.arg(LevelRangeText)};
            return std::nullopt;
        }
        QStringList values;
        for (const OutputChoice &choice : row->choices) {
            if (choice.stored.compare(value, Qt::CaseInsensitive) == 0) {
                inputs.options.restore(row->setting, choice.stored);
                return std::nullopt;
            }
            values.append(choice.stored);
        }
        return Refusal{ExitCode::BadCommandLine, u"%1 takes one of: %2."_s.arg(row->key, values.join(u", "_s))};
    }
    return std::nullopt;
}

// A level in dBu, dBV or volts: an RMS level, through what full scale reads at the output.
std::optional<Refusal> ApplyLevelReading(Inputs &inputs)
{
    const std::optional<OutputCalibration> calibration = StoredCalibration(inputs.outputDevice);
    if (!calibration)
        return Refusal{ExitCode::BadCommandLine, UncalibratedLevelReminder +
                                                     u" Here the output is the system's default unless --set "
                                                     "OutputDevice names another."_s};
    const std::optional<OutputLevel> level = calibration->outputLevel(*inputs.levelReading);
    if (!level)
        return Refusal{ExitCode::BadCommandLine, u"At this output, Level takes %1."_s.arg(calibration->rangeText())};
    inputs.options.restore(OutputSetting::LevelUnit, u"RMS"_s);
    inputs.options.setLevel(*level);
    return std::nullopt;
}

// The reminder the window would give for these inputs, the empty fields first (a noise needs no
// frequency), with the word it did not understand.
std::optional<QString> InputsReminder(const PlannedTone &planned)
{
    if (std::optional<QString> empty = EmptyFieldReminder(planned.request, EmptyFrequencies::ForgottenUnlessNoise))
        return empty;
    const std::optional<ToneRefusal> refusal = planned.refusal();
    return refusal ? std::optional(refusal->quoted()) : std::nullopt;
}

// What was printed reached standard output: a full disk or a closed pipe is a failure, not "done".
int OutputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return ExitCode::Done;
    PrintError(u"The output cannot be written: "_s + SystemError(errno));
    return ExitCode::Failed;
}

// The progress on one line of the terminal, rewritten in place; nothing when stderr is not one.
ToneJobProgress TerminalProgress()
{
    if (!::isatty(STDERR_FILENO))
        return {};
    return [shown = qsizetype(0)](const std::optional<QString> &progress) mutable {
        const QString text = progress.value_or(QString());
        // Blanks over what is left of a longer line before.
        const QString line = u'\r' + text + QString(std::max<qsizetype>(shown - text.size(), 0), u' ') +
                             (progress ? QString() : u"\r"_s);
        shown = text.size();
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    };
}

// Prints what went wrong on the way, which the window would have reported one by one.
void PrintStepFailures(const RecordingSteps &steps)
{
    for (const auto &[line, description] : steps.failures())
        PrintError(description);
}

int Save(const Inputs &inputs, const PlannedTone &planned, const QString &file)
{
    // The tool runs in a folder of its own: it gets the path as the person meant it, from here.
    QString outputPath = QFileInfo(file).absoluteFilePath();
    if (const std::optional<QString> reminder = OutputNameReminder(outputPath)) {
        PrintError(*reminder);
        return ExitCode::Refused;
    }
    // A measurement sweep's inverse filter goes beside it; nobody is there to be asked about a file
    // of another's at its name.
    if (inputs.options.measurementSweep() && InverseFilterNameTaken(outputPath)) {
        PrintError(
            u"%1 exists and is not the inverse filter of an earlier sweep of this name: choose another name."_s.arg(
                InverseFilterPath(outputPath)));
        return ExitCode::Refused;
    }
    RecordingSteps steps;
    const SynthRun run = MakeTone(
        steps, {.deploy = 126, .toolPart = 156, .outputPath = 0, .arguments = 158, .join = 160, .run = 162}, outputPath,
        [&] { return planned; }, TerminalProgress());
    RemoveToolFiles(steps, 164);
    PrintStepFailures(steps);
    if (run.reminder) {
        PrintError(*run.reminder);
        return ExitCode::Refused;
    }
    if (const QString problem = SynthRunProblem(run, outputPath); !problem.isEmpty()) {
        PrintError(u"Failed to save tone.\n"_s + problem);
        return ExitCode::Failed;
    }
    try {
        WriteInverseFilterBeside(outputPath, run.tone, inputs.options);
    } catch (const std::exception &error) {
        PrintError(u"The inverse filter was not written: "_s + DescribeException(error));
        return ExitCode::Failed;
    }
    return ExitCode::Done;
}

// --impulse-response: Make Impulse Response without the window. The response goes where --save
// says, else beside the recording, where only an earlier response of it is replaced unasked.
int ImpulseResponse(const QString &recording, const QString &inverse, const QString &save)
{
    const QString output = QFileInfo(save.isEmpty() ? ImpulseResponsePath(recording) : save).absoluteFilePath();
    if (save.isEmpty() && ImpulseResponseNameTaken(recording)) {
        PrintError(u"%1 exists and is not an earlier impulse response of this recording: choose a name with "
                   "--save."_s.arg(output));
        return ExitCode::Refused;
    }
    try {
        const ImpulseResponseMade made = WriteImpulseResponse(recording, inverse, output);
        const auto seconds = [&](qint64 frames) { return double(frames) / made.sampleRate; };
        std::printf("Impulse response: %s\nDelay: %lld samples, %.6f s\nPeak: %.2f dBFS, at %.6f s in the response "
                    "(sample %lld)\n",
                    output.toLocal8Bit().constData(), made.delayFrames, seconds(made.delayFrames), made.peakDb,
                    seconds(made.peakFrame), made.peakFrame);
        return ExitCode::Done;
    } catch (const std::exception &error) {
        PrintError(u"No impulse response was made.\n"_s + DescribeException(error));
        return ExitCode::Failed;
    }
}

// Ctrl+C while --play runs: the signal handler only writes to a pipe, and the event loop that
// waits for the sound stops it.
int interruptPipe[2] = {-1, -1};
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int)
{
    interrupted = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
}

void StopOnInterrupt(QCoreApplication &app)
{
    if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (::read(interruptPipe[0], &byte, 1) > 0) {
        }
        StopPlayback();
    });
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

int Play(QCoreApplication &app, const Inputs &inputs, const PlannedTone &planned)
{
    StopOnInterrupt(app);
    QString previewPath;
    RecordingSteps steps;
    const SynthRun run = MakeTone(
        steps, {.deploy = 106, .toolPart = 136, .outputPath = 138, .arguments = 140, .join = 142, .run = 144},
        previewPath, [&] { return planned; }, TerminalProgress());
    RemoveToolFiles(steps, 154);
    const QString problem = SynthRunProblem(run, previewPath);
    int exitCode = ExitCode::Done;
    if (interrupted) {
        exitCode = ExitCode::Interrupted;
    } else if (run.reminder) {
        PrintError(*run.reminder);
        exitCode = ExitCode::Refused;
    } else if (!problem.isEmpty()) {
        PrintStepFailures(steps);
        PrintError(u"Failed to generate tone.\n"_s + problem);
        exitCode = ExitCode::Failed;
    } else {
        // A looping preview plays until Ctrl+C; the player plays a waited-for sound once.
        PlaybackStart start = PlaybackStart::Failed;
        bool first = true;
        do {
            start = PlayWaveFileOn(inputs.outputDevice, previewPath, true, false);
            if (first && start == PlaybackStart::StartedOnDefault)
                PrintError(u"The output device \"%1\" is not there, so the preview plays on the system default."_s.arg(
                    ShortenedForMessage(inputs.outputDevice)));
            first = false;
        } while (inputs.options.loopPreview() && start != PlaybackStart::Failed && !interrupted);
        if (interrupted) {
            exitCode = ExitCode::Interrupted;
        } else if (start == PlaybackStart::Failed) {
            PrintError(inputs.outputDevice.isEmpty()
                           ? u"The preview cannot be played. "_s + PlaybackFailure()
                           : u"The preview cannot be played on \"%1\". %2"_s.arg(
                                 ShortenedForMessage(inputs.outputDevice), PlaybackFailure()));
            exitCode = ExitCode::Failed;
        }
    }
    DeleteFileQuiet(previewPath);
    return exitCode;
}

} // namespace

// NOLINTNEXTLINE(readability-function-size,readability-function-cognitive-complexity): the options read in their order.
int RunCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SetWaitWithoutWindow(true);
    QCoreApplication::setApplicationName(u"quorvane"_s);
    QCoreApplication::setApplicationVersion(QString::fromUtf16(BuildConfig::Version));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Makes a test tone without the window. The inputs are those of the window's fields; nothing is read "
        "from the stored inputs or written to them.\n\nExit codes: 0 done, 1 the tool, the file or the sound card "
        "failed, 2 the inputs were refused, 64 a bad command line, 130 Ctrl+C stopped --play."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption save(u"save"_s, u"Make the tone and write it to <file>; its extension names the format."_s,
                                  u"file"_s);
    const QCommandLineOption play(u"play"_s, u"Play the tone on the sound card, until it ends or Ctrl+C."_s);
    const QCommandLineOption soxCommand(u"sox-command"_s,
                                        u"Print the sox command that makes the tone into tone.wav; run nothing."_s);
    const QCommandLineOption listPresets(u"list-presets"_s, u"Print the presets' names, one a line."_s);
    const QCommandLineOption length(u"length"_s, u"The length of audio: seconds, hh:mm:ss.frac or samples."_s,
                                    u"text"_s);
    const QCommandLineOption frequencies(u"frequencies"_s,
                                         u"The frequencies in Hz, as the window's field takes them."_s, u"text"_s);
    const QCommandLineOption type(
        u"type"_s, u"The type: %1 (any case, blanks allowed)."_s.arg(TypeNames().join(u", "_s)), u"name"_s);
    const QCommandLineOption set(
        u"set"_s, u"Set an option by its settings key and value, e.g. Level=-20; repeatable."_s, u"key=value"_s);
    const QCommandLineOption preset(u"preset"_s, u"Start from a preset, before the other inputs are applied."_s,
                                    u"name"_s);
    const QCommandLineOption impulseResponse(
        u"impulse-response"_s,
        u"Make the impulse response of <recording> of the measurement sweep, with --inverse; --save names it "
        "(else <recording>-ir.wav)."_s,
        u"recording"_s);
    const QCommandLineOption inverse(u"inverse"_s, u"The sweep's inverse filter, for --impulse-response."_s, u"file"_s);
    parser.addOptions(
        {save, play, soxCommand, listPresets, length, frequencies, type, set, preset, impulseResponse, inverse});

    if (!parser.parse(QCoreApplication::arguments())) {
        PrintError(parser.errorText() + u"\nTry \"quorvane --help\"."_s);
        return ExitCode::BadCommandLine;
    }
    // Help and version end here, in QCommandLineParser's words (--help-all with Qt's options too).
    if (parser.isSet(u"help-all"_s))
        parser.process(app);
    if (parser.isSet(u"help"_s)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return OutputWritten();
    }
    if (parser.isSet(u"version"_s)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return OutputWritten();
    }

    const auto refuse = [](const Refusal &refusal) {
        PrintError(refusal.message);
        return refusal.exitCode;
    };
    const auto badCommandLine = [&](const QString &message) {
        return refuse({ExitCode::BadCommandLine, message + u"\nTry \"quorvane --help\"."_s});
    };
    if (!parser.positionalArguments().isEmpty())
        return badCommandLine(u"Unexpected argument \"%1\"."_s.arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(impulseResponse) || parser.isSet(inverse)) {
        const QStringList allowed{u"impulse-response"_s, u"inverse"_s, u"save"_s};
        const QStringList given = parser.optionNames();
        if (parser.values(impulseResponse).size() != 1 || parser.values(inverse).size() != 1 ||
            parser.values(save).size() > 1 ||
            !std::all_of(given.begin(), given.end(), [&](const QString &name) { return allowed.contains(name); }))
            return badCommandLine(u"--impulse-response takes one recording, --inverse its filter and at most one "
                                  "--save, and nothing else."_s);
        return ImpulseResponse(parser.value(impulseResponse), parser.value(inverse), parser.value(save));
    }
    const int actions = int(parser.values(save).size()) + (parser.isSet(play) ? 1 : 0) +
                        (parser.isSet(soxCommand) ? 1 : 0) + (parser.isSet(listPresets) ? 1 : 0);
    if (actions != 1)
        return badCommandLine(u"Give one of --save, --play, --sox-command and --list-presets."_s);
    for (const QCommandLineOption &single : {length, frequencies, type, preset})
        if (parser.values(single).size() > 1)
            return badCommandLine(u"--%1 is given more than once."_s.arg(single.names().constFirst()));
    if (parser.isSet(save) && parser.value(save).isEmpty())
        return badCommandLine(u"--save needs a file name."_s);

    if (parser.isSet(listPresets)) {
        for (const Preset &each : AvailablePresets())
            if (each.usable())
                std::printf("%s\n", each.name.toLocal8Bit().constData());
        return OutputWritten();
    }

    Inputs inputs;
    std::optional<Refusal> refusal;
    if (parser.isSet(preset))
        refusal = ApplyPreset(inputs, parser.value(preset));
    if (!refusal && parser.isSet(length))
        inputs.length = parser.value(length);
    if (!refusal && parser.isSet(frequencies))
        inputs.frequencies = parser.value(frequencies);
    if (!refusal && parser.isSet(type))
        refusal = ApplyType(inputs, parser.value(type));
    for (const QString &assignment : parser.values(set))
        if (!refusal)
            refusal = ApplySetting(inputs, assignment);
    if (!refusal && inputs.levelReading)
        refusal = ApplyLevelReading(inputs);
    if (refusal)
        return refuse(*refusal);
    // Read and planned once: the check, the command and the run all take this.
    const PlannedTone planned = PlanInputs(inputs.request(), inputs.options);
    if (const std::optional<QString> reminder = InputsReminder(planned))
        return refuse({ExitCode::Refused, *reminder});

    if (parser.isSet(soxCommand)) {
        if (const std::optional<QString> none = NoCopyableCommand(planned.plan))
            return refuse({ExitCode::Refused, *none});
        std::printf("%s\n", CopyableSoxCommand(planned.plan).toLocal8Bit().constData());
        return OutputWritten();
    }
    if (parser.isSet(play))
        return Play(app, inputs, planned);
    return Save(inputs, planned, parser.value(save));
}

// SPDX-License-Identifier: GPL-3.0-or-later

// The real program run with arguments and without a display.

#include "child_process.h"
#include "cli/command_line.h"
#include "core/run/private_files.h"
#include "core/tone/field_grammar.h"
#include "fault_fs.h"
#include "settings/calibration_store.h"
#include "settings/preset_store.h"
#include "settings/settings_store.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "wav_analysis.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run RunProgram(const QStringList &arguments, const QString &folder, const QString &standardOutput = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &display : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(display);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder);
    if (!standardOutput.isEmpty())
        program.setStandardOutputFile(standardOutput);
    program.start(QStringLiteral(QUORVANE_PROGRAM), arguments);
    program.waitForFinished(60000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

// A file in any format, read through a wave copy that the tool makes of it.
WavInfo ReadSound(const QString &path)
{
    const QString copy = path + u".read.wav"_s;
    QProcess::execute(u"sox"_s, {path, copy});
    return ReadWav(copy);
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

public:
    enum class Leftover
    {
        AsLeft,
        AnotherFolder,
        ALink,
        AnotherUsers
    };
    Q_ENUM(Leftover)

private:
    QString folder;
    QByteArray settings;

private slots:
    void init()
    {
        folder = TestSandbox::NewFolder();
        TestSandbox::FreshTempFolder();
        QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"9"_s));
        Preset mine{.name = u"Mine"_s, .length = u"1"_s, .frequencies = u"440"_s, .waveformIndex = 2};
        mine.options.restore(OutputSetting::SampleRate, u"44100"_s);
        QVERIFY(StorePreset(mine));
        // What full scale reads at the default output and at one other, as the window keeps it.
        QVERIFY(StoreCalibration(QString(), u"+18 dBu"_s));
        QVERIFY(StoreCalibration(u"desk"_s, u"1.228 V"_s));
        settings = ReadFile(SettingsFilePath(Settings::App, Settings::Section));
    }

    // Whatever it did, it read and wrote no stored inputs.
    void cleanup() { QCOMPARE(ReadFile(SettingsFilePath(Settings::App, Settings::Section)), settings); }

    void runs_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // the start of stderr, or of stdout when it is 0
        QTest::addColumn<double>("rmsDbfs");  // of out.*, AES17; NaN when no file may be left
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("together"); // a second tone of the same level, or 0
        QTest::addColumn<double>("seconds");
        const double none = qQNaN();
        QTest::newRow("DTMF 1 in FLAC") << QStringList{u"--save"_s,    u"out.flac"_s,      u"--length"_s,
                                                       u"2"_s,         u"--frequencies"_s, u"697 & 1209"_s,
                                                       u"--type"_s,    u"sine"_s,          u"--set"_s,
                                                       u"Level=-20"_s, u"--set"_s,         u"LevelUnit=RMS"_s}
                                        << 0 << QString() << -20.0 << 697.0 << 1209.0 << 2.0;
        QTest::newRow("EBU preset") << QStringList{u"--preset"_s, u"EBU Line-Up Tone"_s, u"--save"_s, u"out.wav"_s} << 0
                                    << QString() << -18.0 << 1000.0 << 0.0 << 30.0;
        QTest::newRow("own preset, length over it")
            << QStringList{u"--length"_s, u"0.5"_s, u"--preset"_s, u"Mine"_s, u"--save"_s, u"out.wav"_s} << 0
            << QString() << -1.76 << 440.0 << 0.0 << 0.5;
        QTest::newRow("no length") << QStringList{u"--save"_s, u"out.wav"_s, u"--frequencies"_s, u"440"_s} << 2
                                   << u"You forgot to input length of audio.\n"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("no frequencies") << QStringList{u"--save"_s, u"out.wav"_s, u"--length"_s, u"1"_s} << 2
                                        << u"You forgot to input frequencies.\n"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a tool word") << QStringList{u"--save"_s, u"out.wav"_s,       u"--length"_s,
                                                    u"1"_s,      u"--frequencies"_s, u"440 noiseprof x"_s}
                                     << 2 << FrequenciesReminder + u"\nNot understood: noiseprof\n"_s << none << 0.0
                                     << 0.0 << 0.0;
        QTest::newRow("seventeen tones") << QStringList{u"--save"_s,        u"out.wav"_s,
                                                        u"--length"_s,      u"1"_s,
                                                        u"--frequencies"_s, QStringList(17, u"1k"_s).join(u'&')}
                                         << 2 << TooManyTonesReminder << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a name without an extension")
            << QStringList{u"--save"_s, u"noext"_s, u"--length"_s, u"1"_s, u"--frequencies"_s, u"440"_s} << 2
            << u"\"noext\" has no extension"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a noise needs no frequency")
            << QStringList{u"--save"_s,    u"out.wav"_s, u"--length"_s,      u"1"_s,     u"--type"_s,
                           u"pinknoise"_s, u"--set"_s,   u"LevelUnit=RMS"_s, u"--set"_s, u"Level=-20"_s}
            << 0 << QString() << -20.0 << none << 0.0 << 1.0;
        // Written to a full disk: nothing reached it, so it is no success.
        for (const QString &action : {u"--sox-command"_s, u"--list-presets"_s, u"--version"_s})
            QTest::newRow(qPrintable(action + u" to a full disk"_s))
                << QStringList{u">/dev/full"_s, action, u"--length"_s, u"1"_s, u"--frequencies"_s, u"440"_s} << 1
                << u"The output cannot be written: No space left on device"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("no arguments, no display")
            << QStringList() << 64 << u"quorvane: there is no display"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("pink noise too loud")
            << QStringList{u"--save"_s, u"out.wav"_s, u"--length"_s,   u"1"_s,     u"--frequencies"_s,
                           u"1"_s,      u"--type"_s,  u"Pink Noise"_s, u"--set"_s, u"levelunit=rms"_s}
            << 2 << u"At 0 dBFS RMS this tone would clip"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("unknown option") << QStringList{u"--save"_s, u"out.wav"_s, u"--loud"_s} << 64
                                        << u"Unknown option 'loud'."_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("unknown type") << QStringList{u"--save"_s, u"out.wav"_s, u"--type"_s, u"cosine"_s} << 64
                                      << u"Unknown type \"cosine\"."_s << none << 0.0 << 0.0 << 0.0;
        const QString levelRange = u"Level takes a level from 0 down to -120 dBFS, to 0.01 dB"_s;
        for (const QString &level : {u"-4.125"_s, u"-120.01"_s, u"3"_s, u"-4,5"_s})
            QTest::addRow("level %s", qPrintable(level))
                << QStringList{u"--save"_s, u"out.wav"_s, u"--set"_s, u"Level="_s + level} << 64 << levelRange << none
                << 0.0 << 0.0 << 0.0;
        QTest::newRow("a meter's reading above full scale")
            << QStringList{u"--save"_s, u"out.wav"_s, u"--set"_s, u"Level=+18.01 dBu"_s} << 64
            << u"At this output, Level takes +18.0 dBu down to -102.0 dBu."_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a meter's reading at an output not calibrated")
            << QStringList{u"--save"_s, u"out.wav"_s, u"--set"_s, u"OutputDevice=hdmi"_s, u"--set"_s, u"Level=+4dBu"_s}
            << 64 << UncalibratedLevelReminder << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a typed level that does not fit")
            << u"--save out.wav --length 1 --frequencies 441 --type triangle --set Level=-1.5 --set LevelUnit=RMS"_s
                   .split(u' ')
            << 2 << u"At -1.5 dBFS RMS this tone would clip: the highest level that fits is -1.8 dBFS RMS"_s << none
            << 0.0 << 0.0 << 0.0;
        QTest::newRow("unknown preset") << QStringList{u"--save"_s, u"out.wav"_s, u"--preset"_s, u"Nope"_s} << 64
                                        << u"There is no preset \"Nope\""_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("save and play") << QStringList{u"--save"_s, u"out.wav"_s, u"--play"_s} << 64
                                       << u"Give one of --save, --play"_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"quorvane 1."_s << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("presets listed") << QStringList{u"--list-presets"_s} << 0
                                        << u"Calibration Noise\nSubwoofer Calibration Noise\n"_s << none << 0.0 << 0.0
                                        << 0.0;
    }

    void runs()
    {
        QFETCH(QStringList, arguments);
        const QString standardOutput = arguments.value(0).startsWith(u'>') ? arguments.takeFirst().mid(1) : QString();
        QFETCH(double, rmsDbfs);
        QFETCH(double, frequency);
        QFETCH(double, together);
        QFETCH(double, seconds);
        const Run run = RunProgram(arguments, folder, standardOutput);
        QTEST(run.exitCode, "exitCode");
        QFETCH(QString, message);
        QVERIFY2((run.exitCode == 0 ? run.out + run.err : run.err).startsWith(message), qPrintable(run.err));
        const QStringList written = QDir(folder).entryList(QDir::Files);
        if (qIsNaN(rmsDbfs)) {
            QCOMPARE(written, QStringList());
            QVERIFY(run.exitCode == 0 || !run.err.contains(u"Please email"_s));
            return;
        }
        QCOMPARE(run.err, QString());
        const WavInfo wav = ReadSound(folder + u'/' + written.constFirst());
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.durationSeconds(), seconds);
        const double rms = Aes17RmsDbfs(wav.firstChannel);
        QVERIFY2(qAbs(rms - rmsDbfs) <= 0.1, qPrintable(QString::number(rms)));
        const double strongest = DominantFrequency(wav.firstChannel, wav.sampleRate);
        QVERIFY2(qIsNaN(frequency) || std::min(qAbs(strongest - frequency), qAbs(strongest - together)) < 3,
                 qPrintable(QString::number(strongest)));
        if (together > 0) {
            const double db = LineDb(KaiserSpectrum(wav.firstChannel, 0, 65536), wav.sampleRate, together, frequency);
            QVERIFY2(qAbs(db) <= 0.1, qPrintable(QString::number(db)));
        }
    }

    // A typed level reaches the file to the hundredth of a decibel, by its peak or by its RMS level
    // as AES17 reads it (20 log10(rms) + 3.0103): a square's is 3.0103 dB above its peak level.
    void typedLevelReachesTheFile_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<double>("peakDbfs");
        QTest::addColumn<double>("rmsDbfs");
        QTest::newRow("sine, -4 peak") << u"sine --set Level=-4"_s << -4.0 << -4.0;
        QTest::newRow("sine, -14.5 RMS") << u"sine --set Level=-14.5 --set LevelUnit=RMS"_s << -14.5 << -14.5;
        QTest::newRow("square, -14.25 RMS") << u"square --set Level=-14.25 --set LevelUnit=RMS"_s << -17.2603 << -14.25;
        QTest::newRow("sine, the lowest") << u"sine --set Level=-120"_s << -120.0 << -120.0;
        // A meter's reading at a calibrated output is an RMS level: dBu and dBV by their own
        // references (0.7746 V and 1 V), whatever unit full scale was measured in.
        QTest::newRow("sine, +4 dBu where full scale reads +18 dBu") << u"sine --set Level=+4dBu"_s << -14.0 << -14.0;
        QTest::newRow("square, -10 dBV, +18 dBu full scale")
            << u"square --set LevelUnit=Peak --set Level=-10dBV"_s << -28.7903 << -25.78;
        QTest::newRow("sine, 122.8 mV where full scale reads 1.228 V")
            << u"sine --set Level=122.8mV --set OutputDevice=desk"_s << -20.0 << -20.0;
    }

    void typedLevelReachesTheFile()
    {
        QFETCH(QString, options);
        const Run run =
            RunProgram((u"--save out.wav --length 1 --frequencies 1000 --type "_s + options).split(u' '), folder);
        QCOMPARE(run.exitCode, 0);
        const WavInfo wav = ReadSound(folder + u"/out.wav"_s);
        QFETCH(double, peakDbfs);
        QFETCH(double, rmsDbfs);
        QVERIFY2(qAbs(PeakDbfs(wav.firstChannel) - peakDbfs) < 0.005, qPrintable(options));
        QVERIFY2(qAbs(Aes17RmsDbfs(wav.firstChannel) - rmsDbfs) < 0.005, qPrintable(options));
    }

    // On the test server's output --play returns once the tone has played; Ctrl+C stops a
    // looping one, and the program says so with 130.
    void playEndsOrIsInterrupted()
    {
        const QString sink = qEnvironmentVariable("QUORVANE_TEST_SINK");
        if (sink.isEmpty())
            QSKIP("No test audio server");
        const QStringList tone{u"--length"_s, u"1"_s, u"--set"_s, u"OutputDevice="_s + sink};
        QElapsedTimer clock;
        clock.start();
        const Run once = RunProgram(QStringList{u"--play"_s, u"--frequencies"_s, u"440"_s} + tone, folder);
        QCOMPARE(once.exitCode, ExitCode::Done);
        QCOMPARE(once.err, QString());
        QVERIFY(clock.elapsed() >= 1000);

        QProcess looping;
        looping.start(QStringLiteral(QUORVANE_PROGRAM),
                      QStringList{u"--play"_s, u"--preset"_s, u"EBU Line-Up Tone"_s} + tone);
        QVERIFY(!looping.waitForFinished(2500)); // past the end of the first round
        ::kill(pid_t(looping.processId()), SIGINT);
        QVERIFY(looping.waitForFinished(10000));
        QCOMPARE(looping.exitCode(), ExitCode::Interrupted);
    }

    // The completion offers every type and every settings value that --set takes.
    void completionOffersEveryChoice()
    {
        const QString completion = QString::fromUtf8(ReadFile(QStringLiteral(QUORVANE_COMPLETION)));
        for (const QString &label : WaveformLabels())
            QVERIFY2(completion.contains(MakeToneRequest({}, label, {}).Waveform), qPrintable(label));
        for (const OutputSettingRow &row : OutputSettingRows())
            for (const OutputChoice &choice : row.choices)
                QVERIFY2(completion.contains(row.key + u'=' + choice.stored + u'\n'), qPrintable(row.key));
    }

    // The manual page has an entry for every option that --help lists, every settings key and
    // every built-in preset.
    void manualPageNamesEverything()
    {
        const QString page =
            QString::fromUtf8(ReadFile(QStringLiteral(QUORVANE_MANUAL))).remove(u"\\&"_s).replace(u"\\-"_s, u"-"_s);
        const Run help = RunProgram({u"--help"_s}, folder);
        QCOMPARE(help.exitCode, ExitCode::Done);
        for (const QString &line : help.out.split(u'\n')) {
            if (line.startsWith(u"  -"_s))
                for (const QString &name : line.trimmed().section(u"  "_s, 0, 0).split(u", "_s))
                    QVERIFY2(page.contains(name.section(u' ', 0, 0)), qPrintable(name));
        }
        QStringList entries{Settings::Text1, Settings::Text2, Settings::Combo1, Settings::OutputDevice,
                            Settings::WindowPosition};
        for (const OutputSettingRow &row : OutputSettingRows())
            entries << row.key;
        for (const Preset &preset : BuiltInPresets())
            entries << preset.name;
        for (const QString &entry : std::as_const(entries))
            QVERIFY2(page.contains(u"\n.B "_s + entry + u'\n'), qPrintable(entry));
    }

    // A folder that refuses the file: the tool fails, and the message says so.
    void unwritableFolderFails()
    {
        QString why;
        const QString how = FaultFs::MakeReadOnly(folder, &why);
        if (how.isEmpty())
            QSKIP(qPrintable(why));
        const Run run =
            RunProgram({u"--save"_s, u"out.wav"_s, u"--length"_s, u"1"_s, u"--frequencies"_s, u"1k"_s}, folder);
        FaultFs::MakeWritable(folder, how);
        QCOMPARE(run.exitCode, ExitCode::Failed);
        QVERIFY2(run.err.startsWith(u"Failed to save tone.\n"_s) && !run.err.contains(u"Please email"_s),
                 qPrintable(run.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
    }

    void stoppedSaveLeavesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<Leftover>("leftover"); // what became of the file a kill left, before the next start
        QTest::newRow("SIGTERM") << int(SIGTERM) << Leftover::AsLeft;
        QTest::newRow("SIGINT") << int(SIGINT) << Leftover::AsLeft;
        QTest::newRow("SIGHUP") << int(SIGHUP) << Leftover::AsLeft;
        // Nothing can be done at a kill: the next start removes what it left, and nothing else.
        QTest::newRow("SIGKILL") << int(SIGKILL) << Leftover::AsLeft;
        QTest::newRow("SIGKILL, then another folder at its name") << int(SIGKILL) << Leftover::AnotherFolder;
        QTest::newRow("SIGKILL, then a link at its name") << int(SIGKILL) << Leftover::ALink;
        QTest::newRow("SIGKILL, then given to another user") << int(SIGKILL) << Leftover::AnotherUsers;
    }

    void stoppedSaveLeavesNothing()
    {
        QFETCH(int, signal);
        QFETCH(Leftover, leftover);
        if (leftover == Leftover::AnotherUsers && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        const QString output = folder + u"/long.wav"_s;
        QVERIFY(WriteFile(output, "an older file"));
        QProcess saving;
        // As from a terminal, whatever this test inherited (a background job ignores SIGINT).
        saving.setChildProcessModifier([] {
            for (const int each : {SIGTERM, SIGINT, SIGHUP})
                ::signal(each, SIG_DFL);
        });
        saving.start(QStringLiteral(QUORVANE_PROGRAM),
                     {u"--save"_s, output, u"--length"_s, u"600"_s, u"--frequencies"_s, u"440"_s});
        QString privateFile;
        QTRY_VERIFY_WITH_TIMEOUT(!(privateFile = PrivateFileBeingWritten(folder)).isEmpty(), 60000);
        const int toolEnd = int(::syscall(SYS_pidfd_open, FirstChildProcess(saving.processId()), 0));
        QVERIFY(toolEnd >= 0);
        // Another start leaves alone the file of a program that runs.
        QCOMPARE(RunProgram({u"--list-presets"_s}, folder).exitCode, 0);
        QVERIFY(QFile::exists(privateFile));

        ::kill(pid_t(saving.processId()), signal);
        QVERIFY(saving.waitForFinished(60000));
        QCOMPARE(saving.exitStatus(), QProcess::CrashExit);
        QCOMPARE(saving.exitCode(), signal);
        pollfd toolEnded{toolEnd, POLLIN, 0}; // the tool ends with the program
        QCOMPARE(::poll(&toolEnded, 1, 60000), 1);
        ::close(toolEnd);
        QStringList left{u"long.wav"_s};
        if (signal == SIGKILL) {
            QVERIFY(QFile::exists(privateFile));
            // What is at the private folder's name by the next start: the folder left, or another.
            const QString privateFolder = QFileInfo(privateFile).path();
            const QString precious = TestSandbox::NewFolder();
            QVERIFY(WriteFile(precious + u"/tone.wav"_s, "the person's own data"));
            if (leftover == Leftover::AnotherFolder)
                QVERIFY(QDir().rename(privateFolder, TestSandbox::NewFolder() + u"/moved"_s) &&
                        QDir().rename(precious, privateFolder) && QFile::link(privateFolder, precious));
            if (leftover == Leftover::ALink)
                QVERIFY(QDir(privateFolder).removeRecursively() && QFile::link(precious, privateFolder));
            if (leftover == Leftover::AnotherUsers)
                QCOMPARE(::chown(QFile::encodeName(privateFolder).constData(), 65534, 65534), 0);
            QCOMPARE(RunProgram({u"--list-presets"_s}, folder).exitCode, 0);
            QCOMPARE(ReadFile(precious + u"/tone.wav"_s), QByteArray("the person's own data"));
            if (leftover != Leftover::AsLeft)
                left.prepend(QFileInfo(privateFolder).fileName());
        }
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), left);
        QCOMPARE(ReadFile(output), QByteArray("an older file"));
        QCOMPARE(QDir(PrivateFileRecords()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The printed command, run by a shell, makes the very file that --save makes: dithered too.
    void soxCommandMakesTheSameFile_data()
    {
        QTest::addColumn<QStringList>("tone");
        QTest::newRow("tones together") << QStringList{u"--preset"_s, u"SMPTE Intermodulation"_s, u"--length"_s,
                                                       u"1"_s};
        QTest::newRow("16-bit") << QStringList{u"--length"_s, u"1"_s,     u"--frequencies"_s,
                                               u"1k"_s,       u"--set"_s, u"SampleFormat=16"_s};
        QTest::newRow("24-bit steps with pauses")
            << QStringList{u"--length"_s,        u"0.3"_s,   u"--frequencies"_s, u"440; 880@-6"_s, u"--set"_s,
                           u"SampleFormat=24"_s, u"--set"_s, u"StepPause=0.25"_s};
        QTest::newRow("16-bit alias-free square")
            << QStringList{u"--length"_s, u"0.5"_s,   u"--frequencies"_s,   u"1k"_s,    u"--type"_s,
                           u"square"_s,   u"--set"_s, u"SampleFormat=16"_s, u"--set"_s, u"AliasFree=1"_s};
    }

    void soxCommandMakesTheSameFile()
    {
        QFETCH(QStringList, tone);
        const Run printed = RunProgram(QStringList{u"--sox-command"_s} + tone, folder);
        QCOMPARE(printed.exitCode, 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, u"cd \"$1\" && "_s + printed.out, u"sh"_s, folder}), 0);
        QCOMPARE(RunProgram(QStringList{u"--save"_s, u"saved.wav"_s} + tone, folder).exitCode, 0);
        QCOMPARE(ReadFile(folder + u"/tone.wav"_s), ReadFile(folder + u"/saved.wav"_s));
    }

    // --impulse-response of a wire, of one 4800 samples late, and of what is refused.
    void impulseResponse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // a pattern of stdout, or of stderr when it is not 0
        const QStringList inverse{u"--inverse"_s, u"sweep-inverse.wav"_s};
        QTest::newRow("wire") << QStringList{u"--impulse-response"_s, u"sweep.wav"_s} + inverse << 0
                              << u"Impulse response: .*/sweep-ir.wav\nDelay: 0 samples, 0.000000 s\nPeak: "
                                 "-?\\d+.\\d\\d dBFS, at 2.59[0-9]+ s in the response \\(sample \\d+\\)\n"_s;
        QTest::newRow("late, saved elsewhere")
            << QStringList{u"--impulse-response"_s, u"late.wav"_s, u"--save"_s, u"room.wav"_s} + inverse << 0
            << u"Impulse response: .*/room.wav\nDelay: 4800 samples, 0.100000 s\n.*"_s;
        QTest::newRow("no filter") << QStringList{u"--impulse-response"_s, u"sweep.wav"_s} << 64
                                   << u"--impulse-response takes one recording, --inverse its filter.*"_s;
        QTest::newRow("a file of another's at the name")
            << QStringList{u"--impulse-response"_s, u"other.wav"_s} + inverse << 2
            << u".*/other-ir.wav exists and is not an earlier impulse response of this recording.*"_s;
        QTest::newRow("no recording") << QStringList{u"--impulse-response"_s, u"none.wav"_s} + inverse << 1
                                      << u"No impulse response was made.\n.*none.wav was not found.\n"_s;
    }

    void impulseResponse()
    {
        QFETCH(QStringList, arguments);
        QCOMPARE(RunProgram({u"--preset"_s, u"Measurement Sweep"_s, u"--save"_s, u"sweep.wav"_s}, folder).exitCode, 0);
        QCOMPARE(QProcess::execute(u"sox"_s, {folder + u"/sweep.wav"_s, folder + u"/late.wav"_s, u"pad"_s, u"4800s"_s}),
                 0);
        QVERIFY(QFile::copy(folder + u"/sweep.wav"_s, folder + u"/other.wav"_s));
        QVERIFY(WriteFile(folder + u"/other-ir.wav"_s, "someone's"));
        const Run run = RunProgram(arguments, folder);
        QTEST(run.exitCode, "exitCode");
        QFETCH(QString, printed);
        QVERIFY2(QRegularExpression(u"^(%1)$"_s.arg(printed), QRegularExpression::DotMatchesEverythingOption)
                     .match(run.exitCode == 0 ? run.out : run.err)
                     .hasMatch(),
                 qPrintable(run.out + run.err));
    }
};

QUORVANE_TEST_MAIN(CommandLineTest)

#include "tst_command_line.moc"

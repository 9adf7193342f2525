// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run_and_wait.h"
#include "core/synth_command.h"
#include "core/synth_run.h"
#include "core/temp_folder.h"
#include "core/tool_files.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QDir>
#include <QRegularExpression>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// Where a row sets its traps: the working folder's name, a folder of the other account's, and a
// file of the person's that the links point at.
struct Traps
{
    QString name;
    QString planted;
    QString victim;
};

// Puts something at the working folder's name beforehand.
using TakeWorkFolder = std::function<bool(const Traps &)>;
Q_DECLARE_METATYPE(TakeWorkFolder)

// The whole core path that a command takes: tool files out, one run, tool files gone.
class SynthesisTest : public QObject
{
    Q_OBJECT

    QString temp;
    QString outputFolder;

    qint32 Synthesize(const QString &output, const QString &length, const QString &waveform, const QString &frequencies,
                      ShellRunDetails *details = nullptr, const OutputOptions &options = {})
    {
        ToolRun::Deploy();
        const SynthCommand command = ToolRun::Command(output, MakeToneRequest(length, waveform, frequencies), options);
        const qint32 result = ShellAndWait(command.program, command.arguments, 0, details, {CheckTrustedTool});
        ToolRun::Remove();
        return result;
    }

private slots:
    void init()
    {
        temp = TestSandbox::FreshTempFolder();
        outputFolder = TestSandbox::NewFolder();
    }

    void cleanup()
    {
        // Only what the tool was asked to write: no tool file survives a run.
        const QStringList left = QDir(WorkFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(left.filter(u"preview.wav"_s).size(), left.size());
    }

    void writesTheRequestedTone_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("frequency"); // 0: noise, no single peak

        QTest::newRow("5000 Hz sine survives the sample rate")
            << u"2,5"_s << u"Sine (Default)"_s << u"5000"_s << 2.5 << 5000.0;
        QTest::newRow("decimal comma frequency") << u"1"_s << u"Square"_s << u"440,5"_s << 1.0 << 440.5;
        QTest::newRow("hh:mm:ss length") << u"00:00:01.5"_s << u"Triangle"_s << u"1000"_s << 1.5 << 1000.0;
        QTest::newRow("white noise is mono") << u"1"_s << u"White Noise"_s << u""_s << 1.0 << 0.0;
        QTest::newRow("pink noise is mono") << u"1"_s << u"Pink Noise"_s << u"1000"_s << 1.0 << 0.0;
        QTest::newRow("brown noise is mono") << u"1"_s << u"Brown Noise"_s << u""_s << 1.0 << 0.0;
    }

    void writesTheRequestedTone()
    {
        QFETCH(QString, length);
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(double, seconds);
        QFETCH(double, frequency);
        const QString output = outputFolder + u"/tone with blanks.wav"_s;

        ShellRunDetails details;
        QCOMPARE(Synthesize(output, length, waveform, frequencies, &details), 0);
        QVERIFY2(details.started, qPrintable(details.errorOutput));

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.sampleRate, 48000);
        QCOMPARE(wav.channels, 1);
        QCOMPARE(qRound(wav.durationSeconds() * 1000), qRound(seconds * 1000));
        if (frequency > 0) {
            const double measured = DominantFrequency(wav.firstChannel, wav.sampleRate);
            QVERIFY2(qAbs(measured - frequency) < 2.0, qPrintable(QString::number(measured)));
        } else {
            QVERIFY(RmsLevel(wav.firstChannel) > 0.01);
        }
    }

    void outputOptionsShapeTheWrittenFile_data()
    {
        QTest::addColumn<QList<int>>("choices"); // per setting in menu order; -1 keeps the default
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<double>("peakDbfs");
        QTest::addColumn<QString>("channels"); // per channel: S sounds, 0 digital silence
        QTest::addColumn<bool>("softEdges");
        // Loop, level, channels, soft edges, rate, format.
        QTest::newRow("defaults: full scale, hard edges")
            << QList<int>{} << 48000 << 32 << false << 0.0 << u"S"_s << false;
        QTest::newRow("-6 dBFS, 16-bit, 44.1 kHz")
            << QList<int>{-1, 2, -1, -1, 1, 0} << 44100 << 16 << false << -6.0 << u"S"_s << false;
        QTest::newRow("left only, 24-bit, soft")
            << QList<int>{-1, 3, 1, 1, 3, 1} << 96000 << 24 << false << -12.0 << u"S0"_s << true;
        QTest::newRow("right only, telephone")
            << QList<int>{-1, 5, 2, -1, 0, -1} << 8000 << 32 << false << -30.0 << u"0S"_s << false;
        QTest::newRow("both, float, 192 kHz, soft")
            << QList<int>{1, 4, 3, 1, 4, 3} << 192000 << 32 << true << -20.0 << u"SS"_s << true;
    }

    // Measured in the file itself: what a player or an editor would find there.
    void outputOptionsShapeTheWrittenFile()
    {
        QFETCH(QList<int>, choices);
        QFETCH(QString, channels);
        OutputOptions options;
        for (int setting = 0; setting < choices.size(); ++setting)
            if (choices[setting] >= 0)
                options.setChoice(OutputSetting(setting), choices[setting]);
        const QString output = outputFolder + u"/options.wav"_s;
        // The tone ends at 0.54 of full scale when nothing softens it.
        QCOMPARE(Synthesize(output, u"3"_s, u"Sine (Default)"_s, u"441.7"_s, nullptr, options), 0);

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QTEST(wav.sampleRate, "rate");
        QTEST(wav.bitsPerSample, "bits");
        QTEST(wav.isFloat, "isFloat");
        QCOMPARE(wav.frames, 3 * qint64(wav.sampleRate));
        QCOMPARE(wav.channels, int(channels.size()));
        // What the window's progress estimate takes the file to be.
        QCOMPARE(options.channelCount(), wav.channels);
        QCOMPARE(options.bitsPerSample(), wav.bitsPerSample);
        QFETCH(double, peakDbfs);
        for (int channel = 0; channel < wav.channels; ++channel) {
            const auto &samples = channel ? wav.secondChannel : wav.firstChannel;
            if (channels[channel] == u'0') {
                QVERIFY(std::all_of(samples.begin(), samples.end(), [](double s) { return s == 0; }));
                continue;
            }
            QVERIFY2(qAbs(PeakDbfs(samples) - peakDbfs) < 0.1, qPrintable(QString::number(PeakDbfs(samples))));
            QVERIFY(qAbs(DominantFrequency(samples, wav.sampleRate) - 441.7) < 2);
            // The larger end, as a share of the peak.
            const double edge = std::max(qAbs(samples.front()), qAbs(samples.back())) / std::pow(10, peakDbfs / 20);
            QFETCH(bool, softEdges);
            QVERIFY2(softEdges ? edge < 1e-3 : edge > 0.1, qPrintable(QString::number(edge)));
        }
    }

    void toolFailureIsReportedWithItsReason()
    {
        ShellRunDetails details;
        const qint32 result = Synthesize(outputFolder + u"/bad.wav"_s, u"1"_s, u"Sine (Default)"_s, u"abc"_s, &details);
        QVERIFY(result != 0);
        QVERIFY(details.started);
        QVERIFY2(details.errorOutput.contains(u"synth"_s), qPrintable(details.errorOutput));
    }

    void quoteInOutputPathWritesExactlyThatFile()
    {
        const QString output = outputFolder + uR"(/a" -n "b.wav)"_s;
        QCOMPARE(Synthesize(output, u"0.1"_s, u"Sine (Default)"_s, u"440"_s), 0);
        QCOMPARE(QDir(outputFolder).entryList(QDir::Files), QStringList{QFileInfo(output).fileName()});
    }

    void workFolderIsPrivate_data()
    {
        QTest::addColumn<TakeWorkFolder>("take"); // what is at <base>/quorvane-<uid> beforehand
        QTest::addColumn<QString>("logged");      // why a fresh folder is used for this run; empty: none
        const auto folderWithATrap = [](const Traps &at) {
            return QDir().mkdir(at.name) && QFile::link(at.victim, at.name + u"/preview.wav"_s);
        };
        const auto encoded = [](const QString &path) { return QFile::encodeName(path); };
        QTest::newRow("nothing yet") << TakeWorkFolder([](const Traps &) { return true; }) << QString();
        QTest::newRow("our folder, readable by others") << TakeWorkFolder([=](const Traps &at) {
            return folderWithATrap(at) && ::chmod(encoded(at.name).constData(), 0755) == 0;
        }) << QString();
        // Someone planted a folder under a tool file's name that we can never remove.
        QTest::newRow("our folder, open to others") << TakeWorkFolder([=](const Traps &at) {
            const QString planted = at.name + u"/zlib1.dll"_s;
            return folderWithATrap(at) && ::chmod(encoded(at.name).constData(), 0777) == 0 &&
                   QDir().mkpath(planted + u"/inside"_s) && ::chown(encoded(planted).constData(), 65534, 65534) == 0;
        }) << u"other users could have put things in it"_s;
        QTest::newRow("another user's folder") << TakeWorkFolder([=](const Traps &at) {
            return folderWithATrap(at) && ::lchown(encoded(at.name).constData(), 65534, 65534) == 0;
        }) << u"it belongs to another user"_s;
        QTest::newRow("a link to a folder")
            << TakeWorkFolder([](const Traps &at) { return QFile::link(at.planted, at.name); }) << u"it is a link"_s;
        QTest::newRow("a named pipe") << TakeWorkFolder([=](const Traps &at) {
            return ::mkfifo(encoded(at.name).constData(), 0666) == 0;
        }) << u"it is not a folder"_s;
    }

    void workFolderIsPrivate()
    {
        QFETCH(TakeWorkFolder, take);
        QFETCH(QString, logged);
        // Another account's traps: links to the person's file in the shared base and inside a
        // folder planted under the working folder's name.
        const QString victim = outputFolder + u"/precious"_s;
        QVERIFY(WriteFile(victim, "mine"));
        const QString name = temp + u"/quorvane-"_s + QString::number(::geteuid());
        const QString planted = TestSandbox::NewFolder();
        QVERIFY(QFile::link(victim, temp + u"/preview.wav"_s) && QFile::link(victim, planted + u"/preview.wav"_s));
        QVERIFY(take({name, planted, victim}));

        if (!logged.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"\\(%1\\), so this run works in "_s.arg(logged)));
        const QString folder = WorkFolder();
        QCOMPARE(folder.startsWith(name + u'-'), !logged.isEmpty());
        QCOMPARE(folder.startsWith(name + u"/run-"_s), logged.isEmpty());
        QCOMPARE(PrivateFolderProblem(folder), QString());
        struct stat status
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0700));
        QCOMPARE(WorkFolder(), folder); // the same for the rest of the run

        const ToneRequest request = MakeToneRequest(u"0.1"_s, u"Sine (Default)"_s, u"440"_s);
        ToolRun::Deploy();
        const SynthRun run = RunSynthCommand(ToolRun::Command(FreshPreviewPath(), request), request);
        ToolRun::Remove();
        QCOMPARE(SynthRunProblem(run, PreviewPath()), QString());
        QCOMPARE(QFileInfo(PreviewPath()).path(), folder);
        QVERIFY(!QFileInfo(PreviewPath()).isSymLink());
        QCOMPARE(QFileInfo(victim).size(), 4); // never written through
    }

    // Every format is judged by what it holds: libsndfile reads the headers it knows, the tool
    // decodes the rest. A format that keeps another rate than the one chosen is never "Done.".
    void writtenFileIsJudgedInItsOwnRate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("problem"); // part of the verdict; empty: complete
        QTest::newRow("wave") << u"t.wav"_s << u"48000"_s << QString();
        QTest::newRow("WavPack, decoded by the tool") << u"t.wv"_s << u"48000"_s << QString();
        QTest::newRow("OKI ADPCM, no header") << u"t.vox"_s << u"48000"_s << QString();
        QTest::newRow("IMA ADPCM, no header") << u"t.ima"_s << u"48000"_s << QString();
        QTest::newRow("raw samples") << u"t.raw"_s << u"96000"_s << QString();
        QTest::newRow("HTK keeps a rounded rate") << u"t.htk"_s << u"48000"_s << u"at 48076 Hz, not at the 48000 Hz"_s;
        QTest::newRow("8SVX keeps at most 65535 Hz") << u"t.8svx"_s << u"192000"_s << u"at 65535 Hz"_s;
        QTest::newRow("XI keeps 44100 Hz") << u"t.xi"_s << u"8000"_s << u"at 44100 Hz"_s;
        QTest::newRow("GSM is made at 8000 Hz") << u"t.gsm"_s << u"48000"_s << u"at 8000 Hz"_s;
    }

    void writtenFileIsJudgedInItsOwnRate()
    {
        QFETCH(QString, name);
        QFETCH(QString, rate);
        QFETCH(QString, problem);
        OutputOptions options;
        options.restore(OutputSetting::SampleRate, rate);
        options.restore(OutputSetting::SampleFormat, u"16"_s);
        const ToneRequest request = MakeToneRequest(u"1"_s, u"Sine (Default)"_s, u"440"_s);
        const QString output = outputFolder + u'/' + name;
        ToolRun::Deploy();
        const SynthRun run = RunSynthCommand(ToolRun::Command(output, request, options), request);
        ToolRun::Remove();
        const QString verdict = SynthRunProblem(run, output);
        QVERIFY2(problem.isEmpty() ? verdict.isEmpty() : verdict.contains(problem), qPrintable(verdict));
        QVERIFY2(!verdict.contains(u"cut short"_s), qPrintable(verdict)); // every one is complete
    }

    void plantedToolIsNeverStarted()
    {
        // Deployment replaced what was planted, but a file swapped in after deployment must
        // not run either.
        ToolRun::Deploy();
        const QString sox = ToolPath(ToolFiles[0]);
        QFile::remove(sox);
        QVERIFY(WriteFile(sox, "#!/bin/sh\ntouch \"$0.ran\"\n", ExecutableByOwner));
        const SynthCommand command = ToolRun::Command(outputFolder + u"/x.wav"_s, {});
        ShellRunDetails details;
        QVERIFY(ShellAndWait(command.program, command.arguments, 0, &details, {CheckTrustedTool}) < 0);
        QVERIFY(!QFile::exists(sox + u".ran"_s));
        QVERIFY2(details.errorOutput.contains(u"not started"_s), qPrintable(details.errorOutput));
        ToolRun::Remove();
    }
};

QUORVANE_TEST_MAIN(SynthesisTest)
#include "tst_synthesis.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/synth_command.h"
#include "core/plan/tone_plan.h"
#include "core/run/temp_folder.h"
#include "core/run/tone_progress.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

using ToolRun::Options;

// The working folder's name in a base that does not exist: nothing is made there.
QString WorkIn(const QString &base)
{
    return base + u"/quorvane-"_s + QString::number(::geteuid());
}

} // namespace

class SynthCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("TEMP", "/work temp");
        qunsetenv("TMPDIR");
    }

    void buildsTextAndArguments_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("inputs"); // length, waveform label, frequencies
        QTest::addColumn<QString>("options");    // stored output options; empty: all defaults
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments"); // empty: the words of the text, the output one of them

        QTest::newRow("white noise sweep")
            << u"/tones/a.wav"_s << QStringList{u"2"_s, u"White Noise"_s, u"300-3300"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/tones/a.wav" synth 2 whitenoise 300-3300)"_s << QStringList();
        QTest::newRow("hh:mm:ss length")
            << u"/t/b.wav"_s << QStringList{u"00:05:30.0"_s, u"Sine (Default)"_s, u"5000"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/b.wav" synth 00:05:30.0 sine 5000)"_s << QStringList();
        QTest::newRow("output with blanks is one argument")
            << u"/My Tones/a b.wav"_s << QStringList{u"1"_s, u"Square"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/My Tones/a b.wav" synth 1 square 440)"_s << QStringList();
        QTest::newRow("quote in output cannot split it")
            << uR"(/t/a" -n "/etc/x.wav)"_s << QStringList{u"1"_s, u"Exp"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/a" -n "/etc/x.wav" synth 1 exp 440)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,  uR"(/t/a" -n "/etc/x.wav)"_s,
                           u"synth"_s, u"1"_s,     u"exp"_s, u"440"_s};
        QTest::newRow("output starting with a dash is no option")
            << u"-n.wav"_s << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "./-n.wav" synth 1 sine 440)"_s << QStringList();
        QTest::newRow("empty waveform leaves two blanks, no argument")
            << u"/t/c.wav"_s << QStringList{u"3"_s, u""_s, u"1000"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/c.wav" synth 3  1000)"_s << QStringList();
        QTest::newRow("decimal commas arrive as dots")
            << u"/t/d.wav"_s << QStringList{u"2,5"_s, u"Triangle"_s, u"440,5"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/d.wav" synth 2.5 triangle 440.5)"_s << QStringList();
        QTest::newRow("typed blanks split fields, empty pieces dropped")
            << u"/t/e.wav"_s << QStringList{u" 1  2 "_s, u"Pink Noise"_s, u""_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/e.wav" synth  1  2  pinknoise )"_s << QStringList();
        QTest::newRow("unknown stored values and looping change nothing")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"Level=-4.125 Channels=left SoftEdges=yes SampleRate=48000.0 SampleFormat=32F LoopPreview=1"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 sine 440)"_s << QStringList();
        QTest::newRow("global options before -n, effects gain, fade, channels")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"Channels=Left SoftEdges=1 Level=-6 SampleFormat=16 SampleRate=44100"_s
            << uR"("/work temp/sox.exe" -R -r 44100 -b 16 -n "/t/o.wav" synth 3 sine 440 gain -6 fade h 0.01 -0 0.01 remix 1 0)"_s
            << QStringList();
        QTest::newRow("float at 192 kHz, right only")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"SampleRate=192000 SampleFormat=32f Channels=Right Level=-30"_s
            << uR"("/work temp/sox.exe" -r 192000 -e floating-point -b 32 -n "/t/o.wav" synth 3 sine 440 gain -30 remix 0 1)"_s
            << QStringList();
        QTest::newRow("an RMS level of a sine is its peak level")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s} << u"LevelUnit=RMS Level=-20"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 sine 440 gain -20)"_s << QStringList();
        // AES17: a full-scale square reads +3.01 dBFS RMS.
        QTest::newRow("a square's RMS level is 3.01 dB above its peak level")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Square"_s, u"440"_s} << u"LevelUnit=RMS Level=-23"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 square 440 gain -26.0103)"_s << QStringList();
        QTest::newRow("alias-free leaves a sine as it is")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s} << u"AliasFree=1 Level=-18"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 sine 440 gain -18)"_s << QStringList();
        QTest::newRow("alias-free and a noise band leave a plain noise as it is")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Pink Noise"_s, u"440"_s} << u"AliasFree=1 NoiseBand=1"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 pinknoise 440)"_s << QStringList();
        // At full scale a dithered format keeps room for the dither, drawn the same in every run.
        QTest::newRow("telephone rate, 24 bits, both channels")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"SampleRate=8000 SampleFormat=24 Channels=Both Level=0"_s
            << uR"("/work temp/sox.exe" -R -r 8000 -b 24 -n "/t/o.wav" synth 3 sine 440 gain -0.001 channels 2)"_s
            << QStringList();
    }

    void temporaryFolderIsAlwaysAbsolute_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<bool>("relative");
        QTest::newRow("absolute") << QByteArray("/work temp") << false;
        QTest::newRow("relative") << QByteArray("tmp/x") << true;
        QTest::newRow("an option of the tool") << QByteArray("-n") << true;
    }

    void temporaryFolderIsAlwaysAbsolute()
    {
        QFETCH(QByteArray, temp);
        QFETCH(bool, relative);
        qputenv("TEMP", temp);
        const QString expected = QString::fromUtf8(temp);
        QCOMPARE(TempFolder(), relative ? QDir::currentPath() + u'/' + expected : expected);
        const SynthCommand command = ToolRun::Command(PreviewPath(), MakeToneRequest(u"1"_s, u"Sine"_s, u"440"_s));
        QVERIFY(command.program.startsWith(u'/'));
        QVERIFY(command.arguments[command.arguments.indexOf(u"-n"_s) + 1].startsWith(u'/'));
    }

    void buildsTextAndArguments()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        const SynthCommand command =
            ToolRun::Command(output, MakeToneRequest(inputs[0], inputs[1], inputs[2]), Options(options));
        QFETCH(QString, text);
        QCOMPARE(command.text, text.replace(u"/work temp/"_s, WorkIn(u"/work temp"_s) + u'/'));
        QFETCH(QStringList, arguments);
        if (arguments.isEmpty()) {
            // What the text shows, split at blanks, but the quoted output stays one word.
            const qsizetype start = text.indexOf(u" -n \""_s) + 5;
            const qsizetype end = text.indexOf(u"\" synth"_s, start);
            arguments = text.mid(text.indexOf(u"\" "_s) + 2, start - 1 - text.indexOf(u"\" "_s) - 2)
                            .split(u' ', Qt::SkipEmptyParts) +
                        QStringList{text.mid(start, end - start)} + text.mid(end + 2).split(u' ', Qt::SkipEmptyParts);
        }
        QCOMPARE(command.arguments, arguments);
        QCOMPARE(command.program, WorkIn(u"/work temp"_s) + u"/sox.exe"_s);
        // What a check of the written file's length needs to know.
        QCOMPARE(command.layout.sampleRate, command.arguments[command.arguments.indexOf(u"-r"_s) + 1].toInt());
    }

    void copiedCommandIsOneAShellRunsAsIs_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("command");
        QTest::newRow("defaults") << QStringList{u"3"_s, u"Sine (Default)"_s, u"300-3300"_s} << u""_s
                                  << u"sox -r 48000 -n tone.wav synth 3 sine 300-3300"_s;
        QTest::newRow("options") << QStringList{u"2,5"_s, u"Pink Noise"_s, u""_s}
                                 << u"Level=-12 SoftEdges=1 Channels=Both SampleFormat=32f"_s
                                 << u"sox -r 48000 -e floating-point -b 32 -n tone.wav synth 2.5 pinknoise gain -12 "
                                    "fade h 0.01 -0 0.01 channels 2"_s;
        // Each tone on a channel of its own, summed with its share of the level (0 dBFS is kept a
        // thousandth of a decibel below full scale).
        const QString half = QString::number(0.5 * std::pow(10, -0.001 / 20), 'g', 12);
        const QString whole = QString::number(std::pow(10, -0.001 / 20), 'g', 12);
        QTest::newRow("tones together") << QStringList{u"3"_s, u"Sine (Default)"_s, u"697 & 1209"_s} << u""_s
                                        << u"sox -r 48000 -c 2 -n tone.wav synth -n 3 sine 697 sine 1209 remix -m "
                                           "1v%1,2v%1"_s.arg(half);
        QTest::newRow("left | right is stereo whatever the Channels option")
            << QStringList{u"3"_s, u"Sine (Default)"_s, u"440|444"_s} << u"Channels=Left"_s
            << u"sox -r 48000 -c 2 -n tone.wav synth -n 3 sine 440 sine 444 remix -m 1v%1 2v%1"_s.arg(whole);
        // L = 29 / 20 s. It starts six widths sqrt(L / f) below 20 Hz, at 9 / L = 6.2069 Hz, and
        // goes as far above 20 kHz, to 20717.2 Hz, in 564669 samples; each fade takes the outer half of
        // the run beyond the band (48000 L ln(20 / f0) / 2 = 40718, 48000 L ln(fe / 20000) / 2 = 1226);
        // then a second of zeros, dithered before it when the format is.
        QTest::newRow("measurement sweep")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20:20000"_s} << u"MeasurementSweep=1 SampleFormat=16"_s
            << u"sox -R -D -r 48000 -b 16 -n tone.wav synth 564669s sine 6.20689655172/20717.2375733 fade h 40718s "
               "564669s 1226s gain -0.001 dither -p 16 pad 0 48000s"_s;
        QTest::newRow("shell characters are quoted")
            << QStringList{u"1 $(reboot)"_s, u"Square"_s, u"440'a;b `c` \\ *~ \"é\""_s} << u""_s
            << uR"(sox -r 48000 -n tone.wav synth 1 '$(reboot)' square '440'\''a;b' '`c`' '\' '*~' '"é"')"_s;
    }

    void copiedCommandIsOneAShellRunsAsIs()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        const ToneRequest request = MakeToneRequest(inputs[0], inputs[1], inputs[2]);
        const QString command = CopyableSoxCommand(request, Options(options));
        QTEST(command, "command");
        // A real shell hands the tool exactly the words of the run.
        QProcess shell;
        shell.start(u"/bin/sh"_s, {u"-c"_s, u"printf '%s\\n' "_s + command.mid(4)});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
                 ToolRun::Command(u"tone.wav"_s, request, Options(options)).arguments);
    }

    void optionsThatCannotMakeTheToneRemind_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("reminder"); // empty: the tone can be made; '*' stands for any text
        // A triangle's RMS is 1 / sqrt(3) of its peak: at most -1.76 dBFS RMS (AES17).
        QTest::newRow("a triangle at 0 dBFS RMS would clip")
            << QStringList{u"1"_s, u"Triangle"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s
            << u"At 0 dBFS RMS this tone would clip: the highest level that fits is -1.8 dBFS RMS, so choose -3 dBFS "
               "or lower under Level."_s;
        QTest::newRow("a sine fits at 0 dBFS RMS")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s << u""_s;
        QTest::newRow("a square fits at 0 dBFS RMS")
            << QStringList{u"1"_s, u"Square"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s << u""_s;
        // Band-limited, it overshoots by the Gibbs 9 % of its jump: at most -3.18 dBFS RMS.
        QTest::newRow("a band-limited sawtooth at -3 dBFS RMS would clip")
            << QStringList{u"1"_s, u"Sawtooth"_s, u"1000"_s} << u"AliasFree=1 LevelUnit=RMS Level=-3"_s
            << u"At -3 dBFS RMS this tone would clip: the highest level that fits is -3.* dBFS RMS, so choose -6 "
               "dBFS or lower under Level."_s;
        QTest::newRow("alias-free: nothing below half the rate")
            << QStringList{u"1"_s, u"Square"_s, u"24k"_s} << u"AliasFree=1"_s
            << u"With Alias-Free Waveforms on, the frequency must be below half the sample rate (24000 Hz)."_s;
        QTest::newRow("alias-free: just below half the rate")
            << QStringList{u"1"_s, u"Square"_s, u"23999"_s} << u"AliasFree=1"_s << u""_s;
        QTest::newRow("alias-free: a sine at any frequency")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"30000"_s} << u"AliasFree=1"_s << u""_s;
        const QString notASweep = u"The measurement sweep is a Sine with one rising sweep in Frequencies, such as "
                                  "20-20000: turn off Measurement Sweep with Inverse Filter for other tones."_s;
        QTest::newRow("measurement sweep of a square")
            << QStringList{u"10"_s, u"Square"_s, u"20-20000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of one frequency")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"1000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of steps")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200; 200-2000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of bursts")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200"_s} << u"MeasurementSweep=1 Burst=10"_s << notASweep;
        QTest::newRow("measurement sweep of tones together")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200 & 30-300"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep without room above its band")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-23000"_s} << u"MeasurementSweep=1"_s
            << u"The measurement sweep runs on above its top frequency, so that the top is measured whole: at 48000 "
               "Hz, give a top well below 22800 Hz, or choose a higher rate under Sample Rate."_s;
        QTest::newRow("falling measurement sweep")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20000/20"_s} << u"MeasurementSweep=1"_s
            << u"The measurement sweep rises: give the lower frequency first, such as 20-20000."_s;
        QTest::newRow("a noise band above half the rate")
            << QStringList{u"1"_s, u"White Noise"_s, u"30000-40000"_s} << u"NoiseBand=1"_s
            << u"The noise band must begin below half the sample rate (24000 Hz)."_s;
    }

    void optionsThatCannotMakeTheToneRemind()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        QFETCH(QString, reminder);
        const ToneRequest request = MakeToneRequest(inputs[0], inputs[1], inputs[2]);
        // Only what the options cannot make: fields that do not fit are the grammar's to refuse.
        const ToneReading reading = ReadTone(request, Options(options));
        const QString told =
            reading.tone ? PlanTone(*reading.tone, Options(options)).reminder.value_or(QString()) : QString();
        QVERIFY2(QRegularExpression::fromWildcard(reminder, Qt::CaseSensitive).match(told).hasMatch(),
                 qPrintable(told));
    }

    void progressForTheTitle_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<QString>("expected"); // empty: the title stays as it is

        QTest::newRow("quiet in the first second") << u"/a.wav"_s << qint64(900) << qint64(96000) << u""_s;
        QTest::newRow("share of a wave file") << u"/a.wav"_s << qint64(1100) << qint64(96000) << u"making tone 50 %"_s;
        QTest::newRow("header before data") << u"/a.WAV"_s << qint64(1100) << qint64(44) << u"making tone 0 %"_s;
        QTest::newRow("never 100 % while running")
            << u"/a.aiff"_s << qint64(5000) << qint64(300000) << u"making tone 99 %"_s;
        QTest::newRow("compressed: seconds") << u"/a.flac"_s << qint64(2500) << qint64(1000) << u"making tone 2 s"_s;
        QTest::newRow("no extension: seconds") << u"/a"_s << qint64(61000) << qint64(0) << u"making tone 61 s"_s;
        // A tone the tool holds until it knows its peak grows only at the end.
        QTest::newRow("written at the end: seconds")
            << u"/a.wav?end"_s << qint64(3000) << qint64(44) << u"making tone 3 s"_s;
    }

    void progressForTheTitle()
    {
        QFETCH(QString, output);
        QFETCH(qint64, elapsedMs);
        QFETCH(qint64, written);
        // One second of 16-bit stereo at 48 kHz.
        const bool atTheEnd = output.endsWith(u"?end"_s);
        const auto expectedBytes = ExpectedSoundBytes(output.remove(u"?end"_s), {1.0, 48000, 16, 2, atTheEnd});
        QTEST(ToneProgressText(elapsedMs, written, expectedBytes).value_or(QString()), "expected");
    }

    void toolPathFollowsTemporaryFolder_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("base");

        QTest::newRow("TEMP wins") << QByteArray("/a") << QByteArray("/b") << u"/a"_s;
        QTest::newRow("empty TEMP falls back to TMPDIR") << QByteArray("") << QByteArray("/b") << u"/b"_s;
        QTest::newRow("neither set gives /tmp") << QByteArray() << QByteArray() << u"/tmp"_s;
        QTest::newRow("trailing slash taken unchanged") << QByteArray("/a/") << QByteArray() << u"/a/"_s;
    }

    void toolPathFollowsTemporaryFolder()
    {
        QFETCH(QByteArray, temp);
        QFETCH(QByteArray, tmpdir);
        temp.isNull() ? qunsetenv("TEMP") : qputenv("TEMP", temp);
        tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
        QFETCH(QString, base);
        QCOMPARE(TempFolder(), base);
        if (base == u"/tmp"_s)
            return; // the real one: the user's own working folder is not touched
        const SynthCommand command = ToolRun::Command(u"/o.wav"_s, {});
        QCOMPARE(command.program, WorkIn(base) + u"/sox.exe"_s);
        QVERIFY(command.text.startsWith(u'"' + command.program + u"\" "_s));
    }
};

QUORVANE_TEST_MAIN(SynthCommandTest)
#include "tst_synth_command.moc"

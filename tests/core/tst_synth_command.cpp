#include "synth_command.h"
#include "temp_folder.h"
#include "test_sandbox.h"
#include "tone_progress.h"
#include "tool_run.h"

using namespace Qt::Literals::StringLiterals;

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
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments");

        QTest::newRow("white noise sweep")
            << u"/tones/a.wav"_s << QStringList{u"2"_s, u"White Noise"_s, u"300-3300"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/tones/a.wav" synth 2 whitenoise 300-3300)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,         u"/tones/a.wav"_s,
                           u"synth"_s, u"2"_s,     u"whitenoise"_s, u"300-3300"_s};
        QTest::newRow("hh:mm:ss length")
            << u"/t/b.wav"_s << QStringList{u"00:05:30.0"_s, u"Sine (Default)"_s, u"5000"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/b.wav" synth 00:05:30.0 sine 5000)"_s
            << QStringList{u"-r"_s,    u"48000"_s,      u"-n"_s,   u"/t/b.wav"_s,
                           u"synth"_s, u"00:05:30.0"_s, u"sine"_s, u"5000"_s};
        QTest::newRow("output with blanks is one argument")
            << u"/My Tones/a b.wav"_s << QStringList{u"1"_s, u"Square"_s, u"440"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/My Tones/a b.wav" synth 1 square 440)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,     u"/My Tones/a b.wav"_s,
                           u"synth"_s, u"1"_s,     u"square"_s, u"440"_s};
        QTest::newRow("quote in output cannot split it")
            << uR"(/t/a" -n "/etc/x.wav)"_s << QStringList{u"1"_s, u"Exp"_s, u"440"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/a" -n "/etc/x.wav" synth 1 exp 440)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,  uR"(/t/a" -n "/etc/x.wav)"_s,
                           u"synth"_s, u"1"_s,     u"exp"_s, u"440"_s};
        QTest::newRow("empty waveform leaves two blanks, no argument")
            << u"/t/c.wav"_s << QStringList{u"3"_s, u""_s, u"1000"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/c.wav" synth 3  1000)"_s
            << QStringList{u"-r"_s, u"48000"_s, u"-n"_s, u"/t/c.wav"_s, u"synth"_s, u"3"_s, u"1000"_s};
        QTest::newRow("decimal commas arrive as dots")
            << u"/t/d.wav"_s << QStringList{u"2,5"_s, u"Triangle"_s, u"440,5"_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/d.wav" synth 2.5 triangle 440.5)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,       u"/t/d.wav"_s,
                           u"synth"_s, u"2.5"_s,   u"triangle"_s, u"440.5"_s};
        QTest::newRow("typed blanks split fields, empty pieces dropped")
            << u"/t/e.wav"_s << QStringList{u" 1  2 "_s, u"Pink Noise"_s, u""_s}
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/e.wav" synth  1  2  pinknoise )"_s
            << QStringList{u"-r"_s, u"48000"_s, u"-n"_s, u"/t/e.wav"_s, u"synth"_s, u"1"_s, u"2"_s, u"pinknoise"_s};
    }

    void buildsTextAndArguments()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, inputs);
        const SynthCommand command = ToolRun::Command(output, MakeToneRequest(inputs[0], inputs[1], inputs[2]));
        QTEST(command.text, "text");
        QTEST(command.arguments, "arguments");
        QCOMPARE(command.program, u"/work temp/sox.exe"_s);
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
    }

    void progressForTheTitle()
    {
        QFETCH(QString, output);
        QFETCH(qint64, elapsedMs);
        QFETCH(qint64, written);
        // One second of 16-bit stereo at 48 kHz.
        const auto expectedBytes = ExpectedSoundBytes(output, {1.0, 48000, 16, 2});
        QTEST(ToneProgressText(elapsedMs, written, expectedBytes).value_or(QString()), "expected");
    }

    void toolPathFollowsTemporaryFolder_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("program");

        QTest::newRow("TEMP wins") << QByteArray("/a") << QByteArray("/b") << u"/a/sox.exe"_s;
        QTest::newRow("empty TEMP falls back to TMPDIR") << QByteArray("") << QByteArray("/b") << u"/b/sox.exe"_s;
        QTest::newRow("neither set gives /tmp") << QByteArray() << QByteArray() << u"/tmp/sox.exe"_s;
        QTest::newRow("trailing slash taken unchanged") << QByteArray("/a/") << QByteArray() << u"/a//sox.exe"_s;
    }

    void toolPathFollowsTemporaryFolder()
    {
        QFETCH(QByteArray, temp);
        QFETCH(QByteArray, tmpdir);
        temp.isNull() ? qunsetenv("TEMP") : qputenv("TEMP", temp);
        tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
        const SynthCommand command = ToolRun::Command(u"/o.wav"_s, {});
        QTEST(command.program, "program");
        QVERIFY(command.text.startsWith(u'"' + command.program + u"\" "_s));
    }
};

QUORVANE_TEST_MAIN(SynthCommandTest)
#include "tst_synth_command.moc"

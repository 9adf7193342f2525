// SPDX-License-Identifier: GPL-3.0-or-later

// Preview when the sound output is not the program's alone: another program already plays a
// sound on the same server, or no sound server answers at all. Either way the tone is made, the
// command says nothing, and nobody else's sound is cut off.

#include "audio_recording.h"
#include "core/run/temp_folder.h"
#include "core/sound/playback.h"
#include "test_sandbox.h"
#include "wav_analysis.h"
#include "window_fixture.h"

#include <QProcess>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;
using namespace AudioRecording;
using namespace WindowFixture;

class PreviewSoundTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form1> window;

    // Previews the tone; the one message expected, or none.
    void preview(const QString &length, const QString &frequencies, RecordingDialogs &dialogs, const QString &said = {})
    {
        SetInputs(*window, length, 0, frequencies);
        dialogs.calls.clear();
        window->PushButton3->click();
        if (said.isEmpty()) {
            QVERIFY2(dialogs.calls.isEmpty(), qPrintable(dialogs.calls.value(0).text + dialogs.calls.value(0).detail));
        } else {
            const QStringList messages = dialogs.texts(DialogCall::Message);
            QVERIFY2(messages.size() == 1 && messages.first().contains(said), qPrintable(messages.join(u'|')));
        }
        QVERIFY(!window->CommandBusy);
        const WavInfo made = ReadWav(PreviewPath());
        QVERIFY2(made.valid, qPrintable(made.problem));
        QCOMPARE(QDir(WorkFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"preview.wav"_s});
    }

private slots:
    void init()
    {
        StartClean();
        window = StartWindow();
    }

    void cleanup()
    {
        StopPlayback();
        window.reset();
    }

    void previewWhileAnotherProgramPlays()
    {
        if (!HasTestServer())
            QSKIP("needs the private audio server of the test suite (run through ctest)");
        const QString other = TestSandbox::Root() + u"/other program.wav"_s;
        QCOMPARE(MakeTone(other, 3.0, 300), QString());
        Recorder recorder(TestSandbox::Root() + u"/heard.wav"_s);
        QVERIFY(recorder.start());
        QProcess player;
        player.start(u"paplay"_s, {other});
        QVERIFY2(player.waitForStarted(), qPrintable(player.errorString()));
        QTest::qWait(400);

        RecordingDialogs dialogs;
        preview(u"0.8"_s, u"1000"_s, dialogs);
        QVERIFY(IsSoundPlaying());
        // The other program plays on to its end: the preview neither stops nor replaces it.
        QVERIFY(player.waitForFinished(15'000));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
        const std::vector<double> heard = Sounding(recorder.stop());
        QVERIFY2(Seconds(heard) >= 2.5, qPrintable(Describe(heard)));
        QVERIFY2(ToneLevel(heard, 1000) > 0.05, qPrintable(Describe(heard)));
        QVERIFY2(ToneLevel(Tail(heard, 0.5), 300) > 0.3, qPrintable(Describe(Tail(heard, 0.5))));
        QVERIFY2(ToneLevel(Tail(heard, 0.5), 1000) < 0.05, qPrintable(Describe(Tail(heard, 0.5))));
    }

    void previewWithoutAnAudioServer()
    {
        if (!qEnvironmentVariableIsSet("QUORVANE_TEST_NO_AUDIO_SERVER"))
            QSKIP("runs where no audio server answers (tst_preview_sound_no_server)");
        // The tone is made and kept; one message says why nothing can play it.
        const QString said = u"The preview cannot be played. No sound server"_s;
        RecordingDialogs dialogs;
        preview(u"0.3"_s, u"440"_s, dialogs, said);
        QVERIFY(!IsSoundPlaying());
        // A second preview finds everything as the first left it.
        preview(u"0.2"_s, u"880"_s, dialogs, said);
        QVERIFY(!IsSoundPlaying());
    }
};

QUORVANE_TEST_MAIN(PreviewSoundTest)
#include "tst_preview_sound.moc"

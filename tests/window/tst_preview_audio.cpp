// SPDX-License-Identifier: GPL-3.0-or-later

#include "audio_recording.h"
#include "core/playback.h"
#include "test_sandbox.h"
#include "window_fixture.h"

#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;
using namespace AudioRecording;

// The Preview button as a person hears it, recorded from the private test audio server.
class PreviewAudioTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form1> window;
    std::unique_ptr<QTemporaryDir> folder;

private slots:
    void initTestCase()
    {
        if (!HasTestServer())
            QSKIP("needs the private audio server of the test suite (run through ctest)");
    }

    void init()
    {
        StartClean();
        folder = std::make_unique<QTemporaryDir>(TestSandbox::Root() + u"/heard-XXXXXX"_s);
        window = StartWindow();
    }

    void cleanup()
    {
        StopPlayback();
        QVERIFY(!window->CommandBusy);
        window.reset();
    }

    void previewSoundsTheRequestedTone()
    {
        SetInputs(*window, u"1,5"_s, 0, u"1000"_s);
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        RecordingDialogs dialogs;
        window->PushButton3->click();
        QVERIFY(IsSoundPlaying()); // the handler returned while the tone sounds
        QVERIFY(dialogs.calls.isEmpty());
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

        const auto sound = Sounding(recorder.stop());
        QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 1000), qPrintable(Describe(sound)));
        QVERIFY2(Seconds(sound) > 1.3 && Seconds(sound) < 1.7, qPrintable(Describe(sound)));
    }

    void secondPreviewReplacesTheFirst()
    {
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        SetInputs(*window, u"3"_s, 0, u"1000"_s);
        window->PushButton3->click();
        QTest::qWait(500);
        SetInputs(*window, u"0.5"_s, 0, u"3000"_s);
        window->PushButton3->click();
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

        const auto sound = Sounding(recorder.stop());
        QVERIFY2(Seconds(sound) < 1.6, qPrintable(Describe(sound))); // the first was cut short
        const auto end = Tail(sound, 0.3);
        QVERIFY2(IsNear(DominantFrequency(end, RecordRate), 3000), qPrintable(Describe(end)));
        QVERIFY(ToneLevel(end, 1000) < 0.1 * ToneLevel(end, 3000)); // not a mix
    }

    // Esc from the frequency field, where the focus usually is.
    void escapeSilencesAtOnce()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        SetInputs(*window, u"5"_s, 0, u"1000"_s);
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        window->PushButton3->click();
        QTest::qWait(1000);
        window->Options->popup({0, 0});
        QVERIFY(window->Options->actions().first()->isEnabled()); // Stop Sound, while a sound plays
        window->Options->close();
        QTest::keyClick(window->Text2, Qt::Key_Escape);
        QVERIFY(!IsSoundPlaying());

        const auto sound = Sounding(recorder.stop());
        // It sounded, and stopped long before the tone's own 5 s. How much of the first second was
        // heard depends on how busy the machine is, so only the end is held tight.
        QVERIFY2(Seconds(sound) > 0.3 && Seconds(sound) < 1.5, qPrintable(Describe(sound)));
        window->Options->popup({0, 0});
        QVERIFY(!window->Options->actions().first()->isEnabled());
        window->Options->close();
    }

    void loopPlaysOnPastTheTone()
    {
        Store(Settings::LoopPreview, u"1"_s);
        window = StartWindow();
        SetInputs(*window, u"0.5"_s, 0, u"1000"_s);
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        window->PushButton3->click();
        QTest::qWait(2200);
        QVERIFY(IsSoundPlaying());
        StopPlayback();

        // Well past the tone's own half second, with room for a late start on a busy machine.
        const auto sound = Sounding(recorder.stop());
        QVERIFY2(Seconds(sound) > 1.4, qPrintable(Describe(sound)));
        QVERIFY2(IsNear(DominantFrequency(Tail(sound, 0.3), RecordRate), 1000), qPrintable(Describe(sound)));
    }

    void failedSynthesisPlaysNothing()
    {
        SetInputs(*window, u"0.3"_s, 0, u"500"_s);
        window->PushButton3->click();
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

        // The preview file of that run is still there; a failed run must not play it again.
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        SetInputs(*window, u"0.3"_s, 7, u"300-3300"_s); // pink noise cannot sweep: the tool refuses
        RecordingDialogs dialogs;
        window->PushButton3->click();
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{PreviewFailed});
        QVERIFY(!IsSoundPlaying());
        QTest::qWait(500);
        QVERIFY(Sounding(recorder.stop()).empty());
    }
};

QUORVANE_TEST_MAIN(PreviewAudioTest)
#include "tst_preview_audio.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "audio_recording.h"
#include "core/run/temp_folder.h"
#include "core/sound/playback.h"
#include "settings_keys.h"
#include "test_sandbox.h"
#include "window/output_device_menu.h"
#include "window/status_line.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QFileInfo>
#include <QLabel>
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

    // Runs pactl on the test server; its output, or nothing when it failed.
    static std::optional<QString> Pactl(const QStringList &arguments)
    {
        QProcess pactl;
        pactl.start(u"pactl"_s, arguments);
        if (!pactl.waitForFinished(10000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }

    OutputDeviceMenu *deviceMenu() const
    {
        for (QAction *item : OpenedOptions(*window).actions()) {
            if (item->text() == u"Output Device"_s)
                return qobject_cast<OutputDeviceMenu *>(item->menu());
        }
        return nullptr;
    }

    // The items of the Output Device submenu as it opens, as a person reads them.
    QStringList openDeviceMenu() const
    {
        OutputDeviceMenu *devices = deviceMenu();
        emit devices->aboutToShow();
        QStringList items;
        for (const QAction *item : devices->actions())
            items << item->iconText();
        return items;
    }

    QAction *deviceItem(const QString &text) const
    {
        openDeviceMenu();
        for (QAction *item : deviceMenu()->actions()) {
            if (item->iconText() == text)
                return item;
        }
        return nullptr;
    }

    // Previews the tone and waits for its end.
    void previewToTheEnd()
    {
        window->PushButton3->click();
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));
    }

    // Waits until the live tone has taken a change newer than the last one listed and played on
    // for half a second after it; lists where it began, in frames of the stream.
    static void playOn(std::vector<qint64> &changes)
    {
        const auto taken = [&] {
            const LiveStatistics now = LiveToneStatistics();
            return (changes.empty() || now.changeFrame > changes.back()) &&
                   now.frames > now.changeFrame + RecordRate / 2;
        };
        QVERIFY(QTest::qWaitFor(taken, 10000));
        changes.push_back(LiveToneStatistics().changeFrame);
    }

    // Starts the live tone of 1000 Hz, as Loop Preview plays a steady tone.
    void previewLive(const QString &level = u"0"_s)
    {
        Store(SettingsKey::LoopPreview, u"1"_s);
        Store(SettingsKey::Level, level);
        window = StartWindow();
        SetInputs(*window, u"5"_s, 0, u"1000"_s);
        window->PushButton3->click();
        QVERIFY(IsSoundPlaying());
        QCOMPARE(window->Status->label()->text(), LiveText);
        QCOMPARE(window->PushButton3->text(), StopToneCaption);
    }

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
        Pactl({u"set-default-sink"_s, TestSink()});
        QVERIFY(!window->CommandBusy);
        window.reset();
    }

    // Typed as people write it; Preview reads Stop Tone while it sounds, for a screen reader too.
    void previewSoundsTheRequestedTone()
    {
        SetInputs(*window, u"1,5"_s, 0, u"440 Hz"_s);
        const QRect place = window->PushButton3->geometry();
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        RecordingDialogs dialogs;
        window->PushButton3->click();
        QVERIFY(IsSoundPlaying()); // the handler returned while the tone sounds
        QVERIFY(dialogs.calls.isEmpty());
        QCOMPARE(QAccessible::queryAccessibleInterface(window->PushButton3)->text(QAccessible::Name), StopToneCaption);
        QCOMPARE(window->Status->label()->text(), u"Playing — Esc stops"_s);
        QCOMPARE(window->PushButton3->geometry(), place);
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));
        QVERIFY(QTest::qWaitFor([&] { return window->PushButton3->text() == u"Preview Tone"_s; }, 1000));
        QVERIFY(!window->Status->label()->text().startsWith(u"Playing"_s));

        const auto sound = Sounding(recorder.stop());
        QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 440), qPrintable(Describe(sound)));
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
        window->PushButton3->click(); // Stop Tone
        window->PushButton3->click(); // Preview Tone again
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
        Store(SettingsKey::LoopPreview, u"1"_s);
        window = StartWindow();
        SetInputs(*window, u"0.5"_s, 0, u"1000"_s);
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        window->PushButton3->click();
        QTest::qWait(2200);
        QVERIFY(IsSoundPlaying());
        window->PushButton3->click(); // Stop Tone
        QVERIFY(!IsSoundPlaying());
        QCOMPARE(window->PushButton3->text(), u"Preview Tone"_s);

        // Well past the tone's own half second, with room for a late start on a busy machine.
        const auto sound = Sounding(recorder.stop());
        QVERIFY2(Seconds(sound) > 1.4, qPrintable(Describe(sound)));
        QVERIFY2(IsNear(DominantFrequency(Tail(sound, 0.3), RecordRate), 1000), qPrintable(Describe(sound)));
    }

    // The tone as the fields say, now: 1000 Hz at -20 dBFS, the field typed to 2000, -6 dBFS
    // chosen, Stop Tone; recorded from the test server's sink.
    void liveToneFollowsTheFieldsWithoutAClick()
    {
        const double low = 0.1;
        const double high = std::pow(10, -6 / 20.0);
        const QString path = folder->filePath(u"live.wav"_s);
        std::vector<qint64> changes;
        WavInfo wav;
        qint64 edited = 0;
        qint64 underruns = 0;
        // A loaded machine may starve the server now and then: a recording with such a gap says
        // nothing about clicks, and is made again.
        for (int attempt = 0; attempt < 3 && (attempt == 0 || underruns > 0); ++attempt) {
            changes.clear();
            Recorder recorder(path);
            QVERIFY(recorder.start());
            previewLive(u"-20"_s);
            playOn(changes);
            // Where the output is at the keystroke, by the server's clock.
            edited = LiveToneStatistics().playedFrames;
            window->Text2->setSelection(0, 1);
            QTest::keyClicks(window->Text2, u"2"_s);
            playOn(changes);
            window->Options->chooseStored({{OutputSetting::Level, u"-6"_s}});
            playOn(changes);
            underruns = LiveToneStatistics().underruns;
            window->PushButton3->click(); // Stop Tone
            QCOMPARE(window->PushButton3->text(), u"Preview Tone"_s);
            // The fade, then silence.
            const qint64 stopped = QFileInfo(path).size();
            QVERIFY(QTest::qWaitFor([&] { return QFileInfo(path).size() > stopped + 2 * RecordRate / 5; }, 10000));
            wav = recorder.stop();
        }
        QCOMPARE(underruns, 0);
        QVERIFY(wav.valid);

        const auto &all = wav.firstChannel;
        const auto onset =
            size_t(std::find_if(all.begin(), all.end(), [](double v) { return std::abs(v) > 0.002; }) - all.begin());
        const auto at = [&](qint64 frame, double seconds) {
            const auto from = qsizetype(onset) + frame;
            return std::vector<double>(all.begin() + from, all.begin() + from + qsizetype(seconds * RecordRate));
        };
        // 1000 Hz up to the keystroke; 2000 Hz from 50 ms after it; then -6 dBFS, ramped.
        const auto before = at(edited - RecordRate / 20, 0.04);
        const auto after = at(edited + RecordRate / 20, 0.04);
        QVERIFY2(ToneLevel(before, 1000) > 0.9 * low && ToneLevel(before, 2000) < 0.01 * low,
                 qPrintable(Describe(before)));
        QVERIFY2(ToneLevel(after, 2000) > 0.9 * low && ToneLevel(after, 1000) < 0.01 * low,
                 qPrintable(Describe(after)));
        const auto louder = at(changes[2] + RecordRate / 50, 0.04);
        QVERIFY2(std::abs(ToneLevel(louder, 2000) - high) < 0.02 * high, qPrintable(Describe(louder)));
        // No click at the start, the changes or the stop: the end is a fade, not a cut.
        QVERIFY(std::abs(all.back()) < 0.002);
        const double step = LargestStep(all);
        QVERIFY2(step <= 1.1 * SineStep(2000, high), qPrintable(u"a step of %1"_s.arg(step)));
    }

    // Every edit reaches the live tone at once, as soon as the fields make a tone; until then the
    // last one plays on, and the status line says so.
    void liveToneKeepsTheLastToneTheFieldsMade_data()
    {
        QTest::addColumn<QString>("edit"); // typed over the frequency field, or a key or a wheel turn
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("status");
        QTest::newRow("typed") << u"2000"_s << u"2000"_s << LiveText;
        QTest::newRow("Up key") << u"Up"_s << u"1001"_s << LiveText;
        QTest::newRow("Page Down key") << u"PageDown"_s << u"500"_s << LiveText;
        QTest::newRow("wheel, a notch up") << u"wheel 120"_s << u"1001"_s << LiveText;
        QTest::newRow("wheel, two notches down") << u"wheel -240"_s << u"998"_s << LiveText;
        QTest::newRow("half-typed") << u"1000 &"_s << u"1000 &"_s << LiveKeptText;
        QTest::newRow("emptied") << QString() << QString() << LiveKeptText;
        QTest::newRow("a sweep typed") << u"300-3300"_s << u"300-3300"_s << LiveNotSteadyText;
    }

    void liveToneKeepsTheLastToneTheFieldsMade()
    {
        QFETCH(QString, edit);
        QFETCH(QString, field);
        QFETCH(QString, status);
        previewLive();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->Text2->setFocus();
        const qint64 before = LiveToneStatistics().changeFrame;
        if (edit == u"Up"_s || edit == u"PageDown"_s) {
            QTest::keyClick(window->Text2, edit == u"Up"_s ? Qt::Key_Up : Qt::Key_PageDown);
        } else if (edit.startsWith(u"wheel"_s)) {
            QWheelEvent wheel({10, 10}, window->Text2->mapToGlobal(QPoint(10, 10)), {}, {0, edit.mid(6).toInt()},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(window->Text2, &wheel);
        } else {
            window->Text2->selectAll();
            QTest::keyClicks(window->Text2, edit);
            if (edit.isEmpty())
                QTest::keyClick(window->Text2, Qt::Key_Delete);
        }
        QCOMPARE(window->Text2->text(), field);
        QCOMPARE(window->Status->label()->text(), status);
        QVERIFY(IsSoundPlaying());
        if (status == LiveText)
            QVERIFY(QTest::qWaitFor([&] { return LiveToneStatistics().changeFrame > before; }, 10000));
        // A tone again: it is taken, and the line says so.
        window->Text2->selectAll();
        QTest::keyClicks(window->Text2, u"700"_s);
        QCOMPARE(window->Status->label()->text(), LiveText);
        QTest::keyClick(window->Text2, Qt::Key_Escape);
        QVERIFY(!IsSoundPlaying());
        QVERIFY(QTest::qWaitFor([&] { return window->PushButton3->text() == u"Preview Tone"_s; }, 1000));
    }

    // A change of the output device moves the live tone there; closing the window ends it.
    void liveToneMovesToTheChosenOutput()
    {
        previewLive();
        Recorder chosen(folder->filePath(u"chosen.wav"_s), SecondTestSink());
        QVERIFY(chosen.start());
        QVERIFY(QTest::qWaitFor([] { return LiveToneStatistics().frames > RecordRate; }, 10000));
        const qint64 played = LiveToneStatistics().frames;
        deviceItem(SecondTestSinkDescription)->trigger();
        // A stream of its own there, which then plays on for half a second.
        QVERIFY(QTest::qWaitFor([&] { return LiveToneStatistics().frames < played; }, 10000));
        QVERIFY(QTest::qWaitFor([] { return LiveToneStatistics().frames > RecordRate / 2; }, 10000));
        QCOMPARE(window->Status->label()->text(), LiveText);
        window->close();
        QVERIFY(!IsSoundPlaying());
        const auto sound = Sounding(chosen.stop());
        QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 1000), qPrintable(Describe(sound)));
    }

    // A sweep has no steady tone to play live: it loops from the tool's file.
    void loopedSweepPlaysTheFile()
    {
        Store(SettingsKey::LoopPreview, u"1"_s);
        window = StartWindow();
        SetInputs(*window, u"0.5"_s, 0, u"300-3300"_s);
        window->PushButton3->click();
        QVERIFY(IsSoundPlaying());
        QCOMPARE(window->Status->label()->text(), LoopText);
        QCOMPARE(ReadWav(PreviewPath()).frames, RecordRate / 2);
    }

    // Every output the server has, by its description, read again whenever the submenu opens.
    void outputDevicesAreListedAsTheMenuOpens()
    {
        QStringList items = openDeviceMenu();
        QCOMPARE(items.takeFirst(), u"System Default"_s);
        QVERIFY(deviceMenu()->actions().constFirst()->isChecked());
        QVERIFY2(items.contains(SecondTestSinkDescription) && items.size() == 3, qPrintable(items.join(u", "_s)));

        // Plugged in while the program runs, then taken away.
        const std::optional<QString> module =
            Pactl({u"load-module"_s, u"module-null-sink"_s, u"sink_name=quorvane_later"_s,
                   u"sink_properties=device.description=Later"_s});
        QVERIFY(module);
        QVERIFY(QTest::qWaitFor([&] { return openDeviceMenu().contains(u"Later"_s); }, 5000));
        QVERIFY(Pactl({u"unload-module"_s, *module}));
        QVERIFY(QTest::qWaitFor([&] { return !openDeviceMenu().contains(u"Later"_s); }, 5000));
        QCOMPARE(Stored(Settings::OutputDevice), u"<absent>"_s); // nothing stored until chosen
    }

    // The tone on the chosen output and nowhere else; the default is stored as nothing.
    // 5.1, each channel in turn, on an output of six channels: each channel sounds where it
    // belongs, in the file's order and alone, while the status line names it.
    void surroundChannelsSoundInTurnWhereTheyBelong()
    {
        Store(SettingsKey::Channels, u"5.1"_s);
        Store(OutputRow(OutputSetting::ChannelsInTurn).key, u"1"_s);
        Store(Settings::OutputDevice, SurroundTestSink());
        window = StartWindow();
        SetInputs(*window, u"0.5"_s, 0, u"1000"_s);
        Recorder recorder(
            folder->filePath(u"surround.wav"_s), SurroundTestSink(),
            {u"front-left"_s, u"front-right"_s, u"front-center"_s, u"lfe"_s, u"rear-left"_s, u"rear-right"_s});
        QVERIFY(recorder.start());
        window->PushButton3->click();
        QStringList named;
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QString speaker = window->Status->label()->text().section(u" · "_s, 0, 0);
                if (IsSoundPlaying() && (named.isEmpty() || named.back() != speaker))
                    named << speaker;
                return !IsSoundPlaying();
            },
            20000));
        recorder.stop();
        QCOMPARE(named, (QStringList{u"Front Left"_s, u"Front Right"_s, u"Centre"_s, u"LFE"_s, u"Rear Left"_s,
                                     u"Rear Right"_s}));
        const std::vector<std::vector<double>> heard = ReadChannels(folder->filePath(u"surround.wav"_s));
        QCOMPARE(heard.size(), size_t(6));
        qsizetype lastEnd = -1; // each channel sounds after the one before it, alone
        for (const std::vector<double> &channel : heard) {
            const auto loud = [](double v) { return std::abs(v) > 0.1; };
            const qsizetype first = std::find_if(channel.begin(), channel.end(), loud) - channel.begin();
            QVERIFY2(first > lastEnd, qPrintable(u"from %1, the one before until %2"_s.arg(first).arg(lastEnd)));
            lastEnd = std::find_if(channel.rbegin(), channel.rend(), loud).base() - channel.begin();
            QVERIFY(first < lastEnd);
        }
    }

    void previewPlaysOnTheChosenOutputOnly()
    {
        deviceItem(SecondTestSinkDescription)->trigger();
        QCOMPARE(Stored(Settings::OutputDevice), SecondTestSink());
        window = StartWindow(); // the choice is restored
        SetInputs(*window, u"1"_s, 0, u"1000"_s);
        RecordingDialogs dialogs;
        Recorder chosen(folder->filePath(u"chosen.wav"_s), SecondTestSink());
        Recorder other(folder->filePath(u"other.wav"_s));
        QVERIFY(chosen.start() && other.start());
        previewToTheEnd();
        const auto sound = Sounding(chosen.stop());
        QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 1000), qPrintable(Describe(sound)));
        QVERIFY2(Sounding(other.stop()).empty(), "the default output played too");

        QVERIFY(dialogs.calls.isEmpty());
        deviceItem(u"System Default"_s)->trigger();
        QCOMPARE(Stored(Settings::OutputDevice), QString());
    }

    // "System Default" is whatever the system's default is when the preview starts.
    void systemDefaultFollowsTheSystem()
    {
        QVERIFY(Pactl({u"set-default-sink"_s, SecondTestSink()}));
        QTest::qWait(500); // the server tells the program in its own time
        SetInputs(*window, u"0.5"_s, 0, u"1000"_s);
        Recorder recorder(folder->filePath(u"heard.wav"_s), SecondTestSink());
        QVERIFY(recorder.start());
        previewToTheEnd();
        QVERIFY(!Sounding(recorder.stop()).empty());
    }

    // An output that is no longer there: the preview plays on the default, and the person is told
    // once, by the output's name. The choice stays for when it is plugged in again.
    void goneOutputPlaysOnTheDefaultAndSaysSoOnce_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("quoted"); // as the message names it
        QTest::newRow("a name") << u"quorvane_unplugged"_s << u"quorvane_unplugged"_s;
        // Any program could have stored it: a huge value is named by its beginning.
        QTest::newRow("900,000 characters") << QString(900'000, u'x') << QString(199, u'x') + QChar(0x2026);
    }

    void goneOutputPlaysOnTheDefaultAndSaysSoOnce()
    {
        QFETCH(QString, stored);
        QFETCH(QString, quoted);
        Store(Settings::OutputDevice, stored);
        window = StartWindow();
        SetInputs(*window, u"0.5"_s, 0, u"1000"_s);
        RecordingDialogs dialogs;
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        previewToTheEnd();
        previewToTheEnd();
        QCOMPARE(dialogs.texts(DialogCall::Message),
                 QStringList{u"The output device \"%1\" is not there, so the preview plays on the "
                             "system default."_s.arg(quoted)});
        const auto sound = Sounding(recorder.stop());
        QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 1000), qPrintable(Describe(sound)));
        QCOMPARE(Stored(Settings::OutputDevice), stored);
        // Not among the outputs there are, so no item is checked.
        openDeviceMenu();
        const QList<QAction *> items = deviceMenu()->actions();
        QVERIFY(std::none_of(items.begin(), items.end(), [](const QAction *item) { return item->isChecked(); }));
    }

    void failedSynthesisPlaysNothing()
    {
        SetInputs(*window, u"0.3"_s, 0, u"500"_s);
        window->PushButton3->click();
        QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

        // The preview file of that run is still there; a failed run must not play it again.
        Recorder recorder(folder->filePath(u"heard.wav"_s));
        QVERIFY(recorder.start());
        SetInputs(*window, u"0.3"_s, 0, u"0/100"_s); // no exponential sweep from 0: the tool refuses
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

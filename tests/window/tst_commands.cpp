// SPDX-License-Identifier: GPL-3.0-or-later

#include "audio_recording.h"
#include "core/measure/response_curves.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "core/sound/playback.h"
#include "core/sound/sound_file.h"
#include "core/tone/field_grammar.h"
#include "core/tone/output_options.h"
#include "services/guard.h"
#include "settings_keys.h"
#include "store_fixture.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"
#include "when_modal.h"
#include "window/options_menu.h"
#include "window/status_line.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;

class CommandsTest : public QObject
{
    Q_OBJECT

    QString temp;
    QString outputs;
    std::unique_ptr<Form1> window;

    QStringList toolFilesLeft() const
    {
        return QDir(WorkFolder())
            .entryList({u"*.exe"_s, u"*.dll"_s, u".quorvane-*"_s}, QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    // Chooses the preset from the menu and saves, as a person would; the file as written.
    void savePreset(const QString &preset, WavInfo &wav)
    {
        QMenu *presets = nullptr;
        for (QAction *item : OpenedOptions(*window).actions())
            if (item->text() == u"Presets"_s)
                presets = item->menu();
        if (!presets)
            QFAIL("the options menu has no Presets submenu");
        for (QAction *item : presets->actions())
            if (item->text() == preset)
                item->trigger();
        RecordingDialogs dialogs;
        const QString path = outputs + u"/preset.wav"_s;
        dialogs.queueSaveAnswer(path);
        window->PushButton2->click();
        QCOMPARE(Outcomes(dialogs.texts(DialogCall::Message)), QStringList{u"Done."_s});
        wav = ReadWav(path);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
    }

private slots:
    void init()
    {
        temp = StartClean();
        outputs = TestSandbox::NewFolder();
        window = StartWindow();
    }

    void cleanup()
    {
        QVERIFY(!window->CommandBusy);
        QCOMPARE(window->pointerState(), Form1::PointerState::Default);
        QCOMPARE(toolFilesLeft(), QStringList());
        window.reset();
        StopPlayback();
    }

    void inputsAreRemindedBeforeTheDialog_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("reminder");
        QTest::newRow("both empty: length first") << u""_s << 0 << u""_s << ForgotLength;
        QTest::newRow("length empty") << u""_s << 0 << u"5"_s << ForgotLength;
        QTest::newRow("frequencies empty") << u"1"_s << 0 << u""_s << ForgotFrequencies;
        const QString notUnderstood = u"\r\nNot understood: "_s;
        QTest::newRow("a length without end") << u"0t"_s << 0 << u":"_s << LengthReminder + notUnderstood + u"0t"_s;
        QTest::newRow("an effect among the frequencies")
            << u"1"_s << 0 << u"440 noiseprof x"_s << FrequenciesReminder + notUnderstood + u"noiseprof"_s;
        QTest::newRow("a noise among tones")
            << u"1"_s << 0 << u"1000 & noise"_s << FrequenciesReminder + notUnderstood + u"noise"_s;
        QTest::newRow("a pasted line break") << u"2\n"_s << 0 << u"440"_s << LengthReminder + notUnderstood + u"2\n"_s;
        QTest::newRow("no type chosen") << u"1"_s << -1 << u"440"_s << TypeReminder;
        // The window says where the setting that mends it is.
        const QString aboveHalf = u"At a sample rate of 48000 Hz the highest frequency is 24000 Hz, half the rate: a "
                                  "higher one would come out as a lower tone. A higher rate is under Sample Rate in "
                                  "the options menu (right-click or the Menu key)."_s;
        QTest::newRow("30000 Hz at 48 kHz") << u"1"_s << 0 << u"30000"_s << aboveHalf;
        QTest::newRow("a sweep ending above") << u"1"_s << 2 << u"300-30 kHz"_s << aboveHalf;
        QTest::newRow("a unit alone") << u"1"_s << 0 << u"440 & Hz"_s << FrequenciesReminder + notUnderstood + u"Hz"_s;
        QTest::newRow("a word in a later step")
            << u"1"_s << 0 << u"440; 880 noise"_s << FrequenciesReminder + notUnderstood + u"noise"_s;
        QTest::newRow("seventeen tones") << u"1"_s << 0 << QStringList(17, u"1k"_s).join(u'&') << TooManyTonesReminder;
    }

    void inputsAreRemindedBeforeTheDialog()
    {
        QFETCH(QString, length);
        QFETCH(int, waveform);
        QFETCH(QString, frequencies);
        SetInputs(*window, length, waveform, frequencies);
        RecordingDialogs dialogs;
        // The message is in front while it is read: the window is active again only after OK.
        window->show();
        auto message = std::make_unique<QWidget>();
        message->show();
        QVERIFY(QTest::qWaitForWindowActive(message.get()));
        window->PushButton2->click();
        message.reset();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(dialogs.calls.size(), 1);
        QTEST(dialogs.texts(DialogCall::Message).value(0), "reminder");
        // After OK the word not understood is selected in its field, ready to be typed over.
        const QString word = dialogs.texts(DialogCall::Message)[0].section(u"Not understood: "_s, 1);
        if (!word.isEmpty())
            QCOMPARE(qobject_cast<QLineEdit *>(window->focusWidget())->selectedText(), word);

        // Copy SoX Command refuses the same, and copies nothing.
        QGuiApplication::clipboard()->setText(u"before"_s);
        emit window->Options->copySoxCommandRequested();
        QCOMPARE(dialogs.count(DialogCall::Message), 2);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
    }

    void levelsThatDoNotFitMakeNothing_data()
    {
        QTest::addColumn<int>("waveform");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<bool>("measured"); // only a run of the tone itself tells
        // A triangle's RMS is 1 / sqrt(3) of its peak; a brown noise wanders up to full scale with
        // an RMS level near -2 dBFS (AES17).
        QTest::newRow("save a triangle") << 2 << false << false;
        QTest::newRow("save a brown noise") << 8 << false << true;
        QTest::newRow("preview a brown noise") << 8 << true << true;
    }

    // At 0 dBFS RMS neither fits below full scale: a reminder, no failure, and no file.
    void levelsThatDoNotFitMakeNothing()
    {
        QFETCH(int, waveform);
        QFETCH(bool, preview);
        QFETCH(bool, measured);
        window->Options->chooseStored({{OutputSetting::LevelUnit, u"RMS"_s}, {OutputSetting::Level, u"0"_s}});
        SetInputs(*window, u"2"_s, waveform, u"1000"_s);
        RecordingDialogs dialogs;
        const QString path = outputs + u"/loud.wav"_s;
        dialogs.queueSaveAnswer(path);
        (preview ? window->PushButton3 : window->PushButton2)->click();
        const QStringList messages = dialogs.texts(DialogCall::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(u"At 0 dBFS RMS this tone would clip: the highest level that fits is -"_s),
                 qPrintable(messages[0]));
        QCOMPARE(dialogs.count(DialogCall::SaveFileName), preview || !measured ? 0 : 1);
        QVERIFY(!QFile::exists(path) && !IsSoundPlaying());
    }

    void cancelEndsSilently()
    {
        RecordingDialogs dialogs;
        dialogs.whileShown = [&](const DialogCall &) {
            QCOMPARE(window->pointerState(), Form1::PointerState::Default);
            QVERIFY(window->CommandBusy);
        };
        window->PushButton2->click();
        window->PushButton2->click();
        QCOMPARE(dialogs.count(DialogCall::SaveFileName), 2);
        QCOMPARE(dialogs.calls.size(), 2);
        QVERIFY(dialogs.calls[0].text.startsWith(u"Wave Files (*.wav)|*.wav|FLAC Files (*.flac)|*.flac|"_s));
        QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void builtInPresetsSaveWhatTheirNamesPromise_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<double>("rmsDbfs"); // AES17
        QTest::addColumn<bool>("noise");
        QTest::addColumn<double>("low");     // the tone, the lower of two or the band's lower edge (Hz)
        QTest::addColumn<double>("high");    // the upper tone or edge; the tone again for one tone
        QTest::addColumn<double>("upperDb"); // the upper tone's level against the lower one's
        QTest::newRow("calibration") << u"Calibration Noise"_s << -20.0 << true << 500.0 << 2000.0 << 0.0;
        QTest::newRow("subwoofer") << u"Subwoofer Calibration Noise"_s << -20.0 << true << 40.0 << 80.0 << 0.0;
        QTest::newRow("EBU") << u"EBU Line-Up Tone"_s << -18.0 << false << 1000.0 << 1000.0 << 0.0;
        QTest::newRow("SMPTE") << u"SMPTE Reference Tone"_s << -20.0 << false << 1000.0 << 1000.0 << 0.0;
        // Amplitudes 4:1.
        QTest::newRow("SMPTE IM") << u"SMPTE Intermodulation"_s << -20.0 << false << 60.0 << 7000.0
                                  << 20 * std::log10(0.25);
        QTest::newRow("CCIF IM") << u"CCIF Intermodulation"_s << -20.0 << false << 19000.0 << 20000.0 << 0.0;
    }

    // Chosen from the menu and saved, as a person would.
    void builtInPresetsSaveWhatTheirNamesPromise()
    {
        QFETCH(QString, preset);
        QFETCH(double, rmsDbfs);
        QFETCH(bool, noise);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, upperDb);
        WavInfo wav;
        savePreset(preset, wav);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(wav.frames, 30 * qint64(wav.sampleRate));
        const double rms = Aes17RmsDbfs(wav.firstChannel);
        QVERIFY2(qAbs(rms - rmsDbfs) <= 0.1, qPrintable(QString::number(rms)));
        if (noise) {
            // Half an octave beyond each edge, the noise is more than 30 dB down.
            const double outside = 1 - BandPowerShare(wav.firstChannel, wav.sampleRate, low / M_SQRT2, high * M_SQRT2);
            QVERIFY2(10 * std::log10(outside) < -30, qPrintable(QString::number(10 * std::log10(outside))));
        } else {
            const double strongest = DominantFrequency(wav.firstChannel, wav.sampleRate);
            QVERIFY2(std::min(qAbs(strongest - low), qAbs(strongest - high)) < 1,
                     qPrintable(QString::number(strongest)));
            const std::vector<double> spectrum = KaiserSpectrum(wav.firstChannel, 0, 262144);
            const double db = LineDb(spectrum, wav.sampleRate, high, low);
            QVERIFY2(qAbs(db - upperDb) <= 0.1, qPrintable(QString::number(db)));
        }
    }

    // The presets of steps and bursts: their whole sequence, and a step measured where it stands.
    void builtInStepPresetsSaveTheirSequence_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<qint64>("frames");    // at 48 kHz
        QTest::addColumn<qint64>("stepStart"); // where a step of one frequency starts
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("rmsDbfs"); // AES17, over the step's second half
        QTest::newRow("DTMF") << u"DTMF 0 to 9"_s << qint64(10 * 12000 + 9 * 12000) << qint64(-1) << 0.0 << 0.0;
        QTest::newRow("third octaves") << u"Third-Octave Speaker Check"_s << qint64(31 * 48000 + 30 * 24000)
                                       << qint64(17 * 72000) << 1000.0 << -20.0;
        QTest::newRow("CEA-2010") << u"CEA-2010 Bursts"_s << qint64(6 * 48000) << qint64(-1) << 0.0 << 0.0;
        // L = 1.45 s: the sweep's round(48000 L ln(fe / f0)) samples from 9 / L Hz to above 20 kHz
        // (six widths sqrt(L / 20000) up: 20717.2 Hz), then a second of silence.
        QTest::newRow("measurement sweep")
            << u"Measurement Sweep"_s << qint64(564669 + 48000) << qint64(-1) << 0.0 << 0.0;
    }

    void builtInStepPresetsSaveTheirSequence()
    {
        QFETCH(QString, preset);
        QFETCH(qint64, frames);
        QFETCH(qint64, stepStart);
        QFETCH(double, frequency);
        QFETCH(double, rmsDbfs);
        WavInfo wav;
        savePreset(preset, wav);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(wav.frames, frames);
        QVERIFY(PeakDbfs(wav.firstChannel) < 0);
        if (stepStart < 0)
            return;
        const std::vector<double> step(wav.firstChannel.begin() + stepStart + 24000,
                                       wav.firstChannel.begin() + stepStart + 48000);
        QVERIFY(qAbs(DominantFrequency(step, wav.sampleRate) - frequency) < 3);
        QVERIFY2(qAbs(Aes17RmsDbfs(step) - rmsDbfs) <= 0.1, qPrintable(QString::number(Aes17RmsDbfs(step))));
    }

    void savesTheRequestedTone_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("frequency");
        QTest::newRow("plain") << u"tone.wav"_s << u"0.5"_s << 0 << u"1000"_s << 0.5 << 1000.0;
        QTest::newRow("decimal commas reach the tool as dots")
            << u"comma.wav"_s << u"2,5"_s << 0 << u"440,5"_s << 2.5 << 440.5;
        QTest::newRow("blanks in the name") << u"my tone a b.wav"_s << u"0.2"_s << 1 << u"500"_s << 0.2 << 500.0;
        QTest::newRow("double quote in the name") << uR"(a" -n "b.wav)"_s << u"0.2"_s << 0 << u"800"_s << 0.2 << 800.0;
        QTest::newRow("above 4000 Hz") << u"high.wav"_s << u"0.5"_s << 0 << u"5000"_s << 0.5 << 5000.0;
    }

    void savesTheRequestedTone()
    {
        QFETCH(QString, name);
        QFETCH(QString, length);
        QFETCH(int, waveform);
        QFETCH(QString, frequencies);
        QFETCH(double, seconds);
        QFETCH(double, frequency);
        SetInputs(*window, length, waveform, frequencies);
        const QString path = outputs + u'/' + name;
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(path);
        window->PushButton2->click();
        QCOMPARE(Outcomes(dialogs.texts(DialogCall::Message)), QStringList{u"Done."_s});
        QCOMPARE(dialogs.count(DialogCall::ErrorReport), 0);
        QCOMPARE(QDir(outputs).entryList(QDir::Files), QStringList{name}); // exactly that file, nothing else
        VerifyTone(path, seconds, frequency);
    }

    // The line under "Done." is read back from the file: here checked against the file's header.
    void doneSaysWhatTheFileHolds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("written");
        QTest::newRow("wave") << u"tone.wav"_s << u"0.5"_s << u"1000"_s
                              << u"tone.wav — WAV, 48 kHz, 32-bit, mono, 0.500 s"_s;
        QTest::newRow("FLAC holds 24 bits")
            << u"tone.flac"_s << u"1"_s << u"1000"_s
            << u"tone.flac — FLAC, 48 kHz, 24-bit, mono, 1.000 s; FLAC keeps 24-bit, not the 32-bit chosen."_s;
        QTest::newRow("a length in samples") << u"short.wav"_s << u"4800s"_s << u"1000"_s
                                             << u"short.wav — WAV, 48 kHz, 32-bit, mono, 0.100 s (4800 samples)"_s;
        // Whole periods of the FFT: 2^16 samples at 48 kHz are 1.365 s.
        QTest::newRow("a multitone, in whole periods")
            << u"multi.wav"_s << u"4800s"_s << u"multitone 31 20-20000"_s
            << u"multi.wav — WAV, 48 kHz, 32-bit, mono, 1.365 s (65536 samples); 31 tones, crest factor 12.7 dB"_s;
        QTest::newRow("tones that share a bin")
            << u"few.wav"_s << u"2"_s << u"multitone 40 20-200 fft 16384"_s
            << u"few.wav — WAV, 48 kHz, 32-bit, mono, 2.048 s; 35 tones (40 asked for; some shared a bin), crest "
               "factor 12.2 dB"_s;
        QTest::newRow("a periodic pink noise, in whole periods")
            << u"periodic.wav"_s << u"1"_s << u"periodic"_s
            << u"periodic.wav — WAV, 48 kHz, 32-bit, mono, 1.365 s; periodic pink noise, 65536-sample period, crest "
               "factor 12.5 dB"_s;
        QTest::newRow("7.1 in turn")
            << u"7.1.wav"_s << u"0.25"_s << u"1000"_s
            << u"7.1.wav — WAV, 48 kHz, 32-bit, 7.1 (8 channels), each channel in turn, 2.000 s"_s;
    }

    void doneSaysWhatTheFileHolds()
    {
        QFETCH(QString, name);
        QFETCH(QString, length);
        QFETCH(QString, frequencies);
        if (name.startsWith(u"7.1"_s))
            window->Options->chooseStored(
                {{OutputSetting::Channels, u"7.1"_s}, {OutputSetting::ChannelsInTurn, u"1"_s}});
        const bool periodic = frequencies.startsWith(u"periodic"_s);
        SetInputs(*window, length, periodic ? 7 : 0, frequencies); // 7: Pink Noise
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u'/' + name);
        window->PushButton2->click();
        QTEST(dialogs.texts(DialogCall::Message).value(0).section(u"Done.\r\n"_s, 1), "written");
        // A period made by the program has no command that makes it alone: none is copied.
        QGuiApplication::clipboard()->setText(u"before"_s);
        emit window->Options->copySoxCommandRequested();
        QCOMPARE(QGuiApplication::clipboard()->text() == u"before"_s, periodic);
        const QByteArray file = ReadFile(outputs + u'/' + name);
        // STREAMINFO, the first block after "fLaC" and its 4-byte header: bits per sample - 1 in the
        // 5 bits that follow the rate (20 bits) and the channels (3 bits).
        if (file.startsWith("fLaC"))
            QCOMPARE((((quint8(file[8 + 12]) & 0x01) << 4) | (quint8(file[8 + 13]) >> 4)) + 1, 24);
    }

    // Cancel during a long Save: the tool stops, nothing of the new tone stays, and a file that
    // had the name before is there again, byte for byte.
    void cancelKeepsTheEarlierFile()
    {
        const QByteArray earlier("an earlier tone, kept");
        const QString path = outputs + u"/dtmf.wav"_s;
        QVERIFY(WriteFile(path, earlier));
        SetInputs(*window, u"00:10:00"_s, 0, u"697 & 1209"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(path);
        auto *bar = window->findChild<QProgressBar *>(u"ProgressBar1"_s);
        bool cancelled = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, window.get(), [&] {
            if (!cancelled && bar->isVisibleTo(window.get()) && bar->value() >= 1) { // well under way
                cancelled = true;
                window->findChild<QPushButton *>(u"PushButton7"_s)->click();
            }
        });
        watch.start(20);
        window->PushButton2->click();
        watch.stop();
        QVERIFY(cancelled);
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{u"Cancelled."_s});
        QVERIFY(!bar->isVisibleTo(window.get()));
        QCOMPARE(QDir(outputs).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"dtmf.wav"_s});
        QCOMPARE(ReadFile(path), earlier);
    }

    // With Qt's own dialogs: the question comes before a file is replaced, and No keeps it.
    void saveAsksBeforeReplacingAFile()
    {
        const QString path = outputs + u"/dtmf.wav"_s;
        QVERIFY(WriteFile(path, "a tone kept"));
        bool asked = false;
        WhenModal when([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            QVERIFY(dialog);
            WhenModal question(
                [&](QWidget *box) {
                    auto *replace = qobject_cast<QMessageBox *>(box);
                    QVERIFY(replace && replace->button(QMessageBox::No));
                    asked = true;
                    replace->button(QMessageBox::No)->click();
                },
                dialog);
            TypeAndAccept(dialog, path);
            QVERIFY(dialog->isVisible()); // still asking for a name
        });
        window->PushButton2->click();
        QVERIFY(when.seen() && asked);
        QCOMPARE(ReadFile(path), QByteArray("a tone kept"));
    }

    void failedRunIsNeverDone_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("reason");
        QTest::newRow("an exponential sweep from 0")
            << u"1"_s << 0 << u"0/100"_s << u"invalid frequency for exponential sweep"_s;
    }

    void failedRunIsNeverDone()
    {
        QFETCH(QString, length);
        QFETCH(int, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, reason);
        const QString path = outputs + u"/old.wav"_s;
        QVERIFY(WriteFile(path, "an older file"));
        SetInputs(*window, length, waveform, frequencies);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(path);
        window->PushButton2->click();
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{SaveFailed});
        QVERIFY2(dialogs.calls.last().detail.contains(reason), qPrintable(dialogs.calls.last().detail));
    }

    void clicksDuringARunAreIgnoredAndLateEditsWait()
    {
        SetInputs(*window, u"1"_s, 0, u"1000"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/first.wav"_s);
        dialogs.queueSaveAnswer(outputs + u"/second.wav"_s);
        // Runs at every event pass of the command: first while the tool files are written, then,
        // once the last one is there, while the tool runs.
        int passes = 0;
        bool duringRun = false;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] {
            if (++passes == 1) {
                window->Text2->setText(u"1500"_s); // before the inputs are read: taken
            } else if (!duringRun && QFile::exists(ToolPath(ToolFiles[4]))) {
                duringRun = true;
                QVERIFY(window->CommandBusy);
                QCOMPARE(window->pointerState(), Form1::PointerState::Busy);
                window->PushButton2->click();
                window->PushButton3->click();
                window->Text2->setText(u"2000"_s); // too late for this run, but stored
            }
        });
        pass.start(0);
        window->PushButton2->click();
        pass.stop();
        QVERIFY(duringRun);
        QCOMPARE(dialogs.count(DialogCall::SaveFileName), 1);
        QCOMPARE(Outcomes(dialogs.texts(DialogCall::Message)), QStringList{u"Done."_s});
        QCOMPARE(Stored(Settings::Text2), u"2000"_s);
        VerifyTone(outputs + u"/first.wav"_s, 1.0, 1500.0);
        QVERIFY(!QFile::exists(PreviewPath()));
    }

    void failedStepsResumeWhereTheyShould_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("statement");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<QStringList>("toolFilesLeft"); // taken away by the next command
        const QStringList none;
        // The program file is not written: the run is refused and reported, not "Done.".
        QTest::newRow("writing the tool") << 130 << 2 << QStringList{SaveFailed} << false << none;
        QTest::newRow("writing a library") << 136 << 2 << QStringList{u"Done."_s} << true << none;
        QTest::newRow("reading the inputs") << 158 << 1 << QStringList{SaveFailed} << false << none;
        QTest::newRow("judging the outcome") << 176 << 1 << QStringList{SaveFailed} << true << none;
        QTest::newRow("the Done message") << 178 << 1 << QStringList() << true << none;
        QTest::newRow("removing the tool") << 164 << 1 << QStringList{u"Done."_s} << true << QStringList{u"sox.exe"_s};
    }

    void failedStepsResumeWhereTheyShould()
    {
        QFETCH(int, line);
        QFETCH(int, statement);
        Guard::InjectFailure(Locations::PushButton2Click, line, u"injected"_s, statement);
        SetInputs(*window, u"0.2"_s, 0, u"440"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/t.wav"_s);
        window->PushButton2->click();
        QCOMPARE(dialogs.count(DialogCall::ErrorReport), 1);
        QVERIFY(dialogs.texts(DialogCall::ErrorReport)[0].startsWith(
            u"injected\r\nin Quorvane2021/08/31.Form1.PushButton2_Click at line %1\r\r"_s.arg(line)));
        QTEST(Outcomes(dialogs.texts(DialogCall::Message)), "messages");
        QTEST(QFile::exists(outputs + u"/t.wav"_s), "fileWritten");
        QTEST(toolFilesLeft(), "toolFilesLeft");
        ToolRun::Remove();
    }

    void previewPlaysWithoutAWord()
    {
        SetInputs(*window, u"0.3"_s, 2, u"700"_s);
        RecordingDialogs dialogs;
        window->PushButton3->click();
        QVERIFY2(dialogs.calls.isEmpty(), qPrintable(dialogs.calls.value(0).detail));
        VerifyTone(PreviewPath(), 0.3, 700.0);
    }

    void saveAndPreviewMakeTheChosenFormat()
    {
        for (const auto &[key, value] : {std::pair{SettingsKey::Level, u"-12"_s},
                                         {SettingsKey::Channels, u"Right"_s},
                                         {SettingsKey::SoftEdges, u"1"_s},
                                         {SettingsKey::SampleRate, u"96000"_s},
                                         {SettingsKey::SampleFormat, u"24"_s}})
            Store(key, value);
        window = StartWindow();
        // Half a second in samples: the file is judged complete at the rate the command used.
        SetInputs(*window, u"48000s"_s, 0, u"1000"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/right.wav"_s);
        window->PushButton2->click();
        window->PushButton3->click();
        StopPlayback(); // not to be heard by the next test
        QCOMPARE(Outcomes(dialogs.texts(DialogCall::Message)), QStringList{u"Done."_s});
        for (const QString &path : {outputs + u"/right.wav"_s, PreviewPath()}) {
            const WavInfo wav = ReadWav(path);
            QCOMPARE(wav.sampleRate, 96000);
            QCOMPARE(wav.bitsPerSample, 24);
            QCOMPARE(wav.frames, 48000);
            QCOMPARE(wav.channels, 2);
            QVERIFY(std::all_of(wav.firstChannel.begin(), wav.firstChannel.end(), [](double s) { return s == 0; }));
            QVERIFY(qAbs(PeakDbfs(wav.secondChannel) - -12) < 0.1);
            QVERIFY(qAbs(wav.secondChannel.front()) < 1e-4 && qAbs(wav.secondChannel.back()) < 1e-4);
        }
    }

    void previewRemindsOrReportsFailure_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("toolRan"); // or reminded before any tool file was written
        QTest::newRow("empty length") << u""_s << 0 << u"440"_s << LengthReminder << false;
        QTest::newRow("empty frequencies") << u"1"_s << 0 << u""_s << FrequenciesReminder << false;
        QTest::newRow("not a frequency") << u"1"_s << 0 << u"abc"_s
                                         << FrequenciesReminder + u"\r\nNot understood: abc"_s << false;
        QTest::newRow("no type chosen") << u"1"_s << -1 << u"440"_s << TypeReminder << false;
        QTest::newRow("a pasted line break")
            << u"1"_s << 0 << u"2\n"_s << FrequenciesReminder + u"\r\nNot understood: 2\n"_s << false;
        QTest::newRow("noise cannot sweep") << u"1"_s << 7 << u"300-3300"_s << NoiseRangeReminder << false;
        QTest::newRow("an exponential sweep from 0") << u"1"_s << 0 << u"0/100"_s << PreviewFailed << true;
    }

    void previewRemindsOrReportsFailure()
    {
        QFETCH(QString, length);
        QFETCH(int, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, message);
        QFETCH(bool, toolRan);
        // A preview from an earlier run is still there; it must not pass for this one.
        {
            RecordingDialogs earlier;
            SetInputs(*window, u"0.2"_s, 0, u"440"_s);
            window->PushButton3->click();
            QVERIFY(earlier.calls.isEmpty());
        }
        StopPlayback();
        const QByteArray earlier = ReadFile(PreviewPath());

        SetInputs(*window, length, waveform, frequencies);
        RecordingDialogs dialogs;
        int passes = 0;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] { passes += QFile::exists(ToolPath(ToolFiles[0])); });
        pass.start(0);
        window->PushButton3->click();
        pass.stop();
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{message});
        QVERIFY(!IsSoundPlaying());
        if (toolRan) {
            QVERIFY(!dialogs.calls[0].detail.isEmpty());
            QVERIFY(!QFile::exists(PreviewPath())); // the failed run leaves no preview behind
        } else {
            QCOMPARE(passes, 0);
            QCOMPARE(ReadFile(PreviewPath()), earlier);
        }
    }

    // Closed once the tool is under way: the tool is stopped, so the hour-long tone is not "Done.".
    void closingDuringARunStopsTheTool()
    {
        int ended = 0;
        window->endProcess = [&] { ++ended; };
        SetInputs(*window, u"3600"_s, 0, u"440"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/long.wav"_s);
        connect(window.get(), &QWidget::windowTitleChanged, window.get(), [&](const QString &title) {
            if (title.contains(u" – making tone "_s) && ended == 0)
                window->close();
        });
        window->PushButton2->click();
        QCOMPARE(ended, 1);
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{SaveFailed});
    }

    // The title follows a long Save; it is cancelled once the progress has moved, as the tone's
    // whole length would only cost time.
    void longRunShowsProgressInTheTitle()
    {
        SetInputs(*window, u"1500"_s, 0, u"440"_s);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/long.wav"_s);
        QStringList progress;
        connect(window.get(), &QWidget::windowTitleChanged, window.get(), [&](const QString &title) {
            if (!title.contains(u" – making tone "_s))
                return;
            if (progress.isEmpty() || progress.constLast() != title)
                progress << title;
            if (progress.size() == 2)
                window->PushButton7_Click();
        });
        window->PushButton2->click();
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{u"Cancelled."_s});
        QCOMPARE(window->windowTitle(), u"Quorvane"_s);
        QVERIFY2(progress.size() >= 2, qPrintable(progress.join(u" | "_s)));
        // A wave file's size is known in advance: the share written, never the seconds.
        static const QRegularExpression shape(u"^Quorvane – making tone \\d+ %$"_s);
        for (const QString &title : progress)
            QVERIFY2(shape.match(title).hasMatch(), qPrintable(title));
        QVERIFY(!QFile::exists(outputs + u"/long.wav"_s));
    }
    // Save writes the inverse filter beside the sweep, asks before replacing a file of another's,
    // and Make Impulse Response offers it next and writes the response beside the recording.
    void measurementSweepSavesItsInverseForTheResponse()
    {
        SetInputs(*window, u"2"_s, 0, u"100-10000"_s);
        window->Options->chooseStored({{OutputSetting::MeasurementSweep, u"1"_s}});
        const QString sweep = outputs + u"/sweep.wav"_s;
        const QString inverse = outputs + u"/sweep-inverse.wav"_s;
        QVERIFY(WriteFile(outputs + u"/other-inverse.wav"_s, "someone's"));
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/other.wav"_s);
        dialogs.queueSaveAnswer(sweep);
        window->PushButton2->click(); // "No" to replacing other-inverse.wav: nothing is written
        window->PushButton2->click();
        QCOMPARE(dialogs.count(DialogCall::Question), 1);
        QVERIFY(dialogs.texts(DialogCall::Message)
                    .value(0)
                    .endsWith(u"\r\nSweep: "_s + sweep + u"\r\nInverse filter: "_s + inverse));
        // A file of another's at the response's name is asked about; the earlier response is not.
        QVERIFY(WriteFile(outputs + u"/sweep-ir.wav"_s, "someone's"));
        dialogs.questionAnswers << false << true;
        for (int run = 0; run < 3; ++run) {
            dialogs.openAnswers << sweep << inverse;
            window->MakeImpulseResponse();
        }
        QCOMPARE(dialogs.count(DialogCall::Question), 3);
        QCOMPARE(dialogs.count(DialogCall::Message), 3);
        for (const QString &message : dialogs.texts(DialogCall::Message).mid(1))
            QVERIFY2(message.startsWith(u"Done."_s), qPrintable(message));
        QCOMPARE(dialogs.calls[dialogs.calls.size() - 2].detail, inverse); // the last filter saved, offered
        QCOMPARE(QDir(outputs).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u"other-inverse.wav"_s, u"sweep-inverse.wav"_s, u"sweep-ir.wav"_s, u"sweep.wav"_s}));
    }

    // Measure… plays the sweep on the test server's null sink and records its monitor: a wire that
    // reads flat, at the loop's delay; or it says what is wrong with the recording.
    void measureThroughTheLoop_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("input"); // the Input Device item, as the server describes it
        QTest::addColumn<QString>("told");  // how the message starts
        const QString monitor = u"Monitor of Null Output"_s;
        QTest::newRow("wire") << u"-6"_s << monitor << u"Done.\r\nThe delay is "_s;
        QTest::newRow("at full scale it clips") << u"0"_s << monitor << u"Measured, but:\r\nThe recording clips"_s;
        QTest::newRow("an input the sweep never reaches")
            << u"-6"_s << u"Monitor of Desk && Bench Output"_s << u"Measured, but:\r\nThe recording holds no sweep"_s;
    }

    void measureThroughTheLoop()
    {
        QFETCH(QString, level);
        QFETCH(QString, input);
        // Chosen as a person chooses it, from the inputs the server has as the submenu opens.
        QMenu *inputs = nullptr;
        for (QAction *item : OpenedOptions(*window).actions())
            inputs = item->text() == u"Input Device"_s ? item->menu() : inputs;
        if (!inputs)
            QFAIL("The options menu has no Input Device.");
        emit inputs->aboutToShow();
        for (QAction *item : inputs->actions()) {
            if (item->text() == input)
                item->trigger();
        }
        QVERIFY(Stored(Settings::InputDevice).endsWith(u".monitor"_s));
        SetInputs(*window, u"2"_s, 0, u"20-20000"_s);
        window->Options->chooseStored({{OutputSetting::MeasurementSweep, u"1"_s}, {OutputSetting::Level, level}});
        RecordingDialogs dialogs;
        dialogs.openAnswers << outputs;
        window->Measure();
        QFETCH(QString, told);
        QVERIFY2(dialogs.texts(DialogCall::Message).value(0).startsWith(told),
                 qPrintable(dialogs.texts(DialogCall::Message).join(u" | "_s)));
        const QStringList files = QDir(outputs).entryList(QDir::Files);
        QCOMPARE(files.size(), 4); // the sweep, its inverse filter, the recording and the response
        if (!told.startsWith(u"Done."_s))
            return;
        const QString response = outputs + u'/' + files.filter(u" recording-ir.wav"_s).value(0);
        const ResponseAnalysis read = AnalyseSoundFile(response).response.value();
        QVERIFY(read.channels[0].peakFrame > 0);
        for (const ResponsePoint &point : FrequencyResponse(read, 0, ResponseFrequencies(read, 48000), 3))
            QVERIFY2(std::abs(point.decibels) <= 0.2,
                     qPrintable(u"%1 Hz: %2 dB"_s.arg(point.hertz).arg(point.decibels)));
    }

    // Cancel, or closing the window, while the response is made: nothing is left behind, not even
    // before the program ends.
    void impulseResponseStopsWithoutATrace_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("Cancel") << false;
        QTest::newRow("closing the window") << true;
    }

    void impulseResponseStopsWithoutATrace()
    {
        QFETCH(bool, close);
        SetInputs(*window, u"2"_s, 0, u"100-10000"_s);
        window->Options->chooseStored({{OutputSetting::MeasurementSweep, u"1"_s}});
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/sweep.wav"_s);
        window->PushButton2->click();
        QCOMPARE(AudioRecording::MakeTone(outputs + u"/long.wav"_s, 60, 1000), QString());
        const QStringList before = QDir(outputs).entryList(QDir::Files | QDir::Hidden);
        QStringList atEnd;
        window->endProcess = [&] { atEnd = QDir(outputs).entryList(QDir::Files | QDir::Hidden); };
        // In the first pass of the events while the work runs.
        QMetaObject::invokeMethod(
            window.get(),
            [&] { close ? void(window->close()) : window->findChild<QPushButton *>(u"PushButton7"_s)->click(); },
            Qt::QueuedConnection);
        dialogs.openAnswers << outputs + u"/long.wav"_s << outputs + u"/sweep-inverse.wav"_s;
        window->MakeImpulseResponse();
        QCOMPARE(dialogs.texts(DialogCall::Message).value(1), u"Cancelled."_s);
        QCOMPARE(QDir(outputs).entryList(QDir::Files | QDir::Hidden), before);
        if (close)
            QCOMPARE(atEnd, before);
    }
};

QUORVANE_TEST_MAIN(CommandsTest)
#include "tst_commands.moc"

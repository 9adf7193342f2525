// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound/playback.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "window/options_menu.h"
#include "window/tone_window.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;

// The tone window, driven as a person would: make a tone, open the window, make another.
class ToneWindowTest : public QObject
{
    Q_OBJECT

    QString outputs;
    std::unique_ptr<Form1> window;

    // Makes the tone with Save (into outputs) or Preview; returns its file.
    QString make(const QString &frequencies, bool preview = false, const QString &length = u"1"_s, int type = 0)
    {
        SetInputs(*window, length, type, frequencies);
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/tone %1.wav"_s.arg(frequencies));
        (preview ? window->PushButton3 : window->PushButton2)->click();
        if (dialogs.count(DialogCall::ErrorReport) != 0 || dialogs.texts(DialogCall::Message).size() > 1)
            qFatal("The tone was not made: %s", qPrintable(dialogs.texts(DialogCall::Message).join(u' ')));
        return preview ? QString() : outputs + u"/tone %1.wav"_s.arg(frequencies);
    }

    // Whether the window shows the whole analysis of a tone whose line is at that frequency.
    static bool Shows(const ToneWindow *tone, double hertz)
    {
        const auto analysis = tone->analysis();
        return analysis && analysis->wholeFileRead && std::abs(analysis->figures[0].line.hertz - hertz) < 0.01;
    }

    static QString LoadedLibraries()
    {
        QFile maps(u"/proc/self/maps"_s);
        return maps.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(maps.readAll()) : QString();
    }

private slots:
    // The window library links neither FFTW nor libsndfile: the program starts without them, and
    // the tone window's plugin brings them when it first opens.
    void initTestCase()
    {
        QVERIFY(!LoadedLibraries().contains(u"libfftw3"_s));
        QVERIFY(!LoadedLibraries().contains(u"libsndfile"_s));
    }

    void init()
    {
        StartClean();
        outputs = TestSandbox::NewFolder();
        window = StartWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup()
    {
        window.reset();
        StopPlayback();
    }

    void opensOnTheLastTone_data()
    {
        QTest::addColumn<bool>("preview");
        QTest::newRow("after Save") << false;
        QTest::newRow("after Preview") << true;
    }

    void opensOnTheLastTone()
    {
        QFETCH(bool, preview);
        const QString path = make(u"997"_s, preview);
        QTest::keyClick(window->Text2, Qt::Key_I, Qt::ControlModifier);
        auto *tone = window->findChild<ToneWindow *>();
        QVERIFY(tone && tone->isVisible());
        QTRY_VERIFY(Shows(tone, 997));
        QVERIFY(LoadedLibraries().contains(u"libfftw3"_s));
        QVERIFY(preview ? tone->shownTone().value().path.endsWith(u".wav"_s) : tone->shownTone().value().path == path);
        QVERIFY2(tone->figuresText().contains(u"\nMono   997.00 Hz at "_s), qPrintable(tone->figuresText()));
    }

    // At the default size the figures need no scrolling; what they say first of each kind of tone.
    void figuresAtAGlance_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("expected"); // a pattern of the figures
        QTest::newRow("a tone with its 2nd harmonic 40 dB down, each side")
            << u"1000 & 2000@-40 | 1000 & 2000@-40"_s << 0 << u"48000"_s
            << u".*\nLeft   1000.00 Hz at −0.09 dBFS · crest factor 3.0. dB\n       THD −40.0 dB · THD.N −40.0 dB .*"_s;
        QTest::newRow("pink noise, its octaves level")
            << u"1000"_s << 7 << u"48000"_s << u".*Octave bands, dBFS:\n       31.5 −2.\\.. · 63 −2.\\.. .*"_s;
        QTest::newRow("a sweep's spectrum is the whole file's") << u"20-20000"_s << 0 << u"96000"_s << u".*"_s;
    }

    void figuresAtAGlance()
    {
        QFETCH(QString, frequencies);
        QFETCH(int, type);
        QFETCH(QString, rate);
        window->Options->chooseStored({{OutputSetting::SampleRate, rate}});
        make(frequencies, false, u"12"_s, type);
        window->ShowTone();
        auto *tone = window->findChild<ToneWindow *>();
        QTRY_VERIFY(tone->analysis() && tone->analysis()->wholeFileRead);
        QFETCH(QString, expected);
        QVERIFY2(QRegularExpression(u"^%1$"_s.arg(expected), QRegularExpression::DotMatchesEverythingOption)
                     .match(tone->figuresText())
                     .hasMatch(),
                 qPrintable(tone->figuresText()));
        const auto *figures = tone->findChild<QPlainTextEdit *>(u"Figures"_s);
        QCOMPARE(figures->verticalScrollBar()->maximum(), 0);
        QCOMPARE(figures->horizontalScrollBar()->maximum(), 0);
        // Four parts would each miss most of a sweep's frequencies; the whole reads level (pink),
        // within a decibel of its mean over the band.
        const std::vector<double> &hertz = tone->analysis()->curveHertz;
        const std::vector<float> &curve = tone->analysis()->curveDecibels[0];
        if (rate == u"96000"_s) {
            QCOMPARE(tone->analysis()->spectrumParts, 1);
            const auto [low, high] = std::minmax_element(
                curve.begin() + (std::lower_bound(hertz.begin(), hertz.end(), 100) - hertz.begin()),
                curve.begin() + (std::lower_bound(hertz.begin(), hertz.end(), 10000) - hertz.begin()));
            QVERIFY2(*high - *low < 2, qPrintable(u"%1 to %2 dB"_s.arg(*low).arg(*high)));
        }
        // The picture holds the figures as the window shows them.
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/figures.svg"_s);
        tone->savePicture();
        QVERIFY(QString::fromUtf8(ReadFile(outputs + u"/figures.svg"_s)).contains(u"crest factor"_s));
    }

    void followsEachSaveAndSavesItsPicture()
    {
        window->ShowTone();
        auto *tone = window->findChild<ToneWindow *>();
        QVERIFY(!tone->analysis());
        make(u"997"_s);
        QTRY_VERIFY(Shows(tone, 997));
        make(u"1500"_s);
        QTRY_VERIFY(Shows(tone, 1500));
        QVERIFY(tone->shownTone().value().path.endsWith(u"tone 1500.wav"_s));
        // A long tone's spectrum comes from parts of it, and the window says so.
        make(u"440"_s, false, u"30"_s);
        QTRY_VERIFY(Shows(tone, 440));
        QVERIFY(tone->findChild<QLabel *>(u"SpectrumBasis"_s)->text().startsWith(u"Spectrum of 21.8 s in 4 parts"_s));

        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/picture.png"_s);
        dialogs.queueSaveAnswer(outputs + u"/picture.svg"_s);
        auto *savePicture = tone->findChild<QPushButton *>(u"SavePicture"_s);
        savePicture->click();
        savePicture->click();
        QCOMPARE(dialogs.count(DialogCall::Message), 0);
        QCOMPARE(QImage(outputs + u"/picture.png"_s).size(), tone->size());
        const QSvgRenderer svg(outputs + u"/picture.svg"_s);
        QVERIFY(svg.isValid());
        QCOMPARE(svg.viewBox().size(), tone->size());
        dialogs.queueSaveAnswer(outputs + u"/no such folder/picture"_s);
        savePicture->click();
        QCOMPARE(dialogs.texts(DialogCall::Message), QStringList{u"The picture could not be saved."_s});

        // A tone gone before it is read says so instead of a picture.
        tone->follow({outputs + u"/gone.wav"_s, {}, {}});
        QTRY_VERIFY(!tone->analysis());
        QVERIFY2(tone->findChild<QPlainTextEdit *>()->toPlainText().startsWith(u"The tone could not be read"_s),
                 qPrintable(tone->findChild<QPlainTextEdit *>()->toPlainText()));
    }

    // After Make Impulse Response of a wire (the sweep as its own recording), the window shows the response: its curves
    // at a smoothing to choose, its distortion figures, and its export as text that REW imports.
    void anImpulseResponseShowsWhatItMeasures()
    {
        SetInputs(*window, u"2"_s, 0, u"100-10000"_s);
        window->Options->chooseStored({{OutputSetting::MeasurementSweep, u"1"_s}});
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(outputs + u"/sweep.wav"_s);
        window->PushButton2->click();
        dialogs.openAnswers << outputs + u"/sweep.wav"_s << outputs + u"/sweep-inverse.wav"_s;
        window->MakeImpulseResponse();
        window->ShowTone(); // on the response, made after the sweep
        auto *tone = window->findChild<ToneWindow *>();
        QTRY_VERIFY(tone && tone->analysis() && tone->analysis()->response);
        QVERIFY2(tone->figuresText().contains(u"\nMono   Response peak "_s) &&
                     tone->figuresText().contains(u"THD at 1 kHz 0.0000 %"_s),
                 qPrintable(tone->figuresText()));
        auto *smoothing = tone->findChild<QComboBox *>(u"Smoothing"_s);
        QVERIFY(smoothing->isVisible());
        smoothing->setCurrentIndex(0);
        dialogs.queueSaveAnswer(outputs + u"/wire.txt"_s);
        tone->findChild<QPushButton *>(u"ExportResponse"_s)->click();
        const QStringList lines =
            QString::fromUtf8(ReadFile(outputs + u"/wire.txt"_s)).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.value(0).startsWith(u"* Frequency response of sweep-ir.wav, channel 1, 1/3-octave"_s),
                 qPrintable(lines.value(0)));
        QCOMPARE(lines.value(2).section(u' ', 0, 0).toDouble(), 100.0);
        QCOMPARE(lines.constLast().section(u' ', 0, 0).toDouble(), 10000.0);
        for (const QString &line : lines.mid(2))
            QVERIFY2(std::abs(line.section(u' ', 1, 1).toDouble()) < 0.05, qPrintable(line));
    }
};

QUORVANE_TEST_MAIN(ToneWindowTest)
#include "tst_tone_window.moc"

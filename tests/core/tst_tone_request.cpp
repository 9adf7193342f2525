// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/frequency_step.h"
#include "core/tone/tone_request.h"
#include "test_sandbox.h"

using namespace Qt::Literals::StringLiterals;

class ToneRequestTest : public QObject
{
    Q_OBJECT

private slots:
    void makesToolWords_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("expectedLength");
        QTest::addColumn<QString>("expectedWaveform");
        QTest::addColumn<QString>("expectedFrequencies");

        QTest::newRow("decimal comma becomes a dot")
            << u"1,5"_s << u"Sine (Default)"_s << u"5000"_s << u"1.5"_s << u"sine"_s << u"5000"_s;
        QTest::newRow("every comma, dots stay")
            << u"1.000,5"_s << u"Square"_s << u"300,5-3300,5"_s << u"1.000.5"_s << u"square"_s << u"300.5-3300.5"_s;
        QTest::newRow("hh:mm:ss.frac untouched")
            << u"00:05:30.0"_s << u"Exp"_s << u"440"_s << u"00:05:30.0"_s << u"exp"_s << u"440"_s;
        QTest::newRow("white noise is one word")
            << u"2"_s << u"White Noise"_s << u"300-3300"_s << u"2"_s << u"whitenoise"_s << u"300-3300"_s;
        QTest::newRow("pink noise is one word")
            << u"2"_s << u"Pink Noise"_s << u""_s << u"2"_s << u"pinknoise"_s << u""_s;
        QTest::newRow("brown noise is one word")
            << u"2"_s << u"Brown Noise"_s << u"1"_s << u"2"_s << u"brownnoise"_s << u"1"_s;
        QTest::newRow("empty waveform stays empty") << u"3"_s << u""_s << u"1000"_s << u"3"_s << u""_s << u"1000"_s;
        QTest::newRow("marker removed twice")
            << u""_s << u"Sine (Default) (Default)"_s << u""_s << u""_s << u"sine"_s << u""_s;
        QTest::newRow("marker match is case-sensitive")
            << u""_s << u"Sine (DEFAULT)"_s << u""_s << u""_s << u"sine(default)"_s << u""_s;
        QTest::newRow("blanks in length and frequencies stay")
            << u" 2 "_s << u"Triangle"_s << u"1 2"_s << u" 2 "_s << u"triangle"_s << u"1 2"_s;
        QTest::newRow("a unit goes, the number stays")
            << u"1"_s << u"Sine (Default)"_s << u"440 Hz"_s << u"1"_s << u"sine"_s << u"440"_s;
        QTest::newRow("kilohertz as the tool writes it")
            << u"1"_s << u"Sine (Default)"_s << u"1,5 kHz-440Hz 10"_s << u"1"_s << u"sine"_s << u"1.5k-440 10"_s;
        QTest::newRow("commas never touch the waveform")
            << u"1"_s << u"Saw,tooth"_s << u"1"_s << u"1"_s << u"saw,tooth"_s << u"1"_s;
    }

    void makesToolWords()
    {
        QFETCH(QString, length);
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        const ToneRequest request = MakeToneRequest(length, waveform, frequencies);
        QTEST(request.Length, "expectedLength");
        QTEST(request.Waveform, "expectedWaveform");
        QTEST(request.Frequencies, "expectedFrequencies");
    }

    void everyLabelGivesOneToolWord()
    {
        const QStringList expected{u"sine"_s, u"square"_s,     u"triangle"_s,  u"sawtooth"_s,   u"trapezium"_s,
                                   u"exp"_s,  u"whitenoise"_s, u"pinknoise"_s, u"brownnoise"_s, u"polaritypulse"_s};
        QStringList words;
        for (const QString &label : WaveformLabels())
            words << MakeToneRequest({}, label, {}).Waveform;
        QCOMPARE(words, expected);
    }

    void stepsOnlyAPlainFrequency_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QString>("result"); // null: left alone
        QTest::newRow("up one") << u"440"_s << 1.0 << 1.0 << u"441"_s;
        QTest::newRow("tenths add up without binary noise") << u"440.2"_s << 1.0 << 0.1 << u"440.3"_s;
        QTest::newRow("no trailing .0") << u"440.5"_s << 1.0 << -0.5 << u"440"_s;
        QTest::newRow("a decimal comma stays") << u"440,5"_s << 1.0 << 10.0 << u"450,5"_s;
        QTest::newRow("octave down") << u"25"_s << 0.5 << 0.0 << u"12.5"_s;
        QTest::newRow("never below zero") << u"0.5"_s << 1.0 << -10.0 << u"0"_s;
        QTest::newRow("bare trailing point") << u"5."_s << 1.0 << 1.0 << u"6"_s;
        QTest::newRow("sweep") << u"300-3300"_s << 1.0 << 1.0 << QString();
        QTest::newRow("note name") << u"%-2"_s << 1.0 << 1.0 << QString();
        QTest::newRow("negative") << u"-5"_s << 1.0 << 1.0 << QString();
    }

    void stepsOnlyAPlainFrequency()
    {
        QFETCH(QString, text);
        QFETCH(double, factor);
        QFETCH(double, offset);
        QTEST(SteppedFrequency(text, factor, offset).value_or(QString()), "result");
    }
};

QUORVANE_TEST_MAIN(ToneRequestTest)
#include "tst_tone_request.moc"

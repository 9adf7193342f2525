// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/alias_free.h"
#include "core/tone/tone.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

class AliasFreeTest : public QObject
{
    Q_OBJECT

private slots:
    void choosesMethod_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("frequencies");
        // For each: A additive, O oversampled, I integrated, * either of the two, - left to the
        // tool; then the factor of the rate, if it matters.
        QTest::addColumn<QString>("methods");

        // As measured in docs/alias-free.md.
        const QString steady = u"20, 110, 1234.5, 3150, 7777, 15000"_s;
        QTest::newRow("square, 44.1 kHz") << u"square"_s << 44100 << steady << u"O I A A A A"_s;
        QTest::newRow("sawtooth, 44.1 kHz") << u"sawtooth"_s << 44100 << steady << u"O I I A A A"_s;
        QTest::newRow("triangle, 44.1 kHz") << u"triangle"_s << 44100 << steady << u"O O A A A A"_s;
        QTest::newRow("square, 48 kHz") << u"square"_s << 48000 << steady << u"O I A A A A"_s;
        QTest::newRow("sawtooth, 48 kHz") << u"sawtooth"_s << 48000 << steady << u"O I I A A A"_s;
        QTest::newRow("triangle, 48 kHz") << u"triangle"_s << 48000 << steady << u"O O A A A A"_s;
        QTest::newRow("square, 96 kHz") << u"square"_s << 96000 << steady << u"O I I A A A"_s;
        QTest::newRow("sawtooth, 96 kHz") << u"sawtooth"_s << 96000 << steady << u"O O I I A A"_s;
        QTest::newRow("triangle, 96 kHz") << u"triangle"_s << 96000 << steady << u"O O O A A A"_s;
        QTest::newRow("square sweeps; a slope divided down to a millionth")
            << u"square"_s << 48000 << u"300-3300, 20/20000, 20+20000, 0.02:20000, 0.01:20000"_s
            << u"I9 I21 I21 I21 O200"_s;
        QTest::newRow("sawtooth sweeps") << u"sawtooth"_s << 48000
                                         << u"300-3300, 20-20000, 300:3300, 20:20000, 20000+20"_s
                                         << u"I9 I21 I9 I21 I21"_s;
        QTest::newRow("triangles; peaking at 0 or 100 %, sawtooths")
            << u"triangle"_s << 48000 << u"20-20000, 110 0 0 0, 110 0 0 100, 20:20000 0 0 0"_s << u"O19 I I I21"_s;
        QTest::newRow("exps; peaking at 0 or 100 %, a jump")
            << u"exp"_s << 48000 << u"20:20000, 20/20000, 300+3300, 110 0 0 0, 110 0 0 100"_s << u"I15 I15 O13 I I"_s;
        QTest::newRow("trapezia; an upright edge up to 9.6 MHz")
            << u"trapezium"_s << 48000 << u"20:20000, 20:20000 0 0 0, 20:20000 0 0 10 40 40"_s << u"O33 O200 O200"_s;
        QTest::newRow("12 harmonics or fewer: squares from 1 kHz")
            << u"square"_s << 48000 << u"950, 1000"_s << u"* A"_s;
        QTest::newRow("sawtooths from 1.85 kHz") << u"sawtooth"_s << 48000 << u"1846, 1850"_s << u"* A"_s;
        QTest::newRow("constant squares, nothing left, falling '/'")
            << u"square"_s << 48000 << u"110 0 0 0, 110 0 0 100, 0, 24000, 3300/300"_s << u"- - - - -"_s;
        QTest::newRow("sines") << u"sine"_s << 48000 << u"110, 20:20000"_s << u"- -"_s;
    }

    void choosesMethod()
    {
        QFETCH(QString, waveform);
        QFETCH(int, rate);
        QFETCH(QString, frequencies);
        QFETCH(QString, methods);

        const QStringList tones = frequencies.split(u", "_s);
        const QStringList expected = methods.split(u' ');
        for (qsizetype i = 0; i < tones.size(); ++i) {
            const ToneReading reading =
                ReadTone(MakeToneRequest(u"1"_s, waveform, tones[i]), ToolRun::Options(u"SampleRate=%1"_s.arg(rate)));
            QVERIFY(!reading.refusal);
            const std::optional<ToneTerm> &term = reading.tone.steps.first().left.first().term;
            QVERIFY(term);
            const std::optional<AliasFreeDesign> design = DesignAliasFreeTone({*reading.tone.shape, *term, rate, rate});
            const QChar chosen = design ? u"AOI"_s.at(int(design->method)) : u'-';
            const QString what = tones[i] + u": "_s + chosen + QString::number(design ? design->factor : 0);
            const QChar wanted = expected[i][0];
            QVERIFY2(wanted == u'*' ? chosen == u'O' || chosen == u'I' : chosen == wanted, qPrintable(what));
            if (!design)
                continue;
            if (expected[i].size() > 1)
                QVERIFY2(design->factor == QStringView(expected[i]).mid(1).toInt(), qPrintable(what));
            // Additive: exact, at the file's rate, a dozen sines at most. Else from 4 times the rate
            // up to 9.6 MHz, the folding estimated within the promise unless the rate is at its limit.
            QCOMPARE(qint64(design->synthRate), qint64(design->factor) * rate);
            QCOMPARE(design->peakExact, chosen == u'A');
            if (chosen == u'A') {
                QVERIFY(design->factor == 1 && design->sines.size() <= 12);
                continue;
            }
            QVERIFY(design->factor >= 4 && design->synthRate <= 9'600'000);
            const double promiseDb = term->sweep == SweepKind::Steady ? 76 : 66;
            if (design->synthRate + rate <= 9'600'000)
                QVERIFY2(20 * std::log10(design->alias) <= -promiseDb, qPrintable(what));
        }
    }
};

QUORVANE_TEST_MAIN(AliasFreeTest)
#include "tst_alias_free.moc"

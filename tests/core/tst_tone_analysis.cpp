// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/failure.h"
#include "core/sound/sound_file.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

// A long tone in memory: 65 s of a full-scale 1 kHz sine that stops after a tenth of its length.
class SineThenSilence : public SampleSource
{
public:
    int sampleRate() const override { return 48000; }
    int channels() const override { return 1; }
    qint64 frames() const override { return 3 * SpectrumFrameLimit; }
    qint64 read(qint64 offset, qint64 count, float *interleaved) override
    {
        count = std::min(count, frames() - offset);
        for (qint64 i = 0; i < count; ++i) {
            const qint64 frame = offset + i;
            interleaved[i] = frame < frames() / 10 ? float(std::sin(2 * M_PI * 1000 * double(frame) / 48000)) : 0.0f;
        }
        return count;
    }
};

// The analysis of tones that the tool wrote, judged by what the signals are: a sine's RMS is its
// peak minus 3.01 dB (which AES17 adds back), a plain square's aliases fold its harmonics at 1/n,
// pink noise has equal power in every octave and white noise twice as much in each octave up.
class ToneAnalysisTest : public QObject
{
    Q_OBJECT

    QString outputs;

    ToneAnalysis Measure(const QString &length, const QString &waveform, const QString &frequencies,
                         const QString &stored)
    {
        const QString path = outputs + u"/tone.wav"_s;
        const QString problem =
            ToolRun::Make(path, MakeToneRequest(length, waveform, frequencies), ToolRun::Options(stored));
        if (!problem.isEmpty())
            qFatal("The tool did not make the tone: %s", qPrintable(problem));
        return AnalyseSoundFile(path);
    }

    // The curve's slope in dB per octave between 100 Hz and 10 kHz, by least squares.
    static double Slope(const ToneAnalysis &analysis)
    {
        double n = 0;
        double sx = 0;
        double sy = 0;
        double sxx = 0;
        double sxy = 0;
        for (std::size_t i = 0; i < analysis.curveHertz.size(); ++i) {
            if (analysis.curveHertz[i] < 100 || analysis.curveHertz[i] > 10000)
                continue;
            const double x = std::log2(analysis.curveHertz[i]);
            const double y = analysis.curveDecibels[0][i];
            n += 1;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        return (n * sxy - sx * sy) / (n * sxx - sx * sx);
    }

    static void Near(double measured, double expected, double tolerance, const char *what)
    {
        if (std::isnan(expected))
            return;
        QVERIFY2(
            std::abs(measured - expected) <= tolerance,
            qPrintable(
                u"%1: %2, expected %3 ± %4"_s.arg(QLatin1StringView(what)).arg(measured).arg(expected).arg(tolerance)));
    }

private slots:
    void init()
    {
        TestSandbox::FreshTempFolder();
        outputs = TestSandbox::NewFolder();
    }

    void measuresWrittenTones_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<double>>("lines"); // per channel, the strongest line's frequency
        QTest::addColumn<double>("lineDb");
        QTest::addColumn<double>("peak");
        QTest::addColumn<double>("crest");
        QTest::addColumn<double>("otherDbc");
        QTest::addColumn<double>("slope");
        const double none = qQNaN();
        QTest::newRow("997 Hz sine at -20 dBFS peak")
            << u"Sine (Default)"_s << u"997"_s << u"1"_s << u"Level=-20"_s << QList<double>{997} << -20.0 << -20.0
            << 10 * std::log10(2.0) << none << none;
        QTest::newRow("two lines 12 dB apart") << u"Sine (Default)"_s << u"60 & 7000@-12"_s << u"2"_s << u""_s
                                               << QList<double>{60} << none << none << none << -12.0 << none;
        QTest::newRow("left | right: each channel its own line")
            << u"Sine (Default)"_s << u"440 | 1000"_s << u"1"_s << u"Level=-6"_s << QList<double>{440, 1000} << -6.0
            << -6.0 << none << none << none;
        QTest::newRow("a long tone read in parts")
            << u"Sine (Default)"_s << u"1234.5"_s << u"30"_s << u"Level=-12 SampleRate=44100 SampleFormat=16"_s
            << QList<double>{1234.5} << -12.0 << -12.0 << none << none << none;
        QTest::newRow("pink noise: level in every octave") << u"Pink Noise"_s << u"1000"_s << u"10"_s << u""_s
                                                           << QList<double>() << none << none << none << none << 0.0;
        QTest::newRow("white noise: 3 dB more each octave") << u"White Noise"_s << u"1000"_s << u"10"_s << u""_s
                                                            << QList<double>() << none << none << none << none << 3.0;
    }

    void measuresWrittenTones()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, length);
        QFETCH(QString, stored);
        QFETCH(QList<double>, lines);
        QFETCH(double, lineDb);
        QFETCH(double, peak);
        QFETCH(double, crest);
        QFETCH(double, otherDbc);
        QFETCH(double, slope);

        const ToneAnalysis analysis = Measure(length, waveform, frequencies, stored);
        QVERIFY(analysis.wholeFileRead);
        for (qsizetype channel = 0; channel < lines.size(); ++channel) {
            const ChannelFigures &figures = analysis.figures.at(std::size_t(channel));
            Near(figures.line.hertz, lines[channel], 0.01, "line frequency");
            Near(figures.line.decibels, lineDb, 0.1, "line level");
            Near(figures.peakDbfs, peak, 0.005, "peak");
            // AES17: a sine's RMS level is its peak level.
            Near(figures.rmsDbfs, peak, 0.005, "RMS (AES17)");
            Near(figures.crestDb, crest, 0.005, "crest factor");
            Near(figures.other.decibels, otherDbc, 0.1, "other component");
        }
        Near(Slope(analysis), slope, 0.5, "slope per octave");
        // The curve has the line at its level too: a full-scale sine's line reads 0 dB.
        if (!std::isnan(lineDb)) {
            const float top = *std::max_element(analysis.curveDecibels[0].begin(), analysis.curveDecibels[0].end());
            Near(top, lineDb, 0.2, "curve's line");
        }
    }

    void longTonesShowTheirPartsFirstThenTheWhole()
    {
        SineThenSilence source;
        std::optional<ToneAnalysis> first;
        const ToneAnalysis whole =
            ToneAnalyser(source, {.firstLook = [&](const ToneAnalysis &a) { first = a; }}).analyse();
        // The first part is all sine, the other three silence: a quarter of a sine's power.
        QVERIFY(first && !first->wholeFileRead && first->overviewLow.empty());
        QCOMPARE(first->spectrumParts, SpectrumPartsOfLongFiles);
        Near(first->figures[0].rmsDbfs, -6.02, 0.01, "RMS of the parts");
        Near(first->figures[0].line.hertz, 1000, 0.01, "line of the parts");
        // The whole file: a tenth of a sine's power, and an overview that shows where it stops.
        QVERIFY(whole.wholeFileRead);
        Near(whole.figures[0].rmsDbfs, -10, 0.01, "RMS of the whole");
        QVERIFY(whole.overviewHigh[0].front() > 0.99f && whole.overviewLow[0].front() < -0.99f);
        QCOMPARE(whole.overviewHigh[0][OverviewColumns / 10 + 1], 0.0f);

        // A newer tone stops the analysis between two blocks.
        bool stopping = false;
        ToneAnalyser stopped(source, {.firstLook = [&](const ToneAnalysis &) { stopping = true; },
                                      .stopRequested = [&] { return stopping; }});
        QVERIFY_THROWS_EXCEPTION(Failure, stopped.analyse());
    }

    void squareAliasesAsItsHarmonicsFold_data()
    {
        QTest::addColumn<bool>("aliasFree");
        QTest::newRow("plain") << false;
        QTest::newRow("alias-free") << true;
    }

    void squareAliasesAsItsHarmonicsFold()
    {
        QFETCH(bool, aliasFree);
        constexpr double fundamental = 2718;
        constexpr double rate = 48000;
        const ToneAnalysis analysis =
            Measure(u"1"_s, u"Square"_s, QString::number(fundamental), aliasFree ? u"AliasFree=1"_s : u""_s);
        const ChannelFigures &figures = analysis.figures[0];
        Near(figures.line.hertz, fundamental, 0.01, "fundamental");
        QList<double> harmonics;
        for (int k = 1; k * fundamental < rate / 2; ++k)
            harmonics.append(k * fundamental);
        const double worstAlias = analysis.strongestComponent(0, harmonics).decibels - figures.line.decibels;
        if (aliasFree) {
            QVERIFY2(worstAlias < -70, qPrintable(QString::number(worstAlias)));
            return;
        }
        // The reference: odd harmonic n at 1/n of the fundamental, folded about half the rate.
        double reference = -1000;
        for (int n = 1; n < 2001; n += 2) {
            double folded = std::fmod(n * fundamental, rate);
            folded = std::min(folded, rate - folded);
            const bool onHarmonic =
                std::any_of(harmonics.begin(), harmonics.end(), [&](double h) { return std::abs(folded - h) < 10; });
            if (!onHarmonic)
                reference = std::max(reference, -20 * std::log10(n));
        }
        Near(worstAlias, reference, 1.0, "worst alias");
    }
};

QUORVANE_TEST_MAIN(ToneAnalysisTest)
#include "tst_tone_analysis.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/alias_free.h"
#include "core/plan/tone_plan.h"
#include "core/sox/level_report.h"
#include "core/sox/tool_words.h"
#include "core/tone/analog_level.h"
#include "core/tone/periodic_shape.h"
#include "core/tone/tone_level.h"
#include "test_sandbox.h"

#include <QProcess>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;
using Complex = std::complex<double>;

Q_DECLARE_METATYPE(ShapeKind)
Q_DECLARE_METATYPE(ShapeParameters)
Q_DECLARE_METATYPE(Complex)

namespace {

constexpr double Pi = std::numbers::pi;

ShapeParameters Shape(double p1 = -1, double p2 = -1, double p3 = -1, double offset = 0, double phase = 0)
{
    return {.offset = offset, .phase = phase, .p1 = p1, .p2 = p2, .p3 = p3};
}

// The levels that the tool's stats effect reports on this tone: its standard error, as it wrote it.
QString ToolStats(int channels, const QStringList &tone)
{
    QProcess tool;
    tool.start(u"" QUORVANE_TOOL_101 ""_s,
               QStringList{u"-c"_s, QString::number(channels), u"-n"_s, u"-n"_s} + tone + QStringList{u"stats"_s});
    if (!tool.waitForFinished() || tool.exitCode() != 0)
        qFatal("the tool did not measure %s", qPrintable(tone.join(u' ')));
    return QString::fromUtf8(tool.readAllStandardError());
}

// What the copied command's awk makes of a stats report: its output and whether it went on.
std::pair<QString, bool> AwkGain(const QString &script, const QString &report)
{
    QProcess awk;
    awk.start(u"awk"_s, {script});
    awk.write(report.toUtf8());
    awk.closeWriteChannel();
    if (!awk.waitForFinished())
        qFatal("awk did not finish");
    return {QString::fromUtf8(awk.readAllStandardOutput()), awk.exitCode() == 0};
}

// A stats report of one channel, or of the overall figures then each channel's.
QString StatsReport(const QStringList &peaks, const QStringList &rms)
{
    const QString overall = peaks.size() > 1 ? u"-0.00 "_s : QString();
    return u"DC offset   0.000000\nPk lev dB %1%2\nRMS lev dB %3%4\nCrest factor 1.41\n"_s.arg(
        overall, peaks.join(u' '), overall, rms.join(u' '));
}

} // namespace

// The maths that plans a tone, on its own: the shapes' harmonics, the phases a steady tone
// visits, and reading the tool's measurement.
class ToneMathsTest : public QObject
{
    Q_OBJECT

private slots:
    // The published series: the waveform is mean + sum of 2 Re(c_k e^(2 pi i k t)), so a harmonic's
    // amplitude is 2|c_k|: 4/(pi k) for the square, 2/(pi k) for the sawtooth, 8/(pi k)^2 for the
    // triangle, odd k only for the square and the triangle.
    void publishedSeries_data()
    {
        QTest::addColumn<ShapeKind>("kind");
        QTest::addColumn<ShapeParameters>("parameters");
        QTest::addColumn<int>("k");
        QTest::addColumn<Complex>("expected");

        const Complex i(0, 1);
        for (const int k : {1, 2, 3, 7}) {
            const bool odd = k % 2 == 1;
            QTest::addRow("square %d", k) << ShapeKind::Square << Shape() << k << (odd ? -2.0 * i / (Pi * k) : 0.0);
            QTest::addRow("sawtooth %d", k) << ShapeKind::Sawtooth << Shape() << k << i / (Pi * k);
            QTest::addRow("triangle %d", k)
                << ShapeKind::Triangle << Shape() << k << Complex(odd ? -4 / (Pi * Pi * k * k) : 0.0);
            // A pulse of duty d: 2 sin(pi k d) / (pi k) e^(-i pi k d).
            QTest::addRow("pulse of duty 1/4, %d", k)
                << ShapeKind::Square << Shape(0.25) << k
                << 2 * std::sin(Pi * k / 4) / (Pi * k) * std::polar(1.0, -Pi * k / 4);
            // Half the scale for an offset of 1/2, and a quarter period earlier: i^k.
            QTest::addRow("square, offset and phase, %d", k) << ShapeKind::Square << Shape(-1, -1, -1, 0.5, 0.25) << k
                                                             << (odd ? -1.0 * i / (Pi * k) * std::pow(i, k) : 0.0);
        }
        QTest::newRow("sine") << ShapeKind::Sine << Shape() << 1 << Complex(0, -0.5);
        QTest::newRow("sine, no second") << ShapeKind::Sine << Shape() << 2 << Complex(0);
    }

    void publishedSeries()
    {
        QFETCH(ShapeKind, kind);
        QFETCH(ShapeParameters, parameters);
        QFETCH(int, k);
        QFETCH(Complex, expected);
        const Complex harmonic = PeriodicShape(kind, parameters).harmonic(k);
        QVERIFY2(std::abs(harmonic - expected) < 1e-12, qPrintable(u"(%1, %2), expected (%3, %4)"_s.arg(harmonic.real())
                                                                       .arg(harmonic.imag())
                                                                       .arg(expected.real())
                                                                       .arg(expected.imag())));
    }

    // Every shape's harmonics, mean, power and peak against a discrete Fourier transform of its own
    // samples, taken at the middle of 2^14 equal steps.
    void seriesOfSamples_data()
    {
        QTest::addColumn<ShapeKind>("kind");
        QTest::addColumn<ShapeParameters>("parameters");

        QTest::newRow("square, duty 0.3, offset") << ShapeKind::Square << Shape(0.3, -1, -1, -0.2);
        QTest::newRow("triangle, peak at 0.2") << ShapeKind::Triangle << Shape(0.2);
        QTest::newRow("sawtooth, phase 0.4") << ShapeKind::Sawtooth << Shape(-1, -1, -1, 0, 0.4);
        QTest::newRow("trapezium") << ShapeKind::Trapezium << Shape();
        QTest::newRow("trapezium, rise 0.3: symmetric") << ShapeKind::Trapezium << Shape(0.3);
        QTest::newRow("trapezium, rise 0.7: falls to the end") << ShapeKind::Trapezium << Shape(0.7);
        QTest::newRow("trapezium, fall from 0.4") << ShapeKind::Trapezium << Shape(0.2, 0.4);
        QTest::newRow("trapezium, high ends before the rise") << ShapeKind::Trapezium << Shape(0.5, 0.2, 0.8);
        QTest::newRow("exp") << ShapeKind::Exp << Shape();
        QTest::newRow("exp, early and deep") << ShapeKind::Exp << Shape(0.1, 0.9);
        QTest::newRow("exp, offset and phase") << ShapeKind::Exp << Shape(0.7, 0.2, -1, 0.3, 0.6);
        QTest::newRow("exp, no depth: constant") << ShapeKind::Exp << Shape(0.5, 0);
    }

    void seriesOfSamples()
    {
        QFETCH(ShapeKind, kind);
        QFETCH(ShapeParameters, parameters);
        const PeriodicShape shape(kind, parameters);
        constexpr int Steps = 1 << 14;
        constexpr int Harmonics = 9;
        std::vector<Complex> sums(Harmonics);
        double meanSquare = 0;
        double peak = 0;
        for (int n = 0; n < Steps; ++n) {
            const double t = (n + 0.5) / Steps;
            const double value = shape.value(t);
            for (int k = 0; k < Harmonics; ++k)
                sums[k] += value * std::polar(1.0 / Steps, -2 * Pi * k * t);
            meanSquare += value * value / Steps;
            peak = std::max(peak, std::abs(value));
        }
        // Samples of a jump converge as 1/Steps, of a corner as 1/Steps^2.
        QVERIFY2(std::abs(shape.mean() - sums[0].real()) < 1e-4, qPrintable(QString::number(sums[0].real())));
        for (int k = 1; k < Harmonics; ++k)
            QVERIFY2(std::abs(shape.harmonic(k) - sums[k]) < 1e-4, qPrintable(u"harmonic %1"_s.arg(k)));
        QVERIFY2(std::abs(shape.meanSquare() - meanSquare) < 1e-4, qPrintable(QString::number(meanSquare)));
        // The peak is at a piece's end, which the samples may miss by half a step.
        QVERIFY(shape.peak() >= peak - 1e-12);
        QVERIFY(shape.peak() < peak + 1e-3);
    }

    // The phases are 0, f/r, 2 f/r, ... modulo 1: q of them when f/r is p/q in lowest terms.
    void phaseCount_data()
    {
        QTest::addColumn<double>("frequency");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<qint64>("expected"); // 0: more than the limit

        QTest::newRow("0 Hz: one phase") << 0.0 << 48000 << qint64(100) << qint64(1);
        QTest::newRow("the rate itself: one phase") << 48000.0 << 48000 << qint64(100) << qint64(1);
        QTest::newRow("half the rate") << 24000.0 << 48000 << qint64(100) << qint64(2);
        QTest::newRow("a third of the rate") << 16000.0 << 48000 << qint64(100) << qint64(3);
        QTest::newRow("1 kHz at 48 kHz") << 1000.0 << 48000 << qint64(100) << qint64(48);
        QTest::newRow("440 Hz at 48 kHz: 11/1200") << 440.0 << 48000 << qint64(65536) << qint64(1200);
        QTest::newRow("at the limit") << 440.0 << 48000 << qint64(1200) << qint64(1200);
        QTest::newRow("one over the limit") << 440.0 << 48000 << qint64(1199) << qint64(0);
        QTest::newRow("441 Hz at 44.1 kHz") << 441.0 << 44100 << qint64(65536) << qint64(100);
        QTest::newRow("a fraction of a hertz: 667/32000") << 1000.5 << 48000 << qint64(65536) << qint64(32000);
        QTest::newRow("above the rate: 25/48") << 73000.0 << 48000 << qint64(100) << qint64(48);
        QTest::newRow("not a fraction") << 1000 * std::numbers::sqrt2 << 48000 << qint64(4096) << qint64(0);
    }

    void phaseCount()
    {
        QFETCH(double, frequency);
        QFETCH(int, rate);
        QFETCH(qint64, limit);
        QFETCH(qint64, expected);
        QCOMPARE(PhaseCount(frequency, rate, limit), expected);
    }

    // What the tool reports, captured from it: one column for one channel, the overall figures
    // then each channel's for more. Levels are in hundredths of a decibel; the peak is rounded up.
    void toolStats_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QStringList>("tone");
        QTest::addColumn<QList<double>>("peaks");       // per channel, full scale 1
        QTest::addColumn<QList<double>>("meanSquares"); // per channel

        const double half = std::pow(10, -6.0 / 20);
        QTest::newRow("sine at -6 dB") << 1 << QStringList{u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s, u"gain"_s, u"-6"_s}
                                       << QList<double>{half} << QList<double>{half * half / 2};
        QTest::newRow("square, stereo, right at -6 dB")
            << 2 << QStringList{u"synth"_s, u"1"_s, u"square"_s, u"1000"_s, u"remix"_s, u"1"_s, u"2v0.5"_s}
            << QList<double>{1, 0.5} << QList<double>{1, 0.25};
        QTest::newRow("three channels, one silent")
            << 3 << QStringList{u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s, u"remix"_s, u"1"_s, u"0"_s, u"2"_s}
            << QList<double>{} << QList<double>{};
        QTest::newRow("silence") << 1 << QStringList{u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s, u"vol"_s, u"0"_s}
                                 << QList<double>{} << QList<double>{};
    }

    void toolStats()
    {
        QFETCH(int, channels);
        QFETCH(QStringList, tone);
        QFETCH(QList<double>, peaks);
        QFETCH(QList<double>, meanSquares);
        const QList<ToneLevels> levels = ParseToolStatsByChannel(ToolStats(channels, tone));
        QCOMPARE(levels.size(), peaks.size());
        for (qsizetype channel = 0; channel < levels.size(); ++channel) {
            // Two places of decibels: within 0.006 dB, and never below the true peak.
            QVERIFY(levels[channel].peak >= peaks[channel] * (1 - 1e-9));
            QVERIFY(levels[channel].peak <= peaks[channel] * std::pow(10, 0.011 / 20));
            QVERIFY(levels[channel].peakExact);
            QVERIFY(std::abs(10 * std::log10(levels[channel].meanSquare / meanSquares[channel])) < 0.006);
        }
    }

    // Reports that are not the stats effect's, or not whole.
    void malformedStats_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<int>("channels");

        const QString rms = u"RMS lev dB     -3.01\n"_s;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("no RMS row") << u"Pk lev dB      -0.00\n"_s << 0;
        QTest::newRow("columns do not agree") << u"Pk lev dB  -0.00  -0.00  -6.02\n"_s + rms << 0;
        QTest::newRow("overall without channels") << u"Pk lev dB  -0.00 -0.00\nRMS lev dB -3.01 -3.01\n"_s << 0;
        QTest::newRow("not a number") << u"Pk lev dB      loud\n"_s + rms << 0;
        QTest::newRow("one silent channel") << u"Pk lev dB  -0.00 -0.00 -inf\nRMS lev dB -3.01 -3.01 -inf\n"_s << 0;
        QTest::newRow("after other output")
            << u"sox WARN dither: dither clipped 3 samples\nPk lev dB -1.00\n"_s + rms << 1;
    }

    void malformedStats()
    {
        QFETCH(QString, report);
        QFETCH(int, channels);
        QCOMPARE(ParseToolStatsByChannel(report).size(), channels);
    }

    // The level maths alone: the gain that brings a tone to a peak or an AES17 RMS level, the
    // tool's normalisation for a peak that is only bounded, and how far a level that cannot fit
    // would clip.
    void setLevel_data()
    {
        QTest::addColumn<bool>("rms");
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("peak");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<double>("meanSquare");
        QTest::addColumn<double>("gainDb");
        QTest::addColumn<double>("normalisedDb"); // NaN: none
        QTest::addColumn<double>("overDb");       // NaN: it fits
        const double none = qQNaN();
        QTest::newRow("peak -6, full-scale sine") << false << -6. << 1. << true << .5 << -6. << none << none;
        QTest::newRow("peak 0 keeps the headroom") << false << 0. << 1. << true << .5 << -HeadroomDb << none << none;
        QTest::newRow("peak -6 of a tone peaking at 0.5")
            << false << -6. << .5 << true << .125 << -6 + 6.0206 << none << none;
        QTest::newRow("a bounded peak is normalised") << false << -3. << 1.2 << false << .5 << 0. << -3. << none;
        // A square's RMS level is its peak level + 3.01 dB; a sine's equals it.
        QTest::newRow("RMS -20, square") << true << -20. << 1. << true << 1. << -23.0103 << none << none;
        QTest::newRow("RMS 0, sine: just below full scale")
            << true << 0. << 1. << true << .5 << -HeadroomDb << none << none;
        // A triangle's RMS is 1 / sqrt(3) of its peak: at 0 dBFS RMS it would peak 1.76 dB over.
        QTest::newRow("RMS 0, triangle: too loud") << true << 0. << 1. << true << 1. / 3 << 1.7609 << none << 1.7609;
    }

    void setLevel()
    {
        QFETCH(bool, rms);
        QFETCH(double, target);
        QFETCH(double, peak);
        QFETCH(bool, exact);
        QFETCH(double, meanSquare);
        QFETCH(double, gainDb);
        QFETCH(double, normalisedDb);
        QFETCH(double, overDb);
        const LevelSetting setting = SetLevel({rms, target}, {peak, exact, meanSquare});
        QVERIFY2(std::abs(setting.gainDb - gainDb) < 1e-4, qPrintable(QString::number(setting.gainDb)));
        QCOMPARE(setting.normalisedPeakDb.has_value(), !qIsNaN(normalisedDb));
        if (setting.normalisedPeakDb)
            QCOMPARE(*setting.normalisedPeakDb, normalisedDb);
        QCOMPARE(setting.overDb.has_value(), !qIsNaN(overDb));
        QCOMPARE(setting.reminder.has_value(), !qIsNaN(overDb));
        if (setting.overDb)
            QVERIFY(std::abs(*setting.overDb - overDb) < 1e-4);
    }

    // A meter's reading at a calibrated output, as dBFS (RMS, AES17): 0 dBu is sqrt(0.6) V, 0 dBV
    // is 1 V, so 1 V reads +2.2185 dBu. Hundredths of a dB; -1 for a text that is no reading, 1 for
    // a level that Level does not take there.
    void meterReadings_data()
    {
        QTest::addColumn<QString>("fullScale");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<int>("hundredths");
        QTest::addColumn<QString>("readsAtMinus20"); // what -20 dBFS reads there, in full scale's unit
        QTest::newRow("+4 dBu, +18 dBu full scale") << u"+18 dBu"_s << u"+4 dBu"_s << -1400 << u"-2.0 dBu"_s;
        QTest::newRow("any case, no blank") << u"+18dBu"_s << u" +4.0 DBU "_s << -1400 << u"-2.0 dBu"_s;
        QTest::newRow("millivolts, volts full scale") << u"1.228 V"_s << u"122.8 mV"_s << -2000 << u"122.8 mV"_s;
        QTest::newRow("dBu, dBV full scale") << u"+4 dBV"_s << u"0 dBu"_s << -622 << u"-16.0 dBV"_s;
        QTest::newRow("volts, dBu full scale") << u"+18 dBu"_s << u"1 V"_s << -1578 << u"-2.0 dBu"_s;
        QTest::newRow("microvolts") << u"1 V"_s << u"50 µV"_s << -8602 << u"100 mV"_s;
        QTest::newRow("full scale itself") << u"+18 dBu"_s << u"18 dBu"_s << 0 << u"-2.0 dBu"_s;
        QTest::newRow("the lowest") << u"+18 dBu"_s << u"-102 dBu"_s << -12000 << u"-2.0 dBu"_s;
        QTest::newRow("above full scale") << u"+18 dBu"_s << u"+18.01 dBu"_s << 1 << u"-2.0 dBu"_s;
        QTest::newRow("below the lowest") << u"+18 dBu"_s << u"-102.01 dBu"_s << 1 << u"-2.0 dBu"_s;
        QTest::newRow("far beyond: no overflow") << u"+18 dBu"_s << u"99999999999 dBu"_s << 1 << u"-2.0 dBu"_s;
        for (const QString &text : {u"0 V"_s, u"-1 V"_s, u"4 dB"_s, u"1e3 V"_s, u"dBu"_s, u""_s})
            QTest::addRow("not a reading: \"%s\"", qPrintable(text)) << u"+18 dBu"_s << text << -1 << u"-2.0 dBu"_s;
    }

    void meterReadings()
    {
        QFETCH(QString, fullScale);
        QFETCH(QString, reading);
        QFETCH(int, hundredths);
        const OutputCalibration calibration{ParseAnalogLevel(fullScale).value()};
        QTEST(calibration.reading(*OutputLevel::FromText(u"-20"_s)).text(), "readsAtMinus20");
        const std::optional<AnalogLevel> parsed = ParseAnalogLevel(reading);
        QCOMPARE(parsed.has_value(), hundredths != -1);
        if (!parsed)
            return;
        const std::optional<OutputLevel> level = calibration.outputLevel(*parsed);
        QCOMPARE(level.has_value(), hundredths != 1);
        if (level)
            QCOMPARE(level->hundredths(), hundredths);
    }

    // The copied command sets a measured level in awk: from any report, the same gain as the
    // program (to the gain's four places), the same refusal, and no gain from no level.
    void measuringScriptFollowsSetLevel_data()
    {
        QTest::addColumn<bool>("rms");
        QTest::addColumn<double>("target");
        QTest::addColumn<QStringList>("peaks"); // dB as reported, one a channel
        QTest::addColumn<QStringList>("rmsDb");
        QTest::addColumn<QList<double>>("sidePeakTargets"); // measured by side
        const QList<double> whole;
        QTest::newRow("pink noise to -20 dBFS RMS")
            << true << -20. << QStringList{u"-1.23"_s} << QStringList{u"-13.50"_s} << whole;
        QTest::newRow("white noise to 0 dBFS RMS: too loud")
            << true << 0. << QStringList{u"-0.50"_s} << QStringList{u"-4.80"_s} << whole;
        QTest::newRow("just fits, lowered to the headroom")
            << true << -3. << QStringList{u"-0.01"_s} << QStringList{u"-3.01"_s} << whole;
        QTest::newRow("a peak target keeps the headroom")
            << false << 0. << QStringList{u"-2.00"_s} << QStringList{u"-9.00"_s} << whole;
        QTest::newRow("a peak target below it")
            << false << -12.5 << QStringList{u"-0.37"_s} << QStringList{u"-9.00"_s} << whole;
        QTest::newRow("silence") << true << -20. << QStringList{u"-inf"_s} << QStringList{u"-inf"_s} << whole;
        QTest::newRow("no report") << true << -20. << QStringList() << QStringList() << whole;
        QTest::newRow("each side's peak") << false << 0. << QStringList{u"-1.00"_s, u"-7.25"_s}
                                          << QStringList{u"-4.00"_s, u"-10.00"_s} << QList<double>{-0.001, -6.001};
        QTest::newRow("a side missing") << false << 0. << QStringList{u"-1.00"_s} << QStringList{u"-4.00"_s}
                                        << QList<double>{-0.001, -6.001};
    }

    void measuringScriptFollowsSetLevel()
    {
        QFETCH(bool, rms);
        QFETCH(double, target);
        QFETCH(QStringList, peaks);
        QFETCH(QStringList, rmsDb);
        QFETCH(QList<double>, sidePeakTargets);
        TonePlan plan;
        plan.target = {rms, target};
        plan.level.measured = true;
        plan.level.sidePeakTargets = sidePeakTargets;
        const QString report = peaks.isEmpty() ? u"sox FAIL formats: can't open input\n"_s : StatsReport(peaks, rmsDb);
        const auto [gain, wentOn] = AwkGain(MeasuredGainScript(plan), report);
        // The program, from the same report.
        const bool applied = ApplyMeasuredLevels(plan, ParseToolStatsByChannel(report));
        QCOMPARE(wentOn, applied && !plan.reminder);
        if (!wentOn)
            return;
        if (sidePeakTargets.isEmpty()) {
            const double expected = plan.level.gainDb.value_or(0);
            QVERIFY2(std::abs(gain.toDouble() - expected) <= 0.51e-4, qPrintable(gain));
            return;
        }
        QStringList expected;
        for (qsizetype side = 0; side < plan.level.channelGainsDb.size(); ++side)
            expected << u"%1p%2"_s.arg(side + 1).arg(plan.level.channelGainsDb[side], 0, 'f', 4);
        QCOMPARE(gain, expected.join(u' '));
    }
};

QUORVANE_TEST_MAIN(ToneMathsTest)
#include "tst_tone_maths.moc"

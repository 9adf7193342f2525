// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound/live_plan.h"
#include "live_comparison.h"
#include "test_sandbox.h"
#include "tool_run.h"

using namespace Qt::Literals::StringLiterals;

// What plays live is what Save writes: the fields typed as a person types them, read and planned
// once, then rendered live into a buffer and by the tool into a file through the commands' own
// code. The rows check what the live tone takes from the plan (levels, gains, mixes, sides and
// channels); the shapes and noises themselves are the renderer's own test.
class LivePlanTest : public QObject
{
    Q_OBJECT

    QString outputs;
    static constexpr size_t EndFrames = 480;

    static TonePlan Plan(const QString &waveform, const QString &frequencies, const QString &stored)
    {
        return PlanInputs(MakeToneRequest(u"3"_s, waveform, frequencies), ToolRun::Options(stored)).plan;
    }

private slots:
    void initTestCase()
    {
        TestSandbox::FreshTempFolder();
        outputs = TestSandbox::NewFolder();
    }

    void liveToneSoundsAsTheSavedFile_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        // Periodic tones: the largest difference of any sample, against full scale. The tool makes
        // them by formula (and alias-free ones as sums of sines) to -100 dB. Where it makes a shape
        // at a high rate and filters it down, its harmonics come out within 0.035 dB of the series,
        // and the last one below half the rate, at the edge of the filter's pass band, within
        // 0.25 dB: -60 dB at most for a tone at -6 dBFS. (The rows keep every harmonic out of the
        // filter's transition band, 0.95 to 1 times half the rate.) Noises: 0 (their level and
        // spectrum are compared instead).
        QTest::addColumn<double>("worst");
        const QString sine = u"Sine (Default)"_s;
        const double exact = 1e-5;
        QTest::newRow("sine, -20 dBFS") << sine << u"1000"_s << u"Level=-20"_s << exact;
        QTest::newRow("square, full scale") << u"Square"_s << u"441.7"_s << QString() << exact;
        QTest::newRow("triangle, offset, phase, -10 dBFS RMS")
            << u"Triangle"_s << u"500 10 25"_s << u"LevelUnit=RMS Level=-10"_s << exact;
        QTest::newRow("sawtooth at a note, -3 dBFS") << u"Sawtooth"_s << u"A4"_s << u"Level=-3"_s << exact;
        QTest::newRow("% semitones, 44.1 kHz") << sine << u"%-5"_s << u"SampleRate=44100"_s << exact;
        QTest::newRow("& and @") << sine << u"697 & 1209@-3"_s << u"Level=-6"_s << exact;
        QTest::newRow("& by RMS") << u"Trapezium"_s << u"300 & 1000@-6"_s << u"LevelUnit=RMS Level=-20"_s << exact;
        QTest::newRow("left | right, @") << u"Square"_s << u"440 | 444@-6"_s << u"Level=-3"_s << exact;
        QTest::newRow("left | right of tones together") << sine << u"500 & 700 | 1000"_s << QString() << exact;
        QTest::newRow("Left Only") << sine << u"1000"_s << u"Channels=Left Level=-6"_s << exact;
        QTest::newRow("Right Only, RMS") << u"Exp"_s << u"200"_s << u"Channels=Right LevelUnit=RMS Level=-20"_s
                                         << exact;
        QTest::newRow("5.1") << sine << u"1000"_s << u"Channels=5.1 Level=-6"_s << exact;
        QTest::newRow("multitone on FFT bins")
            << sine << u"multitone 31 20-20000 fft 16384"_s << u"LevelUnit=RMS Level=-20"_s << exact;
        QTest::newRow("Both, 16-bit") << u"Triangle"_s << u"300"_s << u"Channels=Both SampleFormat=16"_s << 1e-4;
        QTest::newRow("alias-free square, added up") << u"Square"_s << u"2000"_s << u"AliasFree=1"_s << exact;
        QTest::newRow("alias-free together, RMS")
            << u"Sawtooth"_s << u"3000 & 4000@-6"_s << u"AliasFree=1 LevelUnit=RMS Level=-12"_s << exact;
        QTest::newRow("alias-free square, filtered, normalised")
            << u"Square"_s << u"900"_s << u"AliasFree=1 Level=-6"_s << 1e-3;
        QTest::newRow("alias-free triangle, filtered, RMS")
            << u"Triangle"_s << u"300"_s << u"AliasFree=1 LevelUnit=RMS Level=-10"_s << 1e-3;
        QTest::newRow("alias-free sawtooth, filtered, Left Only")
            << u"Sawtooth"_s << u"1500"_s << u"AliasFree=1 Level=-6 Channels=Left"_s << 1e-3;
        QTest::newRow("white noise, -20 dBFS RMS")
            << u"White Noise"_s << u"1000"_s << u"LevelUnit=RMS Level=-20"_s << 0.0;
        QTest::newRow("pink noise, 500-2000 Hz, RMS")
            << u"Pink Noise"_s << u"500-2000"_s << u"NoiseBand=1 LevelUnit=RMS Level=-20"_s << 0.0;
        QTest::newRow("brown noise, 20-200 Hz, peak, Both")
            << u"Brown Noise"_s << u"20-200"_s << u"NoiseBand=1 Level=-6 Channels=Both"_s << 0.0;
    }

    void liveToneSoundsAsTheSavedFile()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(double, worst);
        const QString path = outputs + u"/saved.wav"_s;
        QCOMPARE(ToolRun::Make(path, MakeToneRequest(u"3"_s, waveform, frequencies), ToolRun::Options(options)),
                 QString());
        const WavInfo wav = ReadWav(path);
        const TonePlan plan = Plan(waveform, frequencies, options);
        const LivePlan live = LiveToneOf(plan);
        QVERIFY2(live.tone, qPrintable(live.refusal));
        auto played = LiveComparison::Render(*live.tone, qsizetype(plan.frames));
        QCOMPARE(int(played.size()), wav.channels);
        for (size_t c = 0; c < played.size(); ++c) {
            std::vector<double> saved = c == 0 ? wav.firstChannel : wav.secondChannel;
            saved.erase(saved.begin(), saved.begin() + LiveComparison::StartFrames);
            // The saved tone's own end (a filtered shape's fade) is not what plays live.
            saved.resize(saved.size() - EndFrames);
            played[c].resize(saved.size());
            QCOMPARE(played[c].size(), saved.size());
            const std::optional<QString> disagreement =
                worst > 0 ? std::nullopt : LiveComparison::NoiseDisagreement(played[c], saved, wav.sampleRate);
            QVERIFY2(!disagreement, qPrintable(disagreement.value_or(QString())));
            const double difference = worst > 0 ? LiveComparison::WorstDifference(played[c], saved) : 0;
            QVERIFY2(difference <= worst, qPrintable(u"%1 dB in channel %2"_s.arg(20 * std::log10(difference)).arg(c)));
        }
    }

    void changingToneLoopsFromItsFile_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::newRow("sweep") << u"300-3300"_s << QString();
        QTest::newRow("steps") << u"100; 1000"_s << QString();
        QTest::newRow("bursts") << u"1000"_s << u"Burst=3"_s;
        QTest::newRow("measurement sweep") << u"20-20000"_s << u"MeasurementSweep=1"_s;
        QTest::newRow("a sweep among tones together") << u"440 & 300-3300"_s << QString();
        QTest::newRow("left | right alias-free sweep") << u"300-3300 | 1000"_s << u"AliasFree=1"_s;
    }

    void changingToneLoopsFromItsFile()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        const LivePlan live = LiveToneOf(Plan(u"Square"_s, frequencies, options));
        QVERIFY(!live.tone);
        QVERIFY(!live.refusal.isEmpty());
    }
};

QUORVANE_TEST_MAIN(LivePlanTest)
#include "tst_live_plan.moc"

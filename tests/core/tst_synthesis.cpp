// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/run_and_wait.h"
#include "core/run/synth_run.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "core/sox/synth_command.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QDir>
#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <complex>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

// Where a row sets its traps: the working folder's name, a folder of the other account's, and a
// file of the person's that the links point at.
struct Traps
{
    QString name;
    QString planted;
    QString victim;
};

// Puts something at the working folder's name beforehand.
using TakeWorkFolder = std::function<bool(const Traps &)>;
Q_DECLARE_METATYPE(TakeWorkFolder)

// The frequency of a steady sine from its rising zero crossings, each placed between its two
// samples: far finer than a spectrum's bins over a second.
double CrossingFrequency(const std::vector<double> &samples, size_t first, size_t count, int rate)
{
    double firstCrossing = -1;
    double lastCrossing = -1;
    int crossings = 0;
    for (size_t n = first + 1; n < first + count; ++n) {
        if (samples[n - 1] < 0 && samples[n] >= 0) {
            const double at = double(n - 1) + samples[n - 1] / (samples[n - 1] - samples[n]);
            if (firstCrossing < 0)
                firstCrossing = at;
            lastCrossing = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (lastCrossing - firstCrossing) : 0;
}

// The whole core path that a command takes: tool files out, one run, tool files gone.
class SynthesisTest : public QObject
{
    Q_OBJECT

    QString temp;
    QString outputFolder;

    qint32 Synthesize(const QString &output, const QString &length, const QString &waveform, const QString &frequencies,
                      ShellRunDetails *details = nullptr, const OutputOptions &options = {})
    {
        ToolRun::Deploy();
        const SynthCommand command = ToolRun::Command(output, MakeToneRequest(length, waveform, frequencies), options);
        const qint32 result = ShellAndWait(command.program, command.arguments, 0, details, {CheckTrustedTool});
        ToolRun::Remove();
        return result;
    }

private slots:
    void init()
    {
        temp = TestSandbox::FreshTempFolder();
        outputFolder = TestSandbox::NewFolder();
    }

    void cleanup()
    {
        // Only what the tool was asked to write: no tool file survives a run.
        const QStringList left = QDir(WorkFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(left.filter(u"preview.wav"_s).size(), left.size());
    }

    void writesTheRequestedTone_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("frequency"); // 0: noise, no single peak

        QTest::newRow("5000 Hz sine survives the sample rate")
            << u"2,5"_s << u"Sine (Default)"_s << u"5000"_s << 2.5 << 5000.0;
        QTest::newRow("decimal comma frequency") << u"1"_s << u"Square"_s << u"440,5"_s << 1.0 << 440.5;
        QTest::newRow("hh:mm:ss length") << u"00:00:01.5"_s << u"Triangle"_s << u"1000"_s << 1.5 << 1000.0;
        QTest::newRow("white noise is mono") << u"1"_s << u"White Noise"_s << u""_s << 1.0 << 0.0;
        QTest::newRow("pink noise is mono") << u"1"_s << u"Pink Noise"_s << u"1000"_s << 1.0 << 0.0;
        QTest::newRow("brown noise is mono") << u"1"_s << u"Brown Noise"_s << u""_s << 1.0 << 0.0;
    }

    void writesTheRequestedTone()
    {
        QFETCH(QString, length);
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(double, seconds);
        QFETCH(double, frequency);
        const QString output = outputFolder + u"/tone with blanks.wav"_s;

        ShellRunDetails details;
        QCOMPARE(Synthesize(output, length, waveform, frequencies, &details), 0);
        QVERIFY2(details.started, qPrintable(details.errorOutput));

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.sampleRate, 48000);
        QCOMPARE(wav.channels, 1);
        QCOMPARE(qRound(wav.durationSeconds() * 1000), qRound(seconds * 1000));
        if (frequency > 0) {
            const double measured = DominantFrequency(wav.firstChannel, wav.sampleRate);
            QVERIFY2(qAbs(measured - frequency) < 2.0, qPrintable(QString::number(measured)));
        } else {
            QVERIFY(RmsLevel(wav.firstChannel) > 0.01);
        }
    }

    void outputOptionsShapeTheWrittenFile_data()
    {
        QTest::addColumn<QString>("stored"); // options by stored value; the rest keep their defaults
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<double>("peakDbfs");
        QTest::addColumn<QString>("channels"); // per channel: S sounds, 0 digital silence
        QTest::addColumn<bool>("softEdges");
        QTest::newRow("defaults: full scale, hard edges") << u""_s << 48000 << 32 << false << 0.0 << u"S"_s << false;
        QTest::newRow("-6 dBFS, 16-bit, 44.1 kHz")
            << u"Level=-6 SampleRate=44100 SampleFormat=16"_s << 44100 << 16 << false << -6.0 << u"S"_s << false;
        QTest::newRow("left only, 24-bit, soft")
            << u"Level=-12 Channels=Left SoftEdges=1 SampleRate=96000 SampleFormat=24"_s << 96000 << 24 << false
            << -12.0 << u"S0"_s << true;
        QTest::newRow("right only, telephone")
            << u"Level=-30 Channels=Right SampleRate=8000"_s << 8000 << 32 << false << -30.0 << u"0S"_s << false;
        QTest::newRow("both, float, 192 kHz, soft")
            << u"LoopPreview=1 Level=-20 Channels=Both SoftEdges=1 SampleRate=192000 SampleFormat=32f"_s << 192000 << 32
            << true << -20.0 << u"SS"_s << true;
    }

    // Measured in the file itself: what a player or an editor would find there.
    void outputOptionsShapeTheWrittenFile()
    {
        QFETCH(QString, channels);
        QFETCH(QString, stored);
        const OutputOptions options = ToolRun::Options(stored);
        const QString output = outputFolder + u"/options.wav"_s;
        // The tone ends at 0.54 of full scale when nothing softens it.
        QCOMPARE(Synthesize(output, u"3"_s, u"Sine (Default)"_s, u"441.7"_s, nullptr, options), 0);

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QTEST(wav.sampleRate, "rate");
        QTEST(wav.bitsPerSample, "bits");
        QTEST(wav.isFloat, "isFloat");
        QCOMPARE(wav.frames, 3 * qint64(wav.sampleRate));
        QCOMPARE(wav.channels, int(channels.size()));
        // What the window's progress estimate takes the file to be.
        QCOMPARE(options.channelCount(), wav.channels);
        QCOMPARE(options.bitsPerSample(), wav.bitsPerSample);
        QFETCH(double, peakDbfs);
        for (int channel = 0; channel < wav.channels; ++channel) {
            const auto &samples = channel ? wav.secondChannel : wav.firstChannel;
            if (channels[channel] == u'0') {
                QVERIFY(std::all_of(samples.begin(), samples.end(), [](double s) { return s == 0; }));
                continue;
            }
            QVERIFY2(qAbs(PeakDbfs(samples) - peakDbfs) < 0.1, qPrintable(QString::number(PeakDbfs(samples))));
            QVERIFY(qAbs(DominantFrequency(samples, wav.sampleRate) - 441.7) < 2);
            // The larger end, as a share of the peak.
            const double edge = std::max(qAbs(samples.front()), qAbs(samples.back())) / std::pow(10, peakDbfs / 20);
            QFETCH(bool, softEdges);
            QVERIFY2(softEdges ? edge < 1e-3 : edge > 0.1, qPrintable(QString::number(edge)));
        }
    }

    // Square, triangle and sawtooth with their Fourier levels: harmonic k against the fundamental.
    void aliasFreeShapesHoldOnlyTheirHarmonics_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies"); // the frequency first
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<QPointF>>("harmonics"); // (k, dB against the fundamental)
        const QList<QPointF> square{{3, -9.54}, {5, -13.98}};
        const QList<QPointF> sawtooth{{2, -6.02}};
        const QList<QPointF> triangle{{3, -19.08}};
        QTest::newRow("square 1234.5 Hz, 48 kHz") << u"Square"_s << u"1234.5"_s << u"Level=-20"_s << square;
        QTest::newRow("square 3150 Hz, 44.1 kHz") << u"Square"_s << u"3150"_s << u"SampleRate=44100"_s << square;
        QTest::newRow("square 331.7 Hz, float") << u"Square"_s << u"331.7"_s << u"SampleFormat=32f"_s << square;
        QTest::newRow("square 20 Hz, 96 kHz") << u"Square"_s << u"20"_s << u"SampleRate=96000 Level=-20"_s << square;
        QTest::newRow("square 2718 Hz, 16-bit") << u"Square"_s << u"2718"_s << u"SampleFormat=16"_s << square;
        QTest::newRow("sawtooth 1234.5 Hz, float") << u"Sawtooth"_s << u"1234.5"_s << u"SampleFormat=32f"_s << sawtooth;
        QTest::newRow("sawtooth 3150 Hz, 96 kHz") << u"Sawtooth"_s << u"3150"_s << u"SampleRate=96000"_s << sawtooth;
        QTest::newRow("sawtooth 20 Hz, 44.1 kHz")
            << u"Sawtooth"_s << u"20"_s << u"SampleRate=44100 Level=-20"_s << sawtooth;
        QTest::newRow("sawtooth 19 kHz") << u"Sawtooth"_s << u"19000"_s << u"Level=-20"_s << QList<QPointF>();
        QTest::newRow("triangle 7777 Hz") << u"Triangle"_s << u"7777"_s << u"Level=-20"_s << triangle;
        QTest::newRow("triangle 110 Hz, 96 kHz") << u"Triangle"_s << u"110"_s << u"SampleRate=96000"_s << triangle;
        QTest::newRow("triangle 110 Hz peaking at 0") << u"Triangle"_s << u"110 0 0 0"_s << u""_s << sawtooth;
        QTest::newRow("triangle 3150 Hz, 44.1 kHz") << u"Triangle"_s << u"3150"_s << u"SampleRate=44100"_s << triangle;
        QTest::newRow("trapezium 1234.5 Hz") << u"Trapezium"_s << u"1234.5"_s << u"Level=-20"_s << QList<QPointF>();
        QTest::newRow("exp 441 Hz") << u"Exp"_s << u"441"_s << u"SampleFormat=32f"_s << QList<QPointF>();
        QTest::newRow("square 331.7 Hz, 5 % duty") << u"Square"_s << u"331.7 0 0 5"_s << u""_s << QList<QPointF>();
        QTest::newRow("exp 1234.5 Hz, peak at 0") << u"Exp"_s << u"1234.5 0 0 0 100"_s << u""_s << QList<QPointF>();
    }

    // Measured in a spectrum of the written file, between the harmonics: nothing 70 dB or less
    // below the fundamental; and at full scale no sample reaches it, not even in a float file.
    void aliasFreeShapesHoldOnlyTheirHarmonics()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, stored);
        QFETCH(QList<QPointF>, harmonics);
        const QString output = outputFolder + u"/clean.wav"_s;
        const OutputOptions options = ToolRun::Options(stored + u" AliasFree=1"_s);
        const ToneRequest request = MakeToneRequest(u"1.5"_s, waveform, frequencies);
        const double frequency = frequencies.section(u' ', 0, 0).toDouble();
        QCOMPARE(ToolRun::Make(output, request, options), QString());

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.sampleRate, options.sampleRate());
        QCOMPARE(wav.frames, qint64(1.5 * wav.sampleRate));
        const std::vector<double> spectrum = KaiserSpectrum(wav.firstChannel, 0, 65536);
        const double worst = WorstNonHarmonicDb(spectrum, wav.sampleRate, frequency, frequency);
        QVERIFY2(worst <= -70, qPrintable(QString::number(worst)));
        for (const QPointF &harmonic : harmonics) {
            const double level = HarmonicDb(spectrum, wav.sampleRate, frequency, int(harmonic.x()));
            QVERIFY2(qAbs(level - harmonic.y()) <= 0.5, qPrintable(QString::number(level)));
        }
        const double peak = PeakDbfs(wav.firstChannel);
        QVERIFY2(peak < 0 && qAbs(peak - options.levelDecibels()) < 0.05, qPrintable(QString::number(peak)));
        // The tool's own shape, but for what folds back: in step with it, not turned over or shifted.
        QCOMPARE(ToolRun::Make(output, request, ToolRun::Options(stored)), QString());
        const std::vector<double> &plain = ReadWav(output).firstChannel;
        double product = 0;
        double plainPower = 0;
        double power = 0;
        for (size_t i = 0; i < std::min(plain.size(), wav.firstChannel.size()); ++i) {
            product += plain[i] * wav.firstChannel[i];
            plainPower += plain[i] * plain[i];
            power += wav.firstChannel[i] * wav.firstChannel[i];
        }
        QVERIFY2(product > 0.5 * std::sqrt(plainPower * power), qPrintable(QString::number(product)));
    }

    void aliasFreeSweepsHoldOnlyTheirHarmonics_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<int>("rate");
        QTest::newRow("square 300-3300") << u"Square"_s << u"300-3300"_s << 48000;
        QTest::newRow("square falling 3300-300") << u"Square"_s << u"3300-300"_s << 44100;
        QTest::newRow("sawtooth 20/20000") << u"Sawtooth"_s << u"20/20000"_s << 48000;
        QTest::newRow("sawtooth 300:3300 linear") << u"Sawtooth"_s << u"300:3300"_s << 44100;
        QTest::newRow("square 100+8000 square law") << u"Square"_s << u"100+8000"_s << 96000;
        QTest::newRow("triangle 20-20000") << u"Triangle"_s << u"20-20000"_s << 48000;
        QTest::newRow("sawtooth 20:20000 linear") << u"Sawtooth"_s << u"20:20000"_s << 48000;
        QTest::newRow("square falling 20000+20 square law") << u"Square"_s << u"20000+20"_s << 96000;
        QTest::newRow("exp 20/20000") << u"Exp"_s << u"20/20000"_s << 44100;
        QTest::newRow("triangle peaking at 0, a sawtooth") << u"Triangle"_s << u"20:20000 0 0 0"_s << 44100;
        QTest::newRow("exp falling 5000:50, sharp, late peak") << u"Exp"_s << u"5000:50 0 0 90 90"_s << 48000;
        QTest::newRow("exp 100-10000, peak at the end") << u"Exp"_s << u"100-10000 0 30 100 30"_s << 48000;
    }

    // Frame by frame: each short frame holds only harmonics of the frequencies the sweep passes in
    // it, at least 60 dB clean.
    void aliasFreeSweepsHoldOnlyTheirHarmonics()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(int, rate);
        const QString output = outputFolder + u"/sweep.wav"_s;
        const ToneRequest request = MakeToneRequest(u"2"_s, waveform, frequencies);
        const OutputOptions options = ToolRun::Options(u"AliasFree=1 Level=-6 SampleRate="_s + QString::number(rate));
        QCOMPARE(ToolRun::Make(output, request, options), QString());

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.frames, 2 * qint64(rate));
        // The tool's sweeps: ':' linear, '+' with the square of the time, '-' and '/' exponential.
        const QString sweep = frequencies.section(u' ', 0, 0);
        const qsizetype at = sweep.indexOf(QRegularExpression(u"[-:+/]"_s));
        const double from = sweep.left(at).toDouble();
        const double to = sweep.mid(at + 1).toDouble();
        const QChar kind = sweep[at];
        const auto frequencyAt = [&](double share) {
            return kind == u':'   ? from + (to - from) * share
                   : kind == u'+' ? from + (to - from) * share * share
                                  : from * std::pow(to / from, share);
        };
        constexpr size_t frame = 4096;
        double worst = -200;
        for (size_t first = 0; first + frame <= wav.firstChannel.size(); first += frame) {
            const double a = frequencyAt(double(first) / double(wav.frames));
            const double b = frequencyAt(double(first + frame) / double(wav.frames));
            worst = std::max(worst, WorstNonHarmonicDb(KaiserSpectrum(wav.firstChannel, first, frame), rate,
                                                       std::min(a, b), std::max(a, b)));
        }
        QVERIFY2(worst <= -60, qPrintable(QString::number(worst)));
        QVERIFY2(PeakDbfs(wav.firstChannel) <= -6 + 0.01, qPrintable(QString::number(PeakDbfs(wav.firstChannel))));
    }

    // Every level of the table by RMS (AES17), and by peak: each sounding channel carries it, and
    // nothing clips. A level that would need a peak above full scale makes nothing.
    void levelsHoldInEveryChannel_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("tolerance");  // dB
        QTest::addColumn<double>("highestRms"); // the highest RMS level that fits, when -3 does not
        // A band-limited sawtooth overshoots by the Gibbs 9 % of its jump: its peak is 1.18 times its
        // amplitude, its RMS 1 / sqrt(3) of it, so -3.18 dBFS RMS is the most it can have.
        const auto periodic = [](const QString &waveform, const QString &frequencies, const QString &stored,
                                 double highestAliasFree = 0) {
            for (const QString &aliasFree : {u""_s, u" AliasFree=1"_s})
                QTest::addRow("%s %s%s%s", qPrintable(waveform), qPrintable(frequencies), qPrintable(stored),
                              qPrintable(aliasFree))
                    << waveform << frequencies << stored + aliasFree << 0.1
                    << (aliasFree.isEmpty() ? 0 : highestAliasFree);
        };
        periodic(u"Sine (Default)"_s, u"1000"_s, u""_s);
        periodic(u"Square"_s, u"441"_s, u" SoftEdges=1"_s);
        periodic(u"Triangle"_s, u"3150"_s, u" Channels=Both"_s);
        periodic(u"Sawtooth"_s, u"97.3"_s, u" Channels=Right SampleRate=44100"_s, -3.18);
        periodic(u"Trapezium"_s, u"1234.5"_s, u""_s);
        periodic(u"Exp"_s, u"441"_s, u" SampleFormat=16"_s);
        periodic(u"Square"_s, u"300-3300"_s, u" SoftEdges=1"_s);
        periodic(u"Sawtooth"_s, u"200:2000"_s, u""_s, -3.18);
        periodic(u"Square"_s, u"4000+40"_s, u" SampleRate=96000"_s);
        periodic(u"Exp"_s, u"30/3000"_s, u""_s);
        QTest::newRow("white noise") << u"White Noise"_s << u"1000"_s << u" Channels=Left"_s << 0.3 << 0.0;
        QTest::newRow("pink noise") << u"Pink Noise"_s << u"1000"_s << u" SoftEdges=1"_s << 0.3 << -9.0;
        QTest::newRow("brown noise") << u"Brown Noise"_s << u"1000"_s << u" SampleFormat=32f"_s << 0.3 << 0.0;
        QTest::newRow("pink noise 40-80") << u"Pink Noise"_s << u"40-80"_s << u" NoiseBand=1"_s << 0.3 << -9.0;
    }

    void levelsHoldInEveryChannel()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, stored);
        QFETCH(double, tolerance);
        QFETCH(double, highestRms);
        const QString output = outputFolder + u"/level.wav"_s;
        const bool noise = waveform.endsWith(u"Noise"_s);
        const ToneRequest request = MakeToneRequest(noise ? u"2"_s : u"1"_s, waveform, frequencies);
        for (const int level : {-3, -20, -30}) {
            for (const bool rms : {true, false}) {
                const OutputOptions options =
                    ToolRun::Options(u"Level=%1 LevelUnit=%2"_s.arg(level).arg(rms ? u"RMS"_s : u"Peak"_s) + stored);
                QFile::remove(output);
                const QString problem = ToolRun::Make(output, request, options);
                if (rms && highestRms < 0 && level > highestRms) {
                    // Where it fits depends on the noise: about -9 dBFS RMS for pink noise.
                    QVERIFY2(problem.contains(u"the highest level that fits is -"_s), qPrintable(problem));
                    QVERIFY(!QFile::exists(output));
                    continue;
                }
                QVERIFY2(problem.isEmpty(), qPrintable(problem));
                const WavInfo wav = ReadWav(output);
                QVERIFY2(wav.valid, qPrintable(wav.problem));
                QCOMPARE(wav.channels, options.channelCount());
                for (const auto *channel : {&wav.firstChannel, &wav.secondChannel}) {
                    if (channel->empty() ||
                        std::all_of(channel->begin(), channel->end(), [](double s) { return s == 0; }))
                        continue;
                    const double peak = PeakDbfs(*channel);
                    const double measured = rms ? Aes17RmsDbfs(*channel) : peak;
                    const QString where = u"%1 dBFS %2: %3 (peak %4)"_s.arg(level)
                                              .arg(rms ? u"RMS"_s : u"peak"_s)
                                              .arg(measured)
                                              .arg(peak);
                    QVERIFY2(peak < 0, qPrintable(where));
                    // A plain noise keeps the tool's own peak, just below full scale, less the level.
                    if (rms || !noise || options.noiseBand())
                        QVERIFY2(qAbs(measured - level) <= (rms ? tolerance : 0.05), qPrintable(where));
                }
            }
        }
    }

    // Tones together, measured in the written file: each line at its level against the loudest
    // tone of the field (the other side's too), nothing else within 60 dB (70 dB alias-free), and
    // each channel's mix at the chosen level, set by its louder tone.
    void tonesTogetherSoundAsAsked_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<QPointF>>("left"); // (frequency, dB against the field's loudest tone)
        QTest::addColumn<QList<QPointF>>("right");
        QTest::newRow("DTMF 1") << u"Sine (Default)"_s << u"697 & 1209"_s << u""_s
                                << QList<QPointF>{{697, 0}, {1209, 0}} << QList<QPointF>();
        QTest::newRow("SMPTE twin tone, RMS")
            << u"Sine (Default)"_s << u"60 & 7000@-12"_s << u"Level=-20 LevelUnit=RMS"_s
            << QList<QPointF>{{60, 0}, {7000, -12}} << QList<QPointF>();
        // Four hertz apart: the spectrum needs a long tone to tell them apart.
        QTest::newRow("binaural beat, stereo whatever the Channels option")
            << u"Sine (Default)"_s << u"440 | 444"_s << u"Channels=Left Level=-6"_s << QList<QPointF>{{440, 0}}
            << QList<QPointF>{{444, 0}};
        QTest::newRow("left 6 dB down, RMS")
            << u"Sine (Default)"_s << u"1000@-6 | 1000"_s << u"Level=-20 LevelUnit=RMS SoftEdges=1"_s
            << QList<QPointF>{{1000, -6}} << QList<QPointF>{{1000, 0}};
        QTest::newRow("alias-free squares together")
            << u"Square"_s << u"1234.5 & 3150"_s << u"AliasFree=1 Level=-6 SampleRate=44100"_s
            << QList<QPointF>{{1234.5, 0}, {3150, 0}} << QList<QPointF>();
    }

    void tonesTogetherSoundAsAsked()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, stored);
        QFETCH(QList<QPointF>, left);
        QFETCH(QList<QPointF>, right);
        const QString output = outputFolder + u"/together.wav"_s;
        const OutputOptions options = ToolRun::Options(stored);
        QCOMPARE(ToolRun::Make(output, MakeToneRequest(u"6"_s, waveform, frequencies), options), QString());

        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.channels, right.isEmpty() ? 1 : 2);
        QCOMPARE(wav.frames, 6 * qint64(wav.sampleRate));
        const bool rms = options.rmsLevel();
        for (const auto &[samples, lines] : {std::pair{&wav.firstChannel, left}, {&wav.secondChannel, right}}) {
            if (lines.isEmpty())
                continue;
            const std::vector<double> spectrum = KaiserSpectrum(*samples, 0, 262144);
            const QPointF loudest =
                *std::max_element(lines.begin(), lines.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
            std::vector<std::pair<double, double>> tones;
            for (const QPointF &line : lines) {
                tones.emplace_back(line.x(), line.x());
                const double db = LineDb(spectrum, wav.sampleRate, line.x(), loudest.x());
                QVERIFY2(qAbs(db - (line.y() - loudest.y())) <= 0.2, qPrintable(QString::number(db)));
            }
            const double worst = WorstNonHarmonicDb(spectrum, wav.sampleRate, tones);
            QVERIFY2(worst <= (options.aliasFree() ? -70 : -60), qPrintable(QString::number(worst)));
            const double level = rms ? Aes17RmsDbfs(*samples) : PeakDbfs(*samples);
            QVERIFY2(qAbs(level - (options.levelDecibels() + loudest.y())) <= 0.1, qPrintable(QString::number(level)));
            QVERIFY(PeakDbfs(*samples) < 0);
        }
    }

    // Options combined: every sounding channel at its level (the field's loudest tone there) and
    // no sample at either end of the format's range, also where the tool dithers or fades piped
    // tones, and where tones share frequencies or harmonics.
    void everyOptionTogetherKeepsItsLevel_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("tolerance"); // dB
        const auto row = [](const char *name, const QString &waveform, const QString &frequencies,
                            const QString &stored, double tolerance = 0.1) {
            QTest::newRow(name) << waveform << frequencies << stored << tolerance;
        };
        row("square with a sweep on the right, 0 dBFS", u"Square"_s, u"440 | 440-1"_s, u"AliasFree=1"_s, 0.2);
        row("notes together with a sweep on the right", u"Square"_s, u"C#5 & Db5 | A-1"_s, u"AliasFree=1"_s, 0.2);
        row("soft edges on piped squares", u"Square"_s, u"440 & 880"_s, u"AliasFree=1 SoftEdges=1"_s);
        row("soft edges on piped sawtooths, two sides", u"Sawtooth"_s, u"440 | 880"_s, u"AliasFree=1 SoftEdges=1"_s);
        row("one frequency twice", u"Triangle"_s, u"1000 & 1000"_s, u"LevelUnit=RMS Level=-20"_s);
        row("squares sharing harmonics", u"Square"_s, u"1000 & 3000"_s, u"LevelUnit=RMS Level=-20"_s);
        row("sawtooths sharing harmonics", u"Sawtooth"_s, u"1000 & 2000"_s, u"LevelUnit=RMS Level=-20"_s);
        row("triangles sharing harmonics", u"Triangle"_s, u"100 & 300"_s, u"LevelUnit=RMS Level=-20"_s);
        row("alias-free exps with their means", u"Exp"_s, u"697 & 1209"_s, u"AliasFree=1 LevelUnit=RMS Level=-30"_s);
        row("alias-free squares sharing harmonics", u"Square"_s, u"1000 & 3000"_s,
            u"AliasFree=1 LevelUnit=RMS Level=-23"_s);
        for (const char *channels : {"Mono", "Left", "Right", "Both"}) {
            for (const char *bits : {"16", "24"}) {
                const QString stored =
                    u"SampleFormat=%1 Channels=%2"_s.arg(QLatin1StringView(bits), QLatin1StringView(channels));
                QTest::addRow("%s-bit %s sine at 0 dBFS", bits, channels)
                    << u"Sine (Default)"_s << u"1000"_s << stored << 0.1;
                QTest::addRow("%s-bit %s square at 0 dBFS", bits, channels) << u"Square"_s << u"441"_s << stored << 0.1;
            }
        }
        row("16-bit white noise at 0 dBFS", u"White Noise"_s, u"1000"_s, u"SampleFormat=16"_s, 0.3);
    }

    void everyOptionTogetherKeepsItsLevel()
    {
        QFETCH(QString, waveform);
        QFETCH(QString, frequencies);
        QFETCH(QString, stored);
        QFETCH(double, tolerance);
        const QString output = outputFolder + u"/together.wav"_s;
        const OutputOptions options = ToolRun::Options(stored);
        QCOMPARE(ToolRun::Make(output, MakeToneRequest(u"1"_s, waveform, frequencies), options), QString());
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.frames, qint64(wav.sampleRate));
        // The largest code the format holds, as the reader scales it.
        const double fullScale = wav.isFloat ? 1 : 1 - std::ldexp(1.0, 1 - wav.bitsPerSample);
        for (const auto *channel : {&wav.firstChannel, &wav.secondChannel}) {
            // A silent channel holds at most the dither.
            if (channel->empty() || PeakDbfs(*channel) < -80)
                continue;
            const auto atFullScale =
                std::count_if(channel->begin(), channel->end(), [&](double s) { return std::abs(s) >= fullScale; });
            QCOMPARE(atFullScale, 0);
            const double level = options.rmsLevel() ? Aes17RmsDbfs(*channel) : PeakDbfs(*channel);
            // Noise is set by its peak only when the level is worked out; else the tool's own peak.
            QVERIFY2(qAbs(level - options.levelDecibels()) <= tolerance, qPrintable(QString::number(level)));
        }
    }

    // Steps one after another, measured step by step in the file: each at its frequency and level
    // (a staircase by @), pauses of digital zero even where the format is dithered, and with soft
    // edges no step that starts or ends with a jump.
    void stepsPlayOneAfterAnother_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QList<double>>("steps");  // each step's frequency
        QTest::addColumn<QList<double>>("levels"); // each step's level in dBFS, by the Level option's unit
        QTest::newRow("three frequencies")
            << u"440; 880;1760"_s << u""_s << QList<double>{440, 880, 1760} << QList<double>{0, 0, 0};
        QTest::newRow("a 10 dB staircase by RMS") << u"1000; 1000@-10; 1000@-20"_s << u"LevelUnit=RMS Level=-20"_s
                                                  << QList<double>{1000, 1000, 1000} << QList<double>{-20, -30, -40};
        QTest::newRow("half-second pauses, 16-bit") << u"440; 880 ; 1000@-6"_s << u"StepPause=0.5 SampleFormat=16"_s
                                                    << QList<double>{440, 880, 1000} << QList<double>{0, 0, -6};
        QTest::newRow("soft edges between steps") << u"441; 1234.5; 3150"_s << u"SoftEdges=1 Level=-6"_s
                                                  << QList<double>{441, 1234.5, 3150} << QList<double>{-6, -6, -6};
        QTest::newRow("alias-free squares, tones together, stereo")
            << u"1000 & 1500; 2000 | 3000"_s << u"AliasFree=1 StepPause=0.25"_s << QList<double>{0, 2000}
            << QList<double>{0, 0};
    }

    void stepsPlayOneAfterAnother()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, stored);
        QFETCH(QList<double>, steps);
        QFETCH(QList<double>, levels);
        const QString output = outputFolder + u"/steps.wav"_s;
        const OutputOptions options = ToolRun::Options(stored);
        const QString waveform = options.aliasFree() ? u"Square"_s : u"Sine (Default)"_s;
        QCOMPARE(ToolRun::Make(output, MakeToneRequest(u"1"_s, waveform, frequencies), options), QString());
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const qint64 slot = wav.sampleRate;
        const qint64 pause = std::llround(options.stepPauseSeconds() * wav.sampleRate);
        QCOMPARE(wav.frames, slot * steps.size() + pause * (steps.size() - 1));
        const std::vector<double> &samples = wav.firstChannel;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const size_t start = size_t(i * (slot + pause));
            const std::vector<double> step(samples.begin() + qint64(start), samples.begin() + qint64(start) + slot);
            const double level = options.rmsLevel() ? Aes17RmsDbfs(step) : PeakDbfs(step);
            QVERIFY2(qAbs(level - levels[i]) <= 0.1, qPrintable(u"step %1: %2 dBFS"_s.arg(i).arg(level)));
            QVERIFY(PeakDbfs(step) < 0);
            if (steps[i] > 0 && !options.aliasFree()) {
                const double heard = CrossingFrequency(samples, start, size_t(slot), wav.sampleRate);
                QVERIFY2(qAbs(heard - steps[i]) <= 0.1, qPrintable(u"step %1: %2 Hz"_s.arg(i).arg(heard)));
            }
            if (options.isOn(OutputSetting::SoftEdges)) {
                for (const size_t edge : {start, start + size_t(slot) - 1})
                    QVERIFY2(std::abs(samples[edge]) <= 0.001, qPrintable(QString::number(samples[edge])));
            }
            if (i + 1 < steps.size() && pause > 0) {
                const auto silence = samples.begin() + qint64(start) + slot;
                QVERIFY(std::all_of(silence, silence + pause, [](double s) { return s == 0; }));
                QVERIFY(samples[start + size_t(slot) - 1] != 0); // the pause is no longer than asked
            }
        }
        if (wav.channels == 2) // a step of one channel sounds in both
            QCOMPARE(PeakDbfs(std::vector<double>(wav.secondChannel.begin(), wav.secondChannel.begin() + slot)),
                     PeakDbfs(std::vector<double>(samples.begin(), samples.begin() + slot)));
    }

    // Tone bursts: a CEA-2010 burst is the Hann-windowed sine, sample by sample, with its band; a
    // burst of whole cycles is the sine, gated; silence fills the slot.
    void burstsAreCutAsAsked_data()
    {
        QTest::addColumn<QString>("burst");
        QTest::addColumn<double>("frequency");
        QTest::addColumn<QString>("length");
        QTest::newRow("CEA-2010 at 31.5 Hz") << u"CEA2010"_s << 31.5 << u"1"_s;
        QTest::newRow("10 cycles at 1 kHz") << u"10"_s << 1000.0 << u"0.1"_s;
    }

    void burstsAreCutAsAsked()
    {
        QFETCH(QString, burst);
        QFETCH(double, frequency);
        QFETCH(QString, length);
        const QString output = outputFolder + u"/burst.wav"_s;
        const OutputOptions options = ToolRun::Options(u"Level=-6 Burst="_s + burst);
        const ToneRequest request = MakeToneRequest(length, u"Sine (Default)"_s, QString::number(frequency));
        QCOMPARE(ToolRun::Make(output, request, options), QString());
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const int rate = wav.sampleRate;
        QCOMPARE(wav.frames, std::llround(length.toDouble() * rate));
        const double cycles = options.burstCycles();
        const qint64 burstLength = std::llround(cycles * rate / frequency);
        const std::vector<double> &x = wav.firstChannel;
        QVERIFY(std::all_of(x.begin() + burstLength, x.end(), [](double s) { return s == 0; }));
        const double amplitude = std::pow(10, -6 / 20.0);
        double worst = 0;
        for (qint64 n = 0; n < burstLength; ++n) {
            const double t = double(n) / rate;
            const double window = options.hannBurst() ? 0.5 * (1 - std::cos(2 * M_PI * frequency * t / cycles)) : 1;
            worst = std::max(worst, std::abs(x[size_t(n)] - amplitude * window * std::sin(2 * M_PI * frequency * t)));
        }
        QVERIFY2(20 * std::log10(worst / amplitude + 1e-300) <= -80, qPrintable(QString::number(worst)));
        QVERIFY(qAbs(PeakDbfs(x) + 6) <= 0.05);
        if (!options.hannBurst())
            return;
        // The peak at the middle, and the spectrum's -3 dB band from 0.89 f to 1.11 f.
        const auto peak =
            std::max_element(x.begin(), x.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
        QVERIFY(qAbs(double(peak - x.begin()) - 3.25 * rate / frequency) <= 2);
        const auto magnitude = [&](double f) {
            std::complex<double> sum = 0;
            for (qint64 n = 0; n < burstLength; ++n)
                sum += x[size_t(n)] * std::polar(1.0, -2 * M_PI * f * double(n) / rate);
            return std::abs(sum);
        };
        const double top = magnitude(frequency);
        const auto edge = [&](double from, double step) {
            double f = from;
            while (magnitude(f) > top / std::sqrt(2.0))
                f += step;
            return f / frequency;
        };
        QVERIFY2(qAbs(edge(frequency, -0.01) - 0.89) <= 0.02 * 0.89,
                 qPrintable(QString::number(edge(frequency, -0.01))));
        QVERIFY2(qAbs(edge(frequency, 0.01) - 1.11) <= 0.02 * 1.11, qPrintable(QString::number(edge(frequency, 0.01))));
    }

    // What steps and bursts cannot make gets a reminder of its own, and nothing runs.
    void stepsAndBurstsRefuseWhatTheyCannotMake_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("reminder"); // part of it
        QTest::newRow("a sweep burst") << QStringList{u"1"_s, u"Sine (Default)"_s, u"100-200"_s} << u"Burst=CEA2010"_s
                                       << u"not a sweep"_s;
        QTest::newRow("tones together in a burst") << QStringList{u"1"_s, u"Sine (Default)"_s, u"100 & 200"_s}
                                                   << u"Burst=10"_s << u"not a sweep or tones together"_s;
        QTest::newRow("a noise burst") << QStringList{u"1"_s, u"Pink Noise"_s, u"100"_s} << u"Burst=1"_s
                                       << u"bursts of a sine"_s;
        QTest::newRow("a slot too short") << QStringList{u"0.1"_s, u"Sine (Default)"_s, u"20"_s} << u"Burst=CEA2010"_s
                                          << u"choose a Length of at least 0.325"_s;
        QTest::newRow("noise steps") << QStringList{u"1"_s, u"White Noise"_s, u"100; 200"_s} << u""_s
                                     << u"no frequency to step through"_s;
        QTest::newRow("257 steps") << QStringList{u"1"_s, u"Sine (Default)"_s, QStringList(257, u"100"_s).join(u';')}
                                   << u""_s << u"up to 256"_s;
        QTest::newRow("an empty step") << QStringList{u"1"_s, u"Sine (Default)"_s, u"100;;200"_s} << u""_s
                                       << u"none empty"_s;
        QTest::newRow("an empty first step")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u";100"_s} << u""_s << u"none empty"_s;
    }

    void stepsAndBurstsRefuseWhatTheyCannotMake()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, stored);
        QFETCH(QString, reminder);
        const QString output = outputFolder + u"/refused.wav"_s;
        const QString said =
            ToolRun::Make(output, MakeToneRequest(inputs[0], inputs[1], inputs[2]), ToolRun::Options(stored));
        QVERIFY2(said.contains(reminder), qPrintable(said));
        QVERIFY(!QFile::exists(output));
    }

    // Load Calibration Noise's tone: pink noise at -20 dBFS RMS, its power in the band.
    void calibrationNoiseKeepsToItsBand()
    {
        const QString output = outputFolder + u"/calibration.wav"_s;
        OutputOptions options;
        for (const auto &[setting, stored] : CalibrationNoiseOptions())
            options.restore(setting, stored);
        const ToneRequest request = MakeToneRequest(
            CalibrationNoise::Length, WaveformLabels()[CalibrationNoise::WaveformIndex], CalibrationNoise::Frequencies);
        QCOMPARE(ToolRun::Make(output, request, options), QString());
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.frames, 30 * qint64(wav.sampleRate));
        const double rms = Aes17RmsDbfs(wav.firstChannel);
        QVERIFY2(qAbs(rms + 20) <= 0.3, qPrintable(QString::number(rms)));
        QVERIFY(PeakDbfs(wav.firstChannel) < 0);
        // Half an octave beyond each edge: 354 and 2828 Hz.
        const double outside = 1 - BandPowerShare(wav.firstChannel, wav.sampleRate, 354, 2828);
        QVERIFY2(10 * std::log10(outside) < -30, qPrintable(QString::number(10 * std::log10(outside))));
    }

    void noiseBandIsFlatInsideAndSteepOutside_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("length"); // long enough for a steady spectrum
        QTest::newRow("500-2000") << u"500-2000"_s << 48000 << u"8"_s;
        QTest::newRow("subwoofer 40:80") << u"40:80"_s << 44100 << u"30"_s;
        QTest::newRow("2000/6000 up to half the rate") << u"2000/6000"_s << 8000 << u"8"_s;
    }

    // White noise shows the filter: the same density across the band, 40 dB less an octave out.
    void noiseBandIsFlatInsideAndSteepOutside()
    {
        QFETCH(QString, frequencies);
        QFETCH(int, rate);
        QFETCH(QString, length);
        const QString output = outputFolder + u"/band.wav"_s;
        const OutputOptions options = ToolRun::Options(u"NoiseBand=1 SampleRate="_s + QString::number(rate));
        QCOMPARE(ToolRun::Make(output, MakeToneRequest(length, u"White Noise"_s, frequencies), options), QString());
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QVERIFY(PeakDbfs(wav.firstChannel) < 0 && PeakDbfs(wav.firstChannel) > -0.1); // the peak level: 0 dBFS
        const double low = frequencies.section(QRegularExpression(u"[-:/]"_s), 0, 0).toDouble();
        const double high = frequencies.section(QRegularExpression(u"[-:/]"_s), 1, 1).toDouble();
        std::vector<double> centres;
        for (double f = low * std::pow(2, 1 / 12.0); f * std::pow(2, 1 / 12.0) <= std::min(high, rate / 2.0);
             f *= std::pow(2, 1 / 6.0))
            centres.push_back(f);
        const std::vector<double> inside = BandDensitiesDb(wav.firstChannel, rate, centres);
        const auto [quietest, loudest] = std::minmax_element(inside.begin(), inside.end());
        QVERIFY2(*loudest - *quietest <= 1, qPrintable(QString::number(*loudest - *quietest)));
        std::vector<double> outside{low / 2};
        if (high * 2 < rate / 2.0)
            outside.push_back(high * 2);
        for (const double density : BandDensitiesDb(wav.firstChannel, rate, outside))
            QVERIFY2(density <= *quietest - 40, qPrintable(QString::number(density - *quietest)));
    }

    // The command copied for a measured tone measures and makes it the same way: the same file, in
    // either shell. A level the program refuses, or a measuring run that fails, makes no file and
    // the line fails.
    void copiedTwoRunCommandMakesTheSameFile_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("measuringFails");
        QTest::addColumn<QString>("refusal"); // part of what the line says; empty: it makes the file
        for (const char *shell : {"dash", "bash"}) {
            QTest::addRow("%s: measured noise", shell)
                << QStringList{u"2"_s, u"Brown Noise"_s, u"100-1000"_s}
                << u"NoiseBand=1 LevelUnit=RMS Level=-23 SampleFormat=16"_s << false << QString();
            QTest::addRow("%s: alias-free tones made apart", shell)
                << QStringList{u"1"_s, u"Sawtooth"_s, u"110 & 3150@-6 | 220"_s} << u"AliasFree=1 SampleFormat=24"_s
                << false << QString();
            QTest::addRow("%s: steps with pauses", shell)
                << QStringList{u"0.5"_s, u"Square"_s, u"697 & 1209; 1000@-6"_s}
                << u"StepPause=0.25 SoftEdges=1 AliasFree=1"_s << false << QString();
            QTest::addRow("%s: CEA-2010 bursts", shell)
                << QStringList{u"0.5"_s, u"Sine (Default)"_s, u"31.5; 63"_s}
                << u"Burst=CEA2010 LevelUnit=RMS Level=-20"_s << false << QString();
            QTest::addRow("%s: each side measured", shell)
                << QStringList{u"1"_s, u"Square"_s, u"440 | 440-1"_s} << u"AliasFree=1"_s << false << QString();
            QTest::addRow("%s: a level that does not fit", shell)
                << QStringList{u"2"_s, u"Pink Noise"_s, u"1000"_s} << u"LevelUnit=RMS Level=0"_s << false
                << u"the highest level that fits is -"_s;
            QTest::addRow("%s: the measuring run fails", shell)
                << QStringList{u"2"_s, u"Pink Noise"_s, u"1000"_s} << u"LevelUnit=RMS Level=-20"_s << true
                << u"measured no level"_s;
        }
    }

    void copiedTwoRunCommandMakesTheSameFile()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, stored);
        QFETCH(bool, measuringFails);
        QFETCH(QString, refusal);
        const ToneRequest request = MakeToneRequest(inputs[0], inputs[1], inputs[2]);
        const OutputOptions options = ToolRun::Options(stored);
        const QString made = ToolRun::Make(outputFolder + u"/made.wav"_s, request, options);
        QVERIFY2(made.isEmpty() == (refusal.isEmpty() || measuringFails), qPrintable(made));
        QProcess shell;
        shell.setWorkingDirectory(outputFolder);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (measuringFails) {
            // A sox first on the path that fails whenever it is asked to measure.
            const QString bin = TestSandbox::NewFolder();
            QVERIFY(WriteFile(bin + u"/sox"_s,
                              "#!/bin/sh\ncase \" $* \" in *\" stats \"*) exit 2;; esac\nexec /usr/bin/sox \"$@\"\n",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            environment.insert(u"PATH"_s, bin + u':' + environment.value(u"PATH"_s));
        }
        shell.setProcessEnvironment(environment);
        shell.start(u"/bin/"_s + QString::fromLatin1(QTest::currentDataTag()).section(u':', 0, 0),
                    {u"-c"_s, CopyableSoxCommand(PlanInputs(request, options).plan)});
        QVERIFY(shell.waitForFinished());
        const QString said = QString::fromUtf8(shell.readAllStandardError());
        if (!refusal.isEmpty()) {
            QVERIFY(shell.exitCode() != 0);
            QVERIFY2(said.contains(refusal), qPrintable(said));
            QVERIFY(!QFile::exists(outputFolder + u"/tone.wav"_s));
            return;
        }
        QVERIFY2(shell.exitCode() == 0, qPrintable(said));
        QCOMPARE(ReadFile(outputFolder + u"/tone.wav"_s), ReadFile(outputFolder + u"/made.wav"_s));
    }

    void toolFailureIsReportedWithItsReason()
    {
        // Words that the program never lets through, which only the tool can refuse.
        TonePlan plan;
        plan.layout = {48000, 32, 1};
        plan.frames = 48000;
        plan.length = u"1"_s;
        PeriodicSource trapezium;
        trapezium.shape = ShapeKind::Trapezium;
        trapezium.words = u"440 0 200"_s;
        plan.sources = {trapezium};
        ToolRun::Deploy();
        const SynthToolPart tool = BuildSynthToolPart();
        const SynthCommand command =
            JoinSynthCommand(tool, BuildSynthArgumentPart(outputFolder + u"/bad.wav"_s, plan, tool.program));
        ShellRunDetails details;
        const qint32 result = ShellAndWait(command.program, command.arguments, 0, &details, {CheckTrustedTool});
        ToolRun::Remove();
        QVERIFY(result != 0);
        QVERIFY(details.started);
        QVERIFY2(details.errorOutput.contains(u"synth"_s), qPrintable(details.errorOutput));
    }

    void quoteInOutputPathWritesExactlyThatFile()
    {
        const QString output = outputFolder + uR"(/a" -n "b.wav)"_s;
        QCOMPARE(Synthesize(output, u"0.1"_s, u"Sine (Default)"_s, u"440"_s), 0);
        QCOMPARE(QDir(outputFolder).entryList(QDir::Files), QStringList{QFileInfo(output).fileName()});
    }

    void workFolderIsPrivate_data()
    {
        QTest::addColumn<TakeWorkFolder>("take"); // what is at <base>/quorvane-<uid> beforehand
        QTest::addColumn<QString>("logged");      // why a fresh folder is used for this run; empty: none
        const auto folderWithATrap = [](const Traps &at) {
            return QDir().mkdir(at.name) && QFile::link(at.victim, at.name + u"/preview.wav"_s);
        };
        const auto encoded = [](const QString &path) { return QFile::encodeName(path); };
        QTest::newRow("nothing yet") << TakeWorkFolder([](const Traps &) { return true; }) << QString();
        QTest::newRow("our folder, readable by others") << TakeWorkFolder([=](const Traps &at) {
            return folderWithATrap(at) && ::chmod(encoded(at.name).constData(), 0755) == 0;
        }) << QString();
        // Someone planted a folder under a tool file's name that we can never remove.
        QTest::newRow("our folder, open to others") << TakeWorkFolder([=](const Traps &at) {
            const QString planted = at.name + u"/zlib1.dll"_s;
            return folderWithATrap(at) && ::chmod(encoded(at.name).constData(), 0777) == 0 &&
                   QDir().mkpath(planted + u"/inside"_s) && ::chown(encoded(planted).constData(), 65534, 65534) == 0;
        }) << u"other users could have put things in it"_s;
        QTest::newRow("another user's folder") << TakeWorkFolder([=](const Traps &at) {
            return folderWithATrap(at) && ::lchown(encoded(at.name).constData(), 65534, 65534) == 0;
        }) << u"it belongs to another user"_s;
        QTest::newRow("a link to a folder")
            << TakeWorkFolder([](const Traps &at) { return QFile::link(at.planted, at.name); }) << u"it is a link"_s;
        QTest::newRow("a named pipe") << TakeWorkFolder([=](const Traps &at) {
            return ::mkfifo(encoded(at.name).constData(), 0666) == 0;
        }) << u"it is not a folder"_s;
    }

    void workFolderIsPrivate()
    {
        QFETCH(TakeWorkFolder, take);
        QFETCH(QString, logged);
        // Another account's traps: links to the person's file in the shared base and inside a
        // folder planted under the working folder's name.
        const QString victim = outputFolder + u"/precious"_s;
        QVERIFY(WriteFile(victim, "mine"));
        const QString name = temp + u"/quorvane-"_s + QString::number(::geteuid());
        const QString planted = TestSandbox::NewFolder();
        QVERIFY(QFile::link(victim, temp + u"/preview.wav"_s) && QFile::link(victim, planted + u"/preview.wav"_s));
        QVERIFY(take({name, planted, victim}));

        if (!logged.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"\\(%1\\), so this run works in "_s.arg(logged)));
        const QString folder = WorkFolder();
        QCOMPARE(folder.startsWith(name + u'-'), !logged.isEmpty());
        QCOMPARE(folder.startsWith(name + u"/run-"_s), logged.isEmpty());
        QCOMPARE(PrivateFolderProblem(folder), QString());
        struct stat status
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0700));
        QCOMPARE(WorkFolder(), folder); // the same for the rest of the run

        const ToneRequest request = MakeToneRequest(u"0.1"_s, u"Sine (Default)"_s, u"440"_s);
        ToolRun::Deploy();
        const SynthRun run = RunSynthCommand(ToolRun::Command(FreshPreviewPath(), request));
        ToolRun::Remove();
        QCOMPARE(SynthRunProblem(run, PreviewPath()), QString());
        QCOMPARE(QFileInfo(PreviewPath()).path(), folder);
        QVERIFY(!QFileInfo(PreviewPath()).isSymLink());
        QCOMPARE(QFileInfo(victim).size(), 4); // never written through
    }

    // Every format is judged by what it holds: libsndfile reads the headers it knows, the tool
    // decodes the rest. A format that keeps another rate than the one chosen is never "Done.".
    void writtenFileIsJudgedInItsOwnRate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("problem"); // part of the verdict; empty: complete
        QTest::newRow("wave") << u"t.wav"_s << u"48000"_s << QString();
        QTest::newRow("WavPack, decoded by the tool") << u"t.wv"_s << u"48000"_s << QString();
        QTest::newRow("OKI ADPCM, no header") << u"t.vox"_s << u"48000"_s << QString();
        QTest::newRow("IMA ADPCM, no header") << u"t.ima"_s << u"48000"_s << QString();
        QTest::newRow("raw samples") << u"t.raw"_s << u"96000"_s << QString();
        QTest::newRow("HTK keeps a rounded rate") << u"t.htk"_s << u"48000"_s << u"at 48076 Hz, not at the 48000 Hz"_s;
        QTest::newRow("8SVX keeps at most 65535 Hz") << u"t.8svx"_s << u"192000"_s << u"at 65535 Hz"_s;
        QTest::newRow("XI keeps 44100 Hz") << u"t.xi"_s << u"8000"_s << u"at 44100 Hz"_s;
        QTest::newRow("GSM is made at 8000 Hz") << u"t.gsm"_s << u"48000"_s << u"at 8000 Hz"_s;
    }

    void writtenFileIsJudgedInItsOwnRate()
    {
        QFETCH(QString, name);
        QFETCH(QString, rate);
        QFETCH(QString, problem);
        OutputOptions options;
        options.restore(OutputSetting::SampleRate, rate);
        options.restore(OutputSetting::SampleFormat, u"16"_s);
        const ToneRequest request = MakeToneRequest(u"1"_s, u"Sine (Default)"_s, u"440"_s);
        const QString output = outputFolder + u'/' + name;
        ToolRun::Deploy();
        const SynthRun run = RunSynthCommand(ToolRun::Command(output, request, options));
        ToolRun::Remove();
        const QString verdict = SynthRunProblem(run, output);
        QVERIFY2(problem.isEmpty() ? verdict.isEmpty() : verdict.contains(problem), qPrintable(verdict));
        QVERIFY2(!verdict.contains(u"cut short"_s), qPrintable(verdict)); // every one is complete
    }

    void plantedToolIsNeverStarted()
    {
        // Deployment replaced what was planted, but a file swapped in after deployment must
        // not run either.
        ToolRun::Deploy();
        const QString sox = ToolPath(ToolFiles[0]);
        QFile::remove(sox);
        QVERIFY(WriteFile(sox, "#!/bin/sh\ntouch \"$0.ran\"\n", ExecutableByOwner));
        const SynthCommand command = ToolRun::Command(outputFolder + u"/x.wav"_s, {});
        ShellRunDetails details;
        QVERIFY(ShellAndWait(command.program, command.arguments, 0, &details, {CheckTrustedTool}) < 0);
        QVERIFY(!QFile::exists(sox + u".ran"_s));
        QVERIFY2(details.errorOutput.contains(u"not started"_s), qPrintable(details.errorOutput));
        ToolRun::Remove();
    }
};

QUORVANE_TEST_MAIN(SynthesisTest)
#include "tst_synthesis.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QProcess>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// The amplitude of the component at one frequency, by Goertzel's recurrence over a Hann window:
// two tones measured alike keep their ratio, and the other group's tone leaks nothing measurable.
double GoertzelAmplitude(const std::vector<double> &samples, size_t first, size_t count, int rate, double frequency)
{
    const double w = 2 * std::numbers::pi * frequency / rate;
    double s1 = 0;
    double s2 = 0;
    for (size_t n = 0; n < count; ++n) {
        const double hann = 0.5 * (1 - std::cos(2 * std::numbers::pi * double(n) / double(count)));
        const double s0 = samples[first + n] * hann + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2);
}

const std::array<double, 4> LowGroup{697, 770, 852, 941};
const std::array<double, 4> HighGroup{1209, 1336, 1477, 1633};
const QString Keypad = u"123A456B789C*0#D"_s;

// The strongest of a group at the samples, and its amplitude.
std::pair<size_t, double> Strongest(const std::array<double, 4> &group, const std::vector<double> &samples,
                                    size_t first, size_t count, int rate)
{
    std::pair<size_t, double> best{0, 0};
    for (size_t i = 0; i < group.size(); ++i) {
        const double amplitude = GoertzelAmplitude(samples, first, count, rate, group[i]);
        if (amplitude > best.second)
            best = {i, amplitude};
    }
    return best;
}

// The DFT of one period at a bin, over a rectangular window: the period's own table of the sine,
// so that a bin is exact.
double BinAmplitude(const std::vector<double> &samples, size_t period, size_t bin)
{
    std::complex<double> sum;
    for (size_t n = 0; n < period; ++n)
        sum += samples[n] * std::polar(1.0, -2 * std::numbers::pi * double(n * bin % period) / double(period));
    return 2 * std::abs(sum) / double(period);
}

// N tones spaced evenly in log frequency from low to high, each at the nearest bin, one per bin.
std::vector<size_t> LogSpacedBins(int tones, double low, double high, size_t period, int rate)
{
    std::vector<size_t> bins;
    for (int i = 0; i < tones; ++i) {
        const double frequency = low * std::pow(high / low, tones > 1 ? double(i) / (tones - 1) : 0);
        const auto bin = size_t(std::lround(frequency * double(period) / rate));
        if (bins.empty() || bins.back() != bin)
            bins.push_back(bin);
    }
    return bins;
}

// The level that the options ask for, in dB: by RMS (AES17) or peak.
double AskedLevelDb(const QString &options)
{
    return options.section(u"Level="_s, 1).section(u' ', 0, 0).toDouble();
}

// A signal that repeats after an FFT's length: whole periods, at least the second asked for, each
// within tolerance of the one before; the level asked for within 0.005 dB; and the crest factor as
// the README states it, when it does (0: it does not).
void CheckPeriodsAndLevel(const WavInfo &wav, size_t period, double tolerance, const QString &options,
                          double crestFactorDb)
{
    const std::vector<double> &x = wav.firstChannel;
    QVERIFY(x.size() % period == 0 && x.size() >= size_t(wav.sampleRate) && x.size() < wav.sampleRate + period);
    for (size_t n = period; n < x.size(); ++n)
        QVERIFY2(std::abs(x[n] - x[n - period]) <= tolerance, qPrintable(u"sample %1"_s.arg(n)));
    const double level = options.contains(u"RMS"_s) ? Aes17RmsDbfs(x) : PeakDbfs(x);
    QVERIFY(std::abs(level - AskedLevelDb(options)) < 0.005);
    if (crestFactorDb > 0)
        QCOMPARE(std::round(10 * (PeakDbfs(x) - 20 * std::log10(RmsLevel(x)))) / 10, crestFactorDb);
}

} // namespace

// Test signals with a meaning of their own, made by the tool and measured in the written file.
class TestSignalsTest : public QObject
{
    Q_OBJECT

    QString outputFolder;

    WavInfo Made(const QString &length, const QString &waveform, const QString &frequencies, const QString &options)
    {
        const QString path = outputFolder + u"/signal.wav"_s;
        const QString problem =
            ToolRun::Make(path, MakeToneRequest(length, waveform, frequencies), ToolRun::Options(options));
        if (!problem.isEmpty())
            qWarning("%s", qPrintable(problem));
        return ReadWav(path);
    }

private slots:
    void init()
    {
        TestSandbox::FreshTempFolder();
        outputFolder = TestSandbox::NewFolder();
    }

    void keysDecodeAsTyped_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<double>("twist"); // the high group above the low one, dB
        QTest::addColumn<double>("pauseSeconds");

        QTest::newRow("every key, no twist")
            << u"dtmf 0123456789*#ABCD"_s << u""_s << u"0123456789*#ABCD"_s << 0.0 << 0.1;
        QTest::newRow("high group 2 dB up, by RMS")
            << u"dtmf 123 twist 2"_s << u"Level=-20 LevelUnit=RMS"_s << u"123"_s << 2.0 << 0.1;
        QTest::newRow("low group up, 16-bit, a pause of its own")
            << u"DTMF 9#d twist -4.5"_s << u"SampleFormat=16 StepPause=0.25 Level=-6"_s << u"9#D"_s << -4.5 << 0.25;
        QTest::newRow("a key twice, keys in two words")
            << u"dtmf 55 *"_s << u"SampleRate=8000"_s << u"55*"_s << 0.0 << 0.1;
    }

    void keysDecodeAsTyped()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(QString, keys);
        QFETCH(double, twist);
        QFETCH(double, pauseSeconds);
        const WavInfo wav = Made(u"0.1"_s, u"Sine (Default)"_s, frequencies, options);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const auto tone = size_t(std::lround(0.1 * wav.sampleRate));
        const auto pause = size_t(std::lround(pauseSeconds * wav.sampleRate));
        QCOMPARE(wav.frames, qint64(keys.size() * tone + (keys.size() - 1) * pause));
        QString decoded;
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const size_t first = size_t(k) * (tone + pause);
            const auto [row, low] = Strongest(LowGroup, wav.firstChannel, first, tone, wav.sampleRate);
            const auto [column, high] = Strongest(HighGroup, wav.firstChannel, first, tone, wav.sampleRate);
            decoded += Keypad[qsizetype(row) * 4 + qsizetype(column)];
            QVERIFY2(std::abs(20 * std::log10(high / low) - twist) < 0.1, qPrintable(u"key %1"_s.arg(k)));
            // The pause after it is digital zero.
            if (k + 1 < keys.size()) {
                const std::vector<double> gap(wav.firstChannel.begin() + qsizetype(first + tone),
                                              wav.firstChannel.begin() + qsizetype(first + tone + pause));
                QCOMPARE(PeakDbfs(gap), -qInf());
            }
        }
        QCOMPARE(decoded, keys);
    }

    // Against the sum of sines with Schroeder's phases, sin(2 pi k n / L - pi m (m - 1) / M) for the
    // m-th of the M bins k, worked out here sample by sample at the level asked for: by peak, the
    // sum's own peak; by RMS (AES17), each tone at 1 / sqrt(M) of full scale.
    void multitoneSitsOnItsBins_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QList<double>>("tonesLowHighPeriod");
        QTest::addColumn<double>("crestFactorDb"); // as the README states it; 0: not stated
        QTest::newRow("31 tones, 2^16 at 48 kHz, -6 dBFS peak")
            << u"multitone 31 20-20000 fft 65536"_s << u"Level=-6"_s << QList<double>{31, 20, 20000, 65536} << 12.7;
        QTest::newRow("default FFT, -20 dBFS RMS, 44.1 kHz, units")
            << u"multitone 10 100 Hz-10 kHz"_s << u"SampleRate=44100 Level=-20 LevelUnit=RMS"_s
            << QList<double>{10, 100, 10000, 65536} << 0.0;
        QTest::newRow("tones that share bins, 2^14, 24-bit")
            << u"Multitone 40 200-20 FFT 16384"_s << u"SampleFormat=24 Level=-3"_s << QList<double>{40, 20, 200, 16384}
            << 0.0;
    }

    void multitoneSitsOnItsBins()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(QList<double>, tonesLowHighPeriod);
        QFETCH(double, crestFactorDb);
        const WavInfo wav = Made(u"1"_s, u"Sine (Default)"_s, frequencies, options);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const auto period = size_t(tonesLowHighPeriod[3]);
        const std::vector<double> &x = wav.firstChannel;
        CheckPeriodsAndLevel(wav, period, 1e-6, options, crestFactorDb);
        if (QTest::currentTestFailed())
            return;

        const std::vector<size_t> bins = LogSpacedBins(int(tonesLowHighPeriod[0]), tonesLowHighPeriod[1],
                                                       tonesLowHighPeriod[2], period, wav.sampleRate);
        std::vector<double> ideal(period, 0.0);
        for (size_t m = 0; m < bins.size(); ++m) {
            const double schroeder = -std::numbers::pi * double(m + 1) * double(m) / double(bins.size());
            for (size_t n = 0; n < period; ++n)
                ideal[n] += std::sin(2 * std::numbers::pi * double(n * bins[m] % period) / double(period) + schroeder);
        }
        const bool rms = options.contains(u"RMS"_s);
        const double scale =
            std::pow(10, (AskedLevelDb(options) - (rms ? 10 * std::log10(bins.size()) : PeakDbfs(ideal))) / 20);
        double worst = 0;
        for (size_t n = 0; n < period; ++n)
            worst = std::max(worst, std::abs(x[n] - scale * ideal[n]));
        QVERIFY2(worst < (wav.bitsPerSample == 24 ? 1e-6 : 1e-8), qPrintable(QString::number(worst)));

        // Each tone on its bin: the bins beside it, where no tone is, more than 100 dB down.
        for (const size_t bin : bins) {
            for (const size_t beside : {bin - 1, bin + 1}) {
                if (std::find(bins.begin(), bins.end(), beside) == bins.end())
                    QVERIFY2(20 * std::log10(BinAmplitude(x, period, beside) / BinAmplitude(x, period, bin)) < -100,
                             qPrintable(u"bin %1"_s.arg(beside)));
            }
        }
    }

    // Over one period, by numpy's FFT: the power of every third octave inside the range, against
    // the colour's law over the band's edges, and of every bin outside it.
    void periodicNoiseIsFlatOverOnePeriod_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QList<double>>("lowHighPeriod");
        QTest::addColumn<double>("outsideDb");     // the most that the bins outside the range may hold
        QTest::addColumn<double>("crestFactorDb"); // as the README states it; 0: not stated
        QTest::newRow("pink, 2^16 at 48 kHz, -20 dBFS RMS")
            << u"Pink Noise"_s << u"periodic 20-20000 fft 65536"_s << u"Level=-20 LevelUnit=RMS"_s
            << QList<double>{20, 20000, 65536} << -120.0 << 12.5;
        // 16-bit rounding leaves a noise near -86 dB of its own, outside the range too.
        QTest::newRow("white, 2^14, 16-bit, -6 dBFS peak")
            << u"White Noise"_s << u"Periodic 100 Hz-10 kHz FFT 16384"_s << u"SampleFormat=16 Level=-6"_s
            << QList<double>{100, 10000, 16384} << -80.0 << 0.0;
        QTest::newRow("brown, the range left out, 2^18 at 44.1 kHz, 24-bit")
            << u"Brown Noise"_s << u"periodic fft 262144"_s << u"SampleRate=44100 SampleFormat=24 Level=-3"_s
            << QList<double>{20, 20000, 262144} << -110.0 << 0.0;
    }

    void periodicNoiseIsFlatOverOnePeriod()
    {
        QFETCH(QString, type);
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(QList<double>, lowHighPeriod);
        QFETCH(double, outsideDb);
        QFETCH(double, crestFactorDb);
        const WavInfo wav = Made(u"1"_s, type, frequencies, options);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const auto period = size_t(lowHighPeriod[2]);
        // Each period the very samples of the one before.
        CheckPeriodsAndLevel(wav, period, 0, options, crestFactorDb);
        if (QTest::currentTestFailed())
            return;

        const QString script = uR"(
import sys, numpy as np
from scipy.io import wavfile
rate, x = wavfile.read(sys.argv[1])
period, low, high, colour = int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
x = (x[:, 0] if x.ndim > 1 else x)[:period].astype(float)
p = np.abs(np.fft.rfft(x)) ** 2
f = np.arange(p.size) * rate / period
bands = []
for n in range(-20, 14):
    lo, hi = 1000 * 10 ** ((n - 0.5) / 10), 1000 * 10 ** ((n + 0.5) / 10)
    if lo >= low and hi <= high:
        law = {'White': hi - lo, 'Pink': np.log(hi / lo), 'Brown': 1 / lo - 1 / hi}[colour]
        bands.append(10 * np.log10(p[(f >= lo) & (f < hi)].sum() / law))
inside = (f >= low) & (f <= high)
print(max(bands) - min(bands), 10 * np.log10(p[~inside].sum() / p[inside].sum() + 1e-30))
)"_s;
        QProcess python;
        python.start(QStringLiteral(QUORVANE_PYTHON),
                     {u"-c"_s, script, outputFolder + u"/signal.wav"_s, QString::number(period),
                      QString::number(lowHighPeriod[0]), QString::number(lowHighPeriod[1]), type.section(u' ', 0, 0)});
        QVERIFY2(python.waitForFinished(-1) && python.exitCode() == 0, python.readAllStandardError().constData());
        const QStringList measured = QString::fromLatin1(python.readAllStandardOutput()).split(u' ');
        QVERIFY2(measured.value(0).toDouble() < 0.5, qPrintable(u"third octaves %1 dB apart"_s.arg(measured.value(0))));
        QVERIFY2(measured.value(1).toDouble() < outsideDb,
                 qPrintable(u"outside the range %1 dB"_s.arg(measured.value(1))));
    }

    // Sample by sample against A sin(2 pi f t), each step from phase zero: whole for a sine, zero for
    // the second half of each period for a polarity pulse. A is the level's: the peak, or by RMS
    // (AES17) the pulse's RMS, A / 2.
    void stepsAreTheSinesTyped_data()
    {
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QList<double>>("steps");
        QTest::addColumn<double>("amplitude");
        const QString pulse = u"Polarity Pulse"_s;
        const auto exact = [](int n) { return 1000 * std::pow(10, n / 10.0); };
        QTest::newRow("pulse of 100 Hz") << pulse << u"100"_s << u""_s << QList<double>{100} << 1.0;
        QTest::newRow("pulse at 44.1 kHz, -6 dBFS")
            << pulse << u"441"_s << u"SampleRate=44100 Level=-6"_s << QList<double>{441} << std::pow(10, -6 / 20.0);
        QTest::newRow("pulse at -20 dBFS RMS")
            << pulse << u"1000"_s << u"Level=-20 LevelUnit=RMS"_s << QList<double>{1000} << std::sqrt(2) * 0.1;
        QTest::newRow("pulse steps") << pulse << u"50; 3000"_s << u"Level=-3"_s << QList<double>{50, 3000}
                                     << std::pow(10, -3 / 20.0);
        QTest::newRow("nominal third octaves")
            << u"Sine (Default)"_s << u"20; 31.5; 12500"_s << u""_s << QList<double>{20, 31.5, 12500} << 1.0;
        QTest::newRow("exact third octaves: 1000 * 10^(n/10)")
            << u"Sine (Default)"_s << u"20; 31.5 Hz; 12500; A4; 1k"_s << u"ThirdOctaves=Exact"_s
            << QList<double>{exact(-17), exact(-15), exact(11), 440, 1000} << 1.0;
    }

    void stepsAreTheSinesTyped()
    {
        QFETCH(QString, waveform);
        QFETCH(QList<double>, steps);
        QFETCH(double, amplitude);
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        const WavInfo wav = Made(u"0.5"_s, waveform, frequencies, options);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const auto stepSamples = size_t(wav.sampleRate / 2);
        QCOMPARE(wav.frames, qint64(steps.size() * stepSamples));
        const bool pulse = waveform == u"Polarity Pulse"_s;
        for (qsizetype step = 0; step < steps.size(); ++step) {
            double worst = 0;
            for (size_t n = 0; n < stepSamples; ++n) {
                const double phase = std::fmod(steps[step] * double(n) / wav.sampleRate, 1.0);
                const double expected = pulse && phase >= 0.5 ? 0 : amplitude * std::sin(2 * std::numbers::pi * phase);
                worst = std::max(worst, std::abs(wav.firstChannel[size_t(step) * stepSamples + n] - expected));
            }
            QVERIFY2(worst < 1e-5, qPrintable(u"step %1 off by %2"_s.arg(step).arg(worst)));
        }
    }
};

QUORVANE_TEST_MAIN(TestSignalsTest)
#include "tst_test_signals.moc"

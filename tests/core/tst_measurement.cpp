// SPDX-License-Identifier: GPL-3.0-or-later

// The measurement sweep, its inverse filter and the impulse response, measured in the files that
// the tool and the measuring plugin write.

#include "core/failure.h"
#include "core/measure/measurement_sweep.h"
#include "core/measure/response_curves.h"
#include "core/plan/tone_plan.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "core/sound/sound_file.h"
#include "test_files.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <fftw3.h>
#include <functional>
#include <numbers>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Rate = 48000;

// The spectrum of the samples zero-padded to size (a power of two), or the samples back from one.
std::vector<std::complex<double>> Transform(std::vector<std::complex<double>> data, int sign)
{
    auto *buffer = reinterpret_cast<fftw_complex *>(data.data());
    fftw_plan plan = fftw_plan_dft_1d(int(data.size()), buffer, buffer, sign, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    return data;
}

std::vector<std::complex<double>> Spectrum(const std::vector<double> &samples, std::size_t size)
{
    std::vector<std::complex<double>> data(size);
    std::copy(samples.begin(), samples.end(), data.begin());
    return Transform(std::move(data), FFTW_FORWARD);
}

void WriteFloatWave(const QString &path, const std::vector<double> &samples, int rate, int channels = 1)
{
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY(file);
    const auto frames = sf_count_t(samples.size()) / channels;
    QCOMPARE(sf_writef_double(file, samples.data(), frames), frames);
    sf_close(file);
}

qint64 PeakResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The analytic signal of the samples (the Hilbert transform as its imaginary part), by FFT.
std::vector<std::complex<double>> Analytic(const std::vector<double> &samples)
{
    std::vector<std::complex<double>> spectrum = Spectrum(samples, std::bit_ceil(samples.size()));
    const std::size_t size = spectrum.size();
    for (std::size_t k = 1; k < size / 2; ++k)
        spectrum[k] *= 2;
    std::fill(spectrum.begin() + std::ptrdiff_t(size / 2 + 1), spectrum.end(), 0);
    std::vector<std::complex<double>> analytic = Transform(spectrum, FFTW_BACKWARD);
    analytic.resize(samples.size());
    for (auto &value : analytic)
        value /= double(size);
    return analytic;
}

// The samples' spectrum at one frequency, their first sample at time zero.
std::complex<double> SpectrumAt(const std::vector<double> &samples, double hertz, int rate)
{
    std::complex<double> sum;
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * hertz / rate);
    std::complex<double> turn = 1;
    for (const double sample : samples) {
        sum += sample * turn;
        turn *= step;
    }
    return sum;
}

// The python of the system, which has numpy and scipy.
QString Python()
{
    return QStringLiteral(QUORVANE_PYTHON);
}

qint64 PeakIndex(const std::vector<double> &samples, qint64 from, qint64 to)
{
    const auto begin = samples.begin() + std::max<qint64>(0, from);
    return std::max_element(begin, samples.begin() + to, [](double a, double b) { return std::abs(a) < std::abs(b); }) -
           samples.begin();
}

} // namespace

class MeasurementTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    MeasurementSweep m_design;
    WavInfo m_sweep;
    MeasurePlugin *m_measuring = nullptr;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    // The preset's sweep at a rate, as Save writes it (full scale), with its inverse filter beside it.
    MeasurementSweep makeSweep(const QString &name, int rate)
    {
        const OutputOptions options = ToolRun::Options(u"MeasurementSweep=1 SampleRate=%1"_s.arg(rate));
        const ToneRequest request = MakeToneRequest(u"10"_s, u"Sine (Default)"_s, u"20-20000"_s);
        const MeasurementSweep design = DesignRequestedSweep(ReadTone(request, options).tone, options).sweep.value();
        if (ToolRun::Make(path(name), request, options).isEmpty()) {
            m_measuring->writeInverseFilter(path(name), design.sweepSamples, design.sweepRate, design.endFrequency,
                                            InverseFilterPath(path(name)),
                                            InverseFilterComment(path(name), {design.sweepRate, 20, 20000}));
        }
        return design;
    }
    // The response as Make Impulse Response writes it, from L ln 6 before its peak.
    ImpulseResponseMade respondTo(const QString &recording, const QString &sweep, const QString &inverse = {})
    {
        return WriteImpulseResponse(path(recording), inverse.isEmpty() ? InverseFilterPath(path(sweep)) : inverse,
                                    ImpulseResponsePath(path(recording)));
    }
    // The response of a recording that is the sweep made into something else sample by sample.
    ImpulseResponseMade respond(const QString &name, const std::function<double(qint64, double)> &recorded)
    {
        std::vector<double> recording(m_sweep.firstChannel.size() + 4800);
        for (qint64 n = 0; n < qint64(recording.size()); ++n)
            recording[std::size_t(n)] =
                recorded(n, n < qint64(m_sweep.firstChannel.size()) ? m_sweep.firstChannel[std::size_t(n)] : 0);
        WriteFloatWave(path(name), recording, Rate);
        return respondTo(name, u"sweep.wav"_s);
    }

private slots:
    void initTestCase()
    {
        m_measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
        QVERIFY(m_measuring);
        m_design = makeSweep(u"sweep.wav"_s, Rate);
        m_sweep = ReadWav(path(u"sweep.wav"_s));
        QVERIFY(m_sweep.valid);
    }

    void sweepRunsBeyondTheBandThenASecondOfZeros()
    {
        QCOMPARE(m_design.sweepRate, 1.45);
        // A whole number of cycles of its start in L keeps the harmonics in phase.
        const double cycles = m_design.startFrequency * m_design.sweepRate;
        QVERIFY(cycles >= 1 && std::abs(cycles - std::round(cycles)) < 1e-9);
        QVERIFY(m_design.startFrequency < 20 && m_design.endFrequency > 20000);
        const qint64 sweepSamples = m_sweep.frames - Rate;
        QCOMPARE(sweepSamples, m_design.sweepSamples);
        QVERIFY(std::abs(sweepSamples - Rate * 1.45 * std::log(m_design.endFrequency / m_design.startFrequency)) <= 1);
        QVERIFY(std::all_of(m_sweep.firstChannel.end() - Rate, m_sweep.firstChannel.end(),
                            [](double x) { return x == 0; }));
        // Full scale from before the band starts to after it ends: the fades are outside it.
        const auto loudest = [&](double seconds) {
            const auto from = m_sweep.firstChannel.begin() + std::llround(seconds * Rate);
            return std::abs(*std::max_element(from, from + Rate / 10,
                                              [](double a, double b) { return std::abs(a) < std::abs(b); }));
        };
        const double atBandStart = 1.45 * std::log(20 / m_design.startFrequency);
        const double atBandEnd = 1.45 * std::log(20000 / m_design.startFrequency);
        QVERIFY2(loudest(atBandStart - 0.3) > 0.999 && loudest(atBandEnd) > 0.999,
                 qPrintable(u"%1 %2"_s.arg(loudest(atBandStart - 0.3)).arg(loudest(atBandEnd))));
        QVERIFY(m_sweep.firstChannel[0] == 0 && loudest(0) < 0.05);
    }

    void sweepFollowsItsExponentialFrequency()
    {
        // The phase of the analytic signal (Hilbert), unwrapped, over frames of 50 ms.
        const std::vector<double> sweep(m_sweep.firstChannel.begin(), m_sweep.firstChannel.end() - Rate);
        const std::vector<std::complex<double>> analytic = Analytic(sweep);
        std::vector<double> phase(sweep.size());
        for (std::size_t n = 0; n < sweep.size(); ++n) {
            phase[n] = std::arg(analytic[n]);
            if (n > 0)
                phase[n] += 2 * std::numbers::pi * std::round((phase[n - 1] - phase[n]) / (2 * std::numbers::pi));
        }
        const double L = m_design.sweepRate;
        const qint64 frame = Rate / 20;
        int frames = 0;
        for (qint64 start = 0; start + frame < qint64(sweep.size()); start += frame) {
            const double t1 = double(start) / Rate;
            const double t2 = double(start + frame) / Rate;
            if (m_design.startFrequency * std::exp(t1 / L) < 40 || m_design.startFrequency * std::exp(t2 / L) > 10000)
                continue;
            const double measured =
                (phase[std::size_t(start + frame)] - phase[std::size_t(start)]) / (2 * std::numbers::pi * (t2 - t1));
            const double expected = m_design.startFrequency * std::exp((t1 + t2) / 2 / L);
            QVERIFY2(std::abs(measured / expected - 1) < 0.005, qPrintable(u"%1 Hz at %2 s"_s.arg(measured).arg(t1)));
            ++frames;
        }
        QVERIFY(frames > 100);
    }

    // A wire is the sweep as its own recording; a gain of 1.9 is kept above full scale.
    void wireReadsFlatAcrossTheBand_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("gain");
        QTest::newRow("wire at 48 kHz") << 48000 << 1.0;
        QTest::newRow("wire at 44.1 kHz") << 44100 << 1.0;
        QTest::newRow("wire at 96 kHz") << 96000 << 1.0;
        QTest::newRow("gain 1.9 at 48 kHz") << 48000 << 1.9;
    }

    void wireReadsFlatAcrossTheBand()
    {
        QFETCH(int, rate);
        QFETCH(double, gain);
        const QString sweep = u"wire-%1.wav"_s.arg(rate);
        const MeasurementSweep design = makeSweep(sweep, rate);
        const ImpulseResponseMade wire = respondTo(sweep, sweep);
        const WavInfo wireResponse = ReadWav(ImpulseResponsePath(path(sweep)));
        QString recording = sweep;
        if (gain != 1) {
            recording = u"gain.wav"_s;
            std::vector<double> louder = ReadWav(path(sweep)).firstChannel;
            std::transform(louder.begin(), louder.end(), louder.begin(), [gain](double x) { return gain * x; });
            WriteFloatWave(path(recording), louder, rate);
        }
        const ImpulseResponseMade made = respondTo(recording, sweep);
        const WavInfo response = ReadWav(ImpulseResponsePath(path(recording)));
        QVERIFY(response.isFloat && response.bitsPerSample == 32 && response.sampleRate == rate);
        // The harmonics' place is kept before the peak, as far as the 6th's; the peak is as large as
        // the gain makes it, above full scale too.
        QVERIFY(std::abs(made.peakFrame - design.harmonicLead(6) * rate) <= 1);
        QCOMPARE(made.delayFrames, 0);
        const double peak = std::abs(response.firstChannel[std::size_t(made.peakFrame)]);
        QVERIFY2(std::abs(peak / std::abs(wireResponse.firstChannel[std::size_t(wire.peakFrame)]) / gain - 1) <= 0.001,
                 qPrintable(QString::number(peak)));
        QVERIFY(std::abs(made.peakDb - 20 * std::log10(peak)) < 1e-4);
        // In the frequency domain, every bin of the band reads the gain.
        const std::size_t size = std::bit_ceil(response.firstChannel.size());
        const std::vector<std::complex<double>> spectrum = Spectrum(response.firstChannel, size);
        double lowest = qInf();
        double highest = -qInf();
        for (auto bin = std::size_t(std::ceil(20.0 * double(size) / rate)); double(bin) * rate / double(size) <= 20000;
             ++bin) {
            const double decibels = 20 * std::log10(std::abs(spectrum[bin]) / gain);
            lowest = std::min(lowest, decibels);
            highest = std::max(highest, decibels);
        }
        QVERIFY2(lowest >= -0.05 && highest <= 0.05, qPrintable(u"%1 to %2 dB"_s.arg(lowest).arg(highest)));
    }

    // A high-pass and a peaking dip, designed with scipy, then a delay: the response is the filter's
    // as scipy computes it, at its exact delay.
    void filterIsRecoveredAgainstScipy()
    {
        const QString script = uR"(
import sys, numpy as np
from scipy import signal
rate, delay = 48000, 12345
x = np.fromfile(sys.argv[1], dtype='<f8')
A, w = 10 ** (-6 / 40), 2 * np.pi * 1000 / rate
alpha = np.sin(w) / (2 * 1.4)
b = np.array([1 + alpha * A, -2 * np.cos(w), 1 - alpha * A])
a = np.array([1 + alpha / A, -2 * np.cos(w), 1 - alpha / A])
sos = np.vstack([signal.butter(2, 80, 'highpass', fs=rate, output='sos'), np.concatenate([b, a]) / a[0]])
np.concatenate([np.zeros(delay), signal.sosfilt(sos, x)]).astype('<f8').tofile(sys.argv[2])
f = np.append(20 * 2 ** (np.arange(30) / 3), 20000)
for hertz, h in zip(f, signal.sosfreqz(sos, worN=f, fs=rate)[1]):
    print(hertz, 20 * np.log10(abs(h)), np.degrees(np.angle(h)))
)"_s;
        QFile sweep(path(u"sweep.f64"_s));
        QVERIFY(sweep.open(QIODevice::WriteOnly));
        sweep.write(reinterpret_cast<const char *>(m_sweep.firstChannel.data()),
                    qint64(m_sweep.firstChannel.size()) * qint64(sizeof(double)));
        sweep.close();
        QProcess python;
        python.start(Python(), {u"-c"_s, script, sweep.fileName(), path(u"filtered.f64"_s)});
        QVERIFY2(python.waitForFinished(60000) && python.exitCode() == 0,
                 qPrintable(Python() + u": "_s + QString::fromLocal8Bit(python.readAllStandardError())));
        QFile filtered(path(u"filtered.f64"_s));
        QVERIFY(filtered.open(QIODevice::ReadOnly));
        const QByteArray bytes = filtered.readAll();
        std::vector<double> recording(std::size_t(bytes.size()) / sizeof(double));
        std::memcpy(recording.data(), bytes.constData(), recording.size() * sizeof(double));
        WriteFloatWave(path(u"room.wav"_s), recording, Rate);

        const ImpulseResponseMade made = respondTo(u"room.wav"_s, u"sweep.wav"_s);
        QCOMPARE(made.delayFrames, 12345);
        const WavInfo response = ReadWav(ImpulseResponsePath(path(u"room.wav"_s)));
        // The file's own spectrum, and the tone window's reading of it (finest smoothing, phase with
        // time zero at the peak, which is where the filter starts).
        const ResponseAnalysis read = AnalyseSoundFile(ImpulseResponsePath(path(u"room.wav"_s))).response.value();
        for (const QString &line :
             QString::fromLocal8Bit(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
            const double hertz = line.section(u' ', 0, 0).toDouble();
            const double expected = line.section(u' ', 1, 1).toDouble();
            const double measured = 20 * std::log10(std::abs(SpectrumAt(response.firstChannel, hertz, Rate)));
            const ResponsePoint point = FrequencyResponse(read, 0, {hertz}, 24).front();
            const double degrees = std::remainder(point.degrees - line.section(u' ', 2, 2).toDouble(), 360);
            QVERIFY2(std::abs(measured - expected) <= 0.1 && std::abs(point.decibels - expected) <= 0.1 &&
                         std::abs(degrees) <= 2,
                     qPrintable(u"%1 Hz: %2 and %3 dB, not %4 dB; %5° off"_s.arg(hertz)
                                    .arg(measured)
                                    .arg(point.decibels)
                                    .arg(expected)
                                    .arg(degrees)));
        }
    }

    // y = x + 0.1 x² + 0.05 x³ of a sweep of amplitude A has the 2nd harmonic 0.05 A², the 3rd
    // 0.0125 A³ and the fundamental A + 0.0375 A³; the tone window reads their ratios.
    void harmonicDistortionIsThePolynomials()
    {
        respond(u"polynomial.wav"_s, [](qint64, double x) { return x + 0.1 * x * x + 0.05 * x * x * x; });
        const ResponseAnalysis read = AnalyseSoundFile(ImpulseResponsePath(path(u"polynomial.wav"_s))).response.value();
        const double A = std::abs(*std::max_element(m_sweep.firstChannel.begin(), m_sweep.firstChannel.end(),
                                                    [](double a, double b) { return std::abs(a) < std::abs(b); }));
        const double fundamental = A + 0.0375 * A * A * A;
        const double second = 0.05 * A * A / fundamental;
        const double third = 0.0125 * A * A * A / fundamental;
        for (const double hertz : {50.0, 1000.0, 6000.0}) {
            const double h2 = 20 * std::log10(HarmonicDistortion(read, 0, 2, hertz, 12) / second);
            const double h3 = 20 * std::log10(HarmonicDistortion(read, 0, 3, hertz, 12) / third);
            QVERIFY2(std::abs(h2) <= 0.1 && std::abs(h3) <= 0.1,
                     qPrintable(u"%1 Hz: %2, %3 dB off"_s.arg(hertz).arg(h2).arg(h3)));
        }
        QVERIFY(std::abs(TotalHarmonicDistortion(read, 0, 1000, 12) / std::hypot(second, third) - 1) < 0.012);
        QVERIFY(std::isnan(HarmonicDistortion(read, 0, 3, 8000, 12))); // 24 kHz is not swept
    }

    void harmonicsPeakWhereTheirOrderPutsThem()
    {
        const ImpulseResponseMade made =
            respond(u"distorted.wav"_s, [](qint64, double x) { return x + 0.1 * x * x + 0.05 * x * x * x; });
        const WavInfo response = ReadWav(ImpulseResponsePath(path(u"distorted.wav"_s)));
        QCOMPARE(PeakIndex(response.firstChannel, 0, response.frames), made.peakFrame);
        QVERIFY(std::abs(made.peakFrame - m_design.harmonicLead(6) * Rate) <= 1);
        // x² makes its harmonic in quadrature (a cosine), so each response is found by its
        // envelope, as an energy-time curve shows it.
        std::vector<double> envelope(response.firstChannel.size());
        const std::vector<std::complex<double>> analytic = Analytic(response.firstChannel);
        std::transform(analytic.begin(), analytic.end(), envelope.begin(), [](auto z) { return std::abs(z); });
        for (const int harmonic : {2, 3}) {
            const double expected = double(made.peakFrame) - m_design.harmonicLead(harmonic) * Rate;
            const qint64 found = PeakIndex(envelope, qint64(expected) - Rate / 20, qint64(expected) + Rate / 20);
            QVERIFY2(std::abs(double(found) - expected) <= 2,
                     qPrintable(u"harmonic %1 at %2, not %3"_s.arg(harmonic).arg(found).arg(expected)));
        }
    }

    void delayIsFoundWithItsLevel()
    {
        const ImpulseResponseMade direct = respond(u"direct.wav"_s, [](qint64, double x) { return x; });
        const ImpulseResponseMade delayed = respond(u"delayed.wav"_s, [this](qint64 n, double) {
            return n < 4800 ? 0 : std::pow(10, -6.0 / 20) * m_sweep.firstChannel[std::size_t(n - 4800)];
        });
        QCOMPARE(delayed.delayFrames - direct.delayFrames, 4800);
        QVERIFY2(std::abs(delayed.peakDb - direct.peakDb + 6) <= 0.01, qPrintable(QString::number(delayed.peakDb)));
    }

    // Every refusal names its reason and writes nothing; hostile headers are refused before
    // anything is allocated for them.
    void unusableFilesAreRefused_data()
    {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QString>("inverse");
        QTest::addColumn<QString>("message"); // after the path of the file refused
        const QString inverse = u"sweep-inverse.wav"_s;
        QTest::newRow("another rate") << u"44k.wav"_s << inverse
                                      << u" was recorded at 44100 Hz, but the inverse filter is at 48000 Hz"_s;
        QTest::newRow("empty") << u"empty.wav"_s << inverse << u" holds no sound."_s;
        QTest::newRow("text") << u"notes.wav"_s << inverse << u" is not a sound file that can be read."_s;
        QTest::newRow("missing") << u"missing.wav"_s << inverse << u" was not found."_s;
        QTest::newRow("1024 channels") << u"channels.wav"_s << inverse
                                       << u" has 1024 channels; an impulse response is made of at most 32."_s;
        QTest::newRow("NaN and infinity")
            << u"nan.wav"_s << inverse
            << u" holds samples that are not numbers (NaN or infinity), the first 0.500 s in"_s;
        QTest::newRow("an hour of filter")
            << u"sweep.wav"_s << u"hour.wav"_s << u" is longer than 10 minutes, which no inverse filter"_s;
        // Nine minutes at 48 kHz, 25,920,000 samples, take transforms of 2^26: three of doubles, and
        // per channel one of doubles and two of floats, with the filter itself, 3,861,776,384 bytes.
        QTest::newRow("more memory than it may")
            << u"stereo.wav"_s << u"nine-minutes.wav"_s << u" would take 3861 MB of memory for its 2 channel(s)"_s;
    }

    void unusableFilesAreRefused()
    {
        QFETCH(QString, recording);
        QFETCH(QString, inverse);
        QCOMPARE(ToolRun::Make(path(u"44k.wav"_s), MakeToneRequest(u"1"_s, u"Sine (Default)"_s, u"1000"_s),
                               ToolRun::Options(u"SampleRate=44100"_s)),
                 QString());
        WriteFloatWave(path(u"empty.wav"_s), {}, Rate);
        QVERIFY(WriteFile(path(u"notes.wav"_s), "not a sound\n"));
        std::vector<double> numbers(Rate, 0.5);
        numbers[Rate / 2] = std::nan("");
        numbers[Rate / 2 + 1] = qInf();
        WriteFloatWave(path(u"nan.wav"_s), numbers, Rate);
        WriteFloatWave(path(u"channels.wav"_s), std::vector<double>(std::size_t(5 * 1024), 0.1), Rate, 1024);
        WriteFloatWave(path(u"stereo.wav"_s), std::vector<double>(std::size_t(2 * Rate), 0.1), Rate, 2);
        // Headers that claim far more than the file holds: the rest reads as zeros.
        for (const auto &[name, seconds] : {std::pair{u"hour.wav"_s, 3600}, std::pair{u"nine-minutes.wav"_s, 540}}) {
            WriteFloatWave(path(name), {}, Rate);
            QFile claim(path(name));
            QVERIFY(claim.open(QIODevice::ReadWrite));
            const qint64 dataSize = claim.readAll().indexOf("data") + 4;
            QVERIFY(claim.resize(claim.size() + qint64(seconds) * Rate * 4) && claim.seek(dataSize));
            const quint32 dataBytes = quint32(seconds * Rate * 4);
            QVERIFY(claim.write(reinterpret_cast<const char *>(&dataBytes), 4) == 4);
        }
        const QStringList before = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
        try {
            respondTo(recording, u"sweep.wav"_s, path(inverse));
            QFAIL("made a response");
        } catch (const Failure &refused) {
            QFETCH(QString, message);
            QVERIFY2(refused.description().contains(message), qPrintable(refused.description()));
        }
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), before);
        QVERIFY2(PeakResidentKiB() < qint64(500) * 1000, qPrintable(QString::number(PeakResidentKiB())));
    }
};

QTEST_GUILESS_MAIN(MeasurementTest)
#include "tst_measurement.moc"

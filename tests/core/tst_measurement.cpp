// SPDX-License-Identifier: GPL-3.0-or-later

// The measurement sweep, its inverse filter and the impulse response, measured in the files that
// the tool and the measuring plugin write.

#include "core/failure.h"
#include "core/measure/measurement_sweep.h"
#include "core/plan/tone_plan.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
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

void WriteFloatWave(const QString &path, const std::vector<double> &samples, int rate)
{
    SF_INFO info{0, rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY(file);
    QCOMPARE(sf_writef_double(file, samples.data(), sf_count_t(samples.size())), sf_count_t(samples.size()));
    sf_close(file);
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
    // The response of a recording that is the sweep made into something else sample by sample.
    ImpulseResponseMade respond(const QString &name, const std::function<double(qint64, double)> &recorded)
    {
        std::vector<double> recording(m_sweep.firstChannel.size() + 4800);
        for (qint64 n = 0; n < qint64(recording.size()); ++n)
            recording[std::size_t(n)] =
                recorded(n, n < qint64(m_sweep.firstChannel.size()) ? m_sweep.firstChannel[std::size_t(n)] : 0);
        WriteFloatWave(path(name), recording, Rate);
        return m_measuring->makeImpulseResponse(path(name), path(u"sweep-inverse.wav"_s),
                                                ImpulseResponsePath(path(name)), m_design.harmonicLead(5), {});
    }

private slots:
    void initTestCase()
    {
        m_measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
        QVERIFY(m_measuring);
        const OutputOptions options = ToolRun::Options(u"MeasurementSweep=1"_s);
        const ToneRequest request = MakeToneRequest(u"10"_s, u"Sine (Default)"_s, u"20-20000"_s);
        m_design = DesignRequestedSweep(request, options).sweep.value();
        QCOMPARE(ToolRun::Make(path(u"sweep.wav"_s), request, options), QString());
        m_measuring->writeInverseFilter(path(u"sweep.wav"_s), m_design.sweepSamples, m_design.sweepRate,
                                        InverseFilterPath(path(u"sweep.wav"_s)), u"test"_s);
        m_sweep = ReadWav(path(u"sweep.wav"_s));
        QVERIFY(m_sweep.valid);
    }

    void sweepLastsWholePeriodsThenASecondOfZeros()
    {
        QCOMPARE(m_design.sweepRate, 1.45);
        const qint64 sweepSamples = m_sweep.frames - Rate;
        QVERIFY(std::abs(sweepSamples - std::llround(Rate * 1.45 * std::log(1000.0))) <= 1);
        QVERIFY(std::all_of(m_sweep.firstChannel.end() - Rate, m_sweep.firstChannel.end(),
                            [](double x) { return x == 0; }));
        QVERIFY(m_sweep.firstChannel[std::size_t(sweepSamples - m_design.fadeOutSamples - 1)] != 0);
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
            if (20 * std::exp(t1 / L) < 40 || 20 * std::exp(t2 / L) > 10000)
                continue;
            const double measured =
                (phase[std::size_t(start + frame)] - phase[std::size_t(start)]) / (2 * std::numbers::pi * (t2 - t1));
            const double expected = 20 * std::exp((t1 + t2) / 2 / L);
            QVERIFY2(std::abs(measured / expected - 1) < 0.005, qPrintable(u"%1 Hz at %2 s"_s.arg(measured).arg(t1)));
            ++frames;
        }
        QVERIFY(frames > 100);
    }

    void inverseFilterMakesTheSweepAnImpulse()
    {
        const WavInfo inverse = ReadWav(InverseFilterPath(path(u"sweep.wav"_s)));
        QVERIFY(inverse.isFloat && inverse.bitsPerSample == 32 && inverse.sampleRate == Rate);
        const std::vector<double> sweep(m_sweep.firstChannel.begin(), m_sweep.firstChannel.end() - Rate);
        const std::size_t size = std::bit_ceil(sweep.size() + inverse.firstChannel.size());
        std::vector<std::complex<double>> product = Spectrum(sweep, size);
        const std::vector<std::complex<double>> filter = Spectrum(inverse.firstChannel, size);
        for (std::size_t k = 0; k < size; ++k)
            product[k] *= filter[k];
        // Flat: each bin from 80 Hz to 5 kHz within half a decibel of the one at 1 kHz.
        const auto bin = [&](double hertz) { return std::size_t(std::lround(hertz * double(size) / Rate)); };
        const double reference = std::abs(product[bin(1000)]);
        for (std::size_t k = bin(80); k <= bin(5000); ++k)
            QVERIFY2(std::abs(20 * std::log10(std::abs(product[k]) / reference)) <= 0.5,
                     qPrintable(QString::number(k)));
        std::vector<double> impulse(size);
        const std::vector<std::complex<double>> back = Transform(product, FFTW_BACKWARD);
        for (std::size_t n = 0; n < size; ++n)
            impulse[n] = back[n].real() / double(size);
        const qint64 peak = PeakIndex(impulse, 0, qint64(size));
        QVERIFY2(std::abs(std::abs(impulse[std::size_t(peak)]) - 1) <= 0.01,
                 qPrintable(QString::number(impulse[std::size_t(peak)])));
        const qint64 near = Rate / 100;
        for (qint64 n = 0; n < qint64(size); ++n) {
            if (std::abs(n - peak) > near)
                QVERIFY2(20 * std::log10(std::abs(impulse[std::size_t(n)]) + 1e-30) <= -50,
                         qPrintable(QString::number(n)));
        }
    }

    void harmonicsPeakWhereTheirOrderPutsThem()
    {
        const ImpulseResponseMade made =
            respond(u"distorted.wav"_s, [](qint64, double x) { return x + 0.1 * x * x + 0.05 * x * x * x; });
        const WavInfo response = ReadWav(ImpulseResponsePath(path(u"distorted.wav"_s)));
        QCOMPARE(PeakIndex(response.firstChannel, 0, response.frames), made.peakFrame);
        QVERIFY(std::abs(made.peakFrame - m_design.harmonicLead(5) * Rate) <= 1);
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
        QVERIFY2(std::abs(delayed.peakDb + 6) <= 0.1, qPrintable(QString::number(delayed.peakDb)));
    }

    void unusableRecordingsAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("another rate") << u"44k.wav"_s
                                      << u" was recorded at 44100 Hz, but the inverse filter is at 48000 Hz"_s;
        QTest::newRow("empty") << u"empty.wav"_s << u" holds no sound."_s;
        QTest::newRow("text") << u"notes.wav"_s << u" is not a sound file that can be read."_s;
        QTest::newRow("missing") << u"missing.wav"_s << u" was not found."_s;
    }

    void unusableRecordingsAreRefused()
    {
        QFETCH(QString, name);
        QCOMPARE(ToolRun::Make(path(u"44k.wav"_s), MakeToneRequest(u"1"_s, u"Sine (Default)"_s, u"1000"_s),
                               ToolRun::Options(u"SampleRate=44100"_s)),
                 QString());
        WriteFloatWave(path(u"empty.wav"_s), {}, Rate);
        QFile text(path(u"notes.wav"_s));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a sound\n") > 0);
        text.close();
        const QStringList before = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
        try {
            m_measuring->makeImpulseResponse(path(name), path(u"sweep-inverse.wav"_s), ImpulseResponsePath(path(name)),
                                             1, {});
            QFAIL("made a response");
        } catch (const Failure &refused) {
            QFETCH(QString, message);
            QVERIFY2(refused.description().startsWith(path(name) + message), qPrintable(refused.description()));
        }
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    }
};

QTEST_GUILESS_MAIN(MeasurementTest)
#include "tst_measurement.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "wav_analysis.h"

#include <QFile>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

// Fields that a cut-short file lacks read as 0, never past its end.
quint32 U32(const QByteArray &data, qsizetype at)
{
    return at + 4 <= data.size() ? qFromLittleEndian<quint32>(data.constData() + at) : 0;
}

quint16 U16(const QByteArray &data, qsizetype at)
{
    return at + 2 <= data.size() ? qFromLittleEndian<quint16>(data.constData() + at) : 0;
}

double SampleAt(const char *p, int bits, bool isFloat)
{
    if (isFloat)
        return bits == 64 ? qFromLittleEndian<double>(p) : qFromLittleEndian<float>(p);
    switch (bits) {
    case 8:
        return (static_cast<unsigned char>(*p) - 128) / 128.0;
    case 16:
        return qFromLittleEndian<qint16>(p) / 32768.0;
    case 24: {
        const qint32 v = (static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8 |
                          static_cast<signed char>(p[2]) * 65536);
        return v / 8388608.0;
    }
    case 32:
        return qFromLittleEndian<qint32>(p) / 2147483648.0;
    }
    return 0.0;
}

void Fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * std::numbers::pi / double(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// The header into info and every channel's samples, scaled to -1..1; info.problem says what went
// wrong.
std::vector<std::vector<double>> ReadWavChannels(const QString &path, WavInfo &info)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        info.problem = file.errorString();
        return {};
    }
    const QByteArray data = file.readAll();
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE") {
        info.problem = QStringLiteral("not a RIFF/WAVE file");
        return {};
    }
    int format = 0;
    qsizetype at = 12;
    while (at + 8 <= data.size()) {
        const QByteArray id = data.mid(at, 4);
        const qsizetype size = U32(data, at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            format = U16(data, body);
            info.channels = U16(data, body + 2);
            info.sampleRate = int(U32(data, body + 4));
            info.bitsPerSample = U16(data, body + 14);
            if (format == 0xFFFE && size >= 26)
                format = U16(data, body + 24); // sub-format of WAVE_FORMAT_EXTENSIBLE
        } else if (id == "data") {
            if (!info.channels || !info.bitsPerSample) {
                info.problem = QStringLiteral("data before fmt");
                return {};
            }
            const int frameBytes = info.channels * info.bitsPerSample / 8;
            const qsizetype available = std::min<qsizetype>(size, data.size() - body);
            info.frames = available / frameBytes;
            info.isFloat = format == 3;
            const int sampleBytes = info.bitsPerSample / 8;
            std::vector<std::vector<double>> channels(size_t(info.channels));
            for (std::vector<double> &channel : channels)
                channel.reserve(size_t(info.frames));
            for (qint64 i = 0; i < info.frames; ++i) {
                const char *frame = data.constData() + body + i * frameBytes;
                for (size_t c = 0; c < channels.size(); ++c)
                    channels[c].push_back(SampleAt(frame + c * size_t(sampleBytes), info.bitsPerSample, info.isFloat));
            }
            info.valid = format == 1 || format == 3;
            if (!info.valid)
                info.problem = QStringLiteral("unsupported WAV format %1").arg(format);
            return channels;
        }
        at = body + size + (size & 1);
    }
    info.problem = QStringLiteral("no data chunk");
    return {};
}

} // namespace

WavInfo ReadWav(const QString &path)
{
    WavInfo info;
    std::vector<std::vector<double>> channels = ReadWavChannels(path, info);
    if (!channels.empty())
        info.firstChannel = std::move(channels[0]);
    if (channels.size() > 1)
        info.secondChannel = std::move(channels[1]);
    return info;
}

std::vector<std::vector<double>> ReadChannels(const QString &path)
{
    WavInfo info;
    std::vector<std::vector<double>> channels = ReadWavChannels(path, info);
    return info.valid ? channels : std::vector<std::vector<double>>();
}

double DominantFrequency(const std::vector<double> &samples, int sampleRate)
{
    size_t n = 1;
    while (n * 2 <= samples.size() && n < (1u << 18))
        n *= 2;
    if (n < 2 || sampleRate <= 0)
        return 0.0;
    std::vector<std::complex<double>> spectrum(n);
    for (size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n - 1));
        spectrum[i] = samples[i] * hann;
    }
    Fft(spectrum);
    size_t best = 1;
    for (size_t k = 1; k < n / 2; ++k)
        if (std::abs(spectrum[k]) > std::abs(spectrum[best]))
            best = k;
    return double(best) * sampleRate / double(n);
}

double RmsLevel(const std::vector<double> &samples)
{
    if (samples.empty())
        return 0.0;
    double sum = 0;
    for (double s : samples)
        sum += s * s;
    return std::sqrt(sum / double(samples.size()));
}

double Aes17RmsDbfs(const std::vector<double> &samples)
{
    return 20 * std::log10(RmsLevel(samples)) + 20 * std::log10(std::numbers::sqrt2);
}

std::vector<double> KaiserSpectrum(const std::vector<double> &samples, size_t first, size_t length)
{
    constexpr double beta = 20;
    std::vector<std::complex<double>> frame(length);
    double windowSum = 0;
    for (size_t i = 0; i < length; ++i) {
        const double x = 2.0 * double(i) / double(length - 1) - 1;
        const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(1 - x * x)) / std::cyl_bessel_i(0.0, beta);
        frame[i] = (first + i < samples.size() ? samples[first + i] : 0.0) * window;
        windowSum += window;
    }
    Fft(frame);
    std::vector<double> magnitudes(length / 2 + 1);
    for (size_t k = 0; k < magnitudes.size(); ++k)
        magnitudes[k] = 2 * std::abs(frame[k]) / windowSum;
    return magnitudes;
}

double WorstNonHarmonicDb(const std::vector<double> &spectrum, int sampleRate, double lowest, double highest)
{
    return WorstNonHarmonicDb(spectrum, sampleRate, {{lowest, highest}});
}

double WorstNonHarmonicDb(const std::vector<double> &spectrum, int sampleRate,
                          const std::vector<std::pair<double, double>> &tones)
{
    const double binWidth = sampleRate / 2.0 / double(spectrum.size() - 1);
    std::vector<bool> harmonic(spectrum.size(), false);
    const auto mark = [&](double from, double to) {
        const auto a = qint64(std::floor(from / binWidth)) - KaiserSpread;
        const auto b = qint64(std::ceil(to / binWidth)) + KaiserSpread;
        for (qint64 i = std::max<qint64>(a, 0); i <= std::min<qint64>(b, qint64(spectrum.size()) - 1); ++i)
            harmonic[size_t(i)] = true;
    };
    mark(0, 0);
    double loudest = 0;
    for (const auto &[lowest, highest] : tones) {
        for (int k = 1; k * lowest < sampleRate / 2.0; ++k) {
            mark(k * lowest, k * highest);
            const auto centre = size_t(std::lround(k * (lowest + highest) / 2 / binWidth));
            for (size_t i = centre > size_t(KaiserSpread) ? centre - KaiserSpread : 0;
                 i <= std::min(centre + KaiserSpread, spectrum.size() - 1); ++i)
                loudest = std::max(loudest, spectrum[i]);
        }
    }
    double worst = 0;
    for (size_t i = 0; i < spectrum.size(); ++i)
        if (!harmonic[i])
            worst = std::max(worst, spectrum[i]);
    return 20 * std::log10(std::max(worst, 1e-12) / loudest);
}

double HarmonicDb(const std::vector<double> &spectrum, int sampleRate, double fundamental, int k)
{
    return LineDb(spectrum, sampleRate, k * fundamental, fundamental);
}

double LineDb(const std::vector<double> &spectrum, int sampleRate, double frequency, double reference)
{
    const double binWidth = sampleRate / 2.0 / double(spectrum.size() - 1);
    const auto power = [&](double frequency) {
        const auto centre = qint64(std::lround(frequency / binWidth));
        double sum = 0;
        for (qint64 i = centre - KaiserSpread; i <= centre + KaiserSpread; ++i)
            sum += spectrum[size_t(i)] * spectrum[size_t(i)];
        return sum;
    };
    return 10 * std::log10(power(frequency) / power(reference));
}

namespace {

// Welch: Hann-windowed power spectra of half-overlapping frames, averaged.
std::vector<double> AveragePower(const std::vector<double> &samples, size_t length)
{
    std::vector<double> power(length / 2 + 1, 0);
    for (size_t first = 0; first + length <= samples.size(); first += length / 2) {
        std::vector<std::complex<double>> frame(length);
        for (size_t i = 0; i < length; ++i)
            frame[i] = samples[first + i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(length)));
        Fft(frame);
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += std::norm(frame[k]);
    }
    return power;
}

} // namespace

double BandPowerShare(const std::vector<double> &samples, int sampleRate, double low, double high)
{
    const std::vector<double> power = AveragePower(samples, 16384);
    const double binWidth = sampleRate / 2.0 / double(power.size() - 1);
    double inside = 0;
    double all = 0;
    for (size_t k = 0; k < power.size(); ++k) {
        all += power[k];
        if (double(k) * binWidth >= low && double(k) * binWidth <= high)
            inside += power[k];
    }
    return inside / all;
}

std::vector<double> BandDensitiesDb(const std::vector<double> &samples, int sampleRate,
                                    const std::vector<double> &centres)
{
    size_t length = 65536;
    while (length > 1024 && length * 4 > samples.size())
        length /= 2;
    const std::vector<double> power = AveragePower(samples, length);
    const double binWidth = sampleRate / 2.0 / double(power.size() - 1);
    std::vector<double> densities;
    for (const double centre : centres) {
        double sum = 0;
        int bins = 0;
        for (size_t k = 0; k < power.size(); ++k) {
            const double frequency = double(k) * binWidth;
            if (frequency >= centre * std::pow(2, -1 / 12.0) && frequency <= centre * std::pow(2, 1 / 12.0)) {
                sum += power[k];
                ++bins;
            }
        }
        densities.push_back(10 * std::log10(sum / bins));
    }
    return densities;
}

double PeakDbfs(const std::vector<double> &samples)
{
    double peak = 0;
    for (double s : samples)
        peak = std::max(peak, std::abs(s));
    return 20 * std::log10(peak);
}

void VerifyTone(const QString &path, double seconds, double frequency)
{
    const WavInfo wav = ReadWav(path);
    QVERIFY2(wav.valid, qPrintable(wav.problem));
    QCOMPARE(wav.sampleRate, 48000);
    QCOMPARE(wav.channels, 1);
    QCOMPARE(qRound(wav.durationSeconds() * 100), qRound(seconds * 100));
    const double measured = DominantFrequency(wav.firstChannel, wav.sampleRate);
    QVERIFY2(qAbs(measured - frequency) <= qMax(2.0, frequency / 100), qPrintable(QString::number(measured)));
}

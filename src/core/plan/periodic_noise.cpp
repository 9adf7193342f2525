// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plan/periodic_noise.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <mutex>
#include <numbers>
#include <optional>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

// The same noise every time: a file made again, or by someone else, is the same file.
constexpr std::uint32_t PhaseSeed = 20261208;

// In place, for a length that is a power of two: x[n] = sum over k of X[k] e^(2 pi i k n / N).
// The program links no FFT library (it would load it at every start), and this runs once a design.
void InverseFft(std::vector<std::complex<double>> &x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t half = 1; half < n; half <<= 1) {
        const std::complex<double> step = std::polar(1.0, std::numbers::pi / double(half));
        for (size_t start = 0; start < n; start += 2 * half) {
            std::complex<double> turn = 1;
            for (size_t k = 0; k < half; ++k) {
                const std::complex<double> odd = x[start + k + half] * turn;
                x[start + k + half] = x[start + k] - odd;
                x[start + k] += odd;
                // Every 64th factor afresh, so that the rounding of the products does not add up.
                turn =
                    (k + 1) % 64 == 0 ? std::polar(1.0, std::numbers::pi * double(k + 1) / double(half)) : turn * step;
            }
        }
    }
}

// The colour's power over bin k, from k - 1/2 to k + 1/2: 1/f for pink, 1/f^2 for brown.
double BinPower(NoiseColour colour, double k)
{
    switch (colour) {
    case NoiseColour::Pink:
        return std::log((k + 0.5) / (k - 0.5));
    case NoiseColour::Brown:
        return 1 / (k - 0.5) - 1 / (k + 0.5);
    default:
        return 1;
    }
}

PeriodicNoiseDesign Design(NoiseColour colour, const FftBins &bins, int sampleRate)
{
    PeriodicNoiseDesign design;
    const auto length = qint64(bins.length);
    const double binWidth = double(sampleRate) / double(length);
    design.firstBin = std::max<qint64>(1, qint64(std::ceil(bins.low / binWidth)));
    design.lastBin = std::min<qint64>(length / 2 - 1, qint64(std::floor(bins.high / binWidth)));
    std::vector<std::complex<double>> spectrum(static_cast<size_t>(length));
    std::mt19937 draw(PhaseSeed);
    for (qint64 k = design.firstBin; k <= design.lastBin; ++k) {
        const double phase = 2 * std::numbers::pi * double(draw()) / 4294967296.0;
        spectrum[size_t(k)] = std::polar(std::sqrt(BinPower(colour, double(k))), phase);
    }
    InverseFft(spectrum);
    design.period.resize(size_t(length));
    double peak = 0;
    for (size_t n = 0; n < design.period.size(); ++n) {
        design.period[n] = spectrum[n].real();
        peak = std::max(peak, std::abs(design.period[n]));
    }
    double sum = 0;
    for (double &sample : design.period) {
        sample = peak > 0 ? sample / peak : 0;
        sum += sample * sample;
    }
    design.meanSquare = sum / double(length);
    return design;
}

QString ColourName(NoiseColour colour)
{
    switch (colour) {
    case NoiseColour::Pink:
        return u"pink"_s;
    case NoiseColour::Brown:
        return u"brown"_s;
    default:
        return u"white"_s;
    }
}

} // namespace

double PeriodicNoiseDesign::crestFactorDb() const
{
    return meanSquare > 0 ? -10 * std::log10(meanSquare) : 0;
}

std::shared_ptr<const PeriodicNoiseDesign> DesignPeriodicNoise(NoiseColour colour, const FftBins &bins, int sampleRate)
{
    struct Asked
    {
        NoiseColour colour;
        double low, high;
        int length, rate;
        bool operator==(const Asked &) const = default;
    };
    static std::mutex guard;
    static std::optional<Asked> lastAsked;
    static std::shared_ptr<const PeriodicNoiseDesign> lastDesign;
    const Asked asked{colour, bins.low, bins.high, bins.length, sampleRate};
    const std::lock_guard lock(guard);
    if (lastAsked != asked) {
        lastDesign = std::make_shared<const PeriodicNoiseDesign>(Design(colour, bins, sampleRate));
        lastAsked = asked;
    }
    return lastDesign;
}

QByteArray PeriodWaveFile(const PeriodicNoiseDesign &design, int sampleRate)
{
    const auto dataBytes = quint32(design.period.size() * sizeof(qint32));
    QByteArray file;
    file.reserve(int(44 + dataBytes));
    const auto put32 = [&file](quint32 value) {
        std::array<char, 4> little{};
        qToLittleEndian(value, little.data());
        file.append(little.data(), 4);
    };
    const auto put16 = [&file](quint16 value) {
        std::array<char, 2> little{};
        qToLittleEndian(value, little.data());
        file.append(little.data(), 2);
    };
    file.append("RIFF");
    put32(36 + dataBytes);
    file.append("WAVEfmt ");
    put32(16);
    put16(1); // integer samples
    put16(1);
    put32(quint32(sampleRate));
    put32(quint32(sampleRate) * 4);
    put16(4);
    put16(32);
    file.append("data");
    put32(dataBytes);
    // The largest sample, 1, is the largest that 32 bits hold, 186 dB above their step.
    for (const double sample : design.period)
        put32(quint32(qint32(std::lround(sample * 2147483647.0))));
    return file;
}

QString DescribePeriodicNoise(NoiseColour colour, const FftBins &bins, int sampleRate)
{
    const std::shared_ptr<const PeriodicNoiseDesign> design = DesignPeriodicNoise(colour, bins, sampleRate);
    return u"periodic %1 noise, %2-sample period, crest factor %3 dB"_s.arg(ColourName(colour))
        .arg(bins.length)
        .arg(design->crestFactorDb(), 0, 'f', 1);
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/live/harmonic_table.h"

#include "core/failure.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <mutex>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// FFTW's planner is not thread-safe; its plans may run on any thread.
std::mutex planner;

// Points per period of the highest harmonic, and the fewest points a table has.
constexpr int PointsPerHarmonicPeriod = 16;
constexpr int SmallestTable = 4096;
// A tone below 1.5 Hz at 48 kHz would have more harmonics below half the rate; the ones left out
// lie 84 dB and more below its fundamental, and the table stays within 4 MB.
constexpr int MostHarmonics = 16384;

// The real signal of a half spectrum, by one inverse transform: sum over k of X_k e^(2 pi i k j / n).
std::vector<double> InverseTransform(std::vector<std::complex<double>> &halfSpectrum, int size)
{
    std::vector<double> signal(size_t(size), 0.0);
    auto *spectrum = reinterpret_cast<fftw_complex *>(halfSpectrum.data());
    fftw_plan plan = nullptr;
    {
        const std::lock_guard lock(planner);
        plan = fftw_plan_dft_c2r_1d(size, spectrum, signal.data(), FFTW_ESTIMATE);
    }
    if (!plan)
        throw Failure(u"There is not enough memory for the band-limited tone."_s);
    fftw_execute(plan);
    const std::lock_guard lock(planner);
    fftw_destroy_plan(plan);
    return signal;
}

} // namespace

int HarmonicsBelowHalf(double frequency, int sampleRate)
{
    if (frequency <= 0)
        return 0;
    return int(std::clamp(std::ceil(sampleRate / (2 * frequency)) - 1, 0.0, sampleRate / 2.0));
}

HarmonicTable::HarmonicTable(const PeriodicShape &shape, int harmonics)
    : m_harmonics(std::clamp(harmonics, 0, MostHarmonics)),
      m_size(int(std::bit_ceil(unsigned(std::max(SmallestTable, PointsPerHarmonicPeriod * m_harmonics)))))
{
    // The series is mean + the sum over k of 2 Re(c_k e^(2 pi i k phase)); its slope per point is
    // the sum of 2 Re(2 pi i k c_k / size e^(2 pi i k phase)). Both as half spectra, so that one
    // inverse transform tabulates each.
    const size_t bins = size_t(m_size) / 2 + 1;
    std::vector<std::complex<double>> values(bins);
    std::vector<std::complex<double>> slopes(bins);
    values[0] = shape.mean();
    for (int k = 1; k <= m_harmonics; ++k) {
        const std::complex<double> c = shape.harmonic(k);
        values[size_t(k)] = c;
        slopes[size_t(k)] = c * std::complex<double>(0, 2 * std::numbers::pi * k / m_size);
    }
    const std::vector<double> value = InverseTransform(values, m_size);
    const std::vector<double> slope = InverseTransform(slopes, m_size);
    m_data.resize(2 * size_t(m_size + 1));
    for (size_t j = 0; j <= size_t(m_size); ++j) {
        m_data[2 * j] = value[j % size_t(m_size)];
        m_data[2 * j + 1] = slope[j % size_t(m_size)];
    }
}

double HarmonicTable::at(double phase) const noexcept
{
    const double position = phase * m_size;
    const int point = std::min(int(position), m_size - 1);
    const double t = position - point;
    const double *p = m_data.data() + 2 * size_t(point);
    const double y0 = p[0], m0 = p[1], y1 = p[2], m1 = p[3];
    // Cubic Hermite through both points with both slopes.
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * y1 + (t3 - t2) * m1;
}

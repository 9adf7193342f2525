// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/deconvolution/deconvolution.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <mutex>

namespace {

// FFTW's planner is not safe to call from two threads at once; the transforms are.
std::mutex &PlannerLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

std::vector<float> InverseFilter(std::span<const float> sweep, double sweepRate, int sampleRate, double endFrequency)
{
    const std::size_t count = sweep.size();
    std::vector<float> inverse(count);
    float amplitude = 0;
    for (const float sample : sweep)
        amplitude = std::max(amplitude, std::abs(sample));
    if (count == 0 || amplitude <= 0)
        return inverse;
    const double samplesPerEfold = sampleRate * sweepRate;
    // By stationary phase, a sweep A sin(2π f0 L e^(t/L)) sampled at rate R has the magnitude
    // (A R / 2) sqrt(L / f) at f. The filter, 1 where the sweep is at its last frequency fL and going
    // as f below it, has (R / 2) sqrt(L / f) · f / fL, so the two make R² L A² / (4 fL) at every
    // frequency they share: dividing by that makes the band read 1.
    const double lastFrequency = endFrequency * std::exp(-1 / samplesPerEfold);
    const double passband = double(sampleRate) * sampleRate * sweepRate * amplitude * amplitude / (4 * lastFrequency);
    for (std::size_t m = 0; m < count; ++m) {
        const std::size_t n = count - 1 - m;
        // The sweep spends as long in each octave, so its energy falls 3 dB an octave: the filter's
        // amplitude goes as the frequency (reversed in time, it falls 6 dB an octave).
        const double envelope = std::exp(-double(m) / samplesPerEfold);
        inverse[m] = float(sweep[n] * envelope / passband);
    }
    return inverse;
}

struct BlockConvolver::Fft
{
    explicit Fft(qint64 size)
        : real(fftw_alloc_real(std::size_t(size))), spectrum(fftw_alloc_complex(std::size_t(size / 2 + 1)))
    {
        const std::lock_guard lock(PlannerLock());
        forward = fftw_plan_dft_r2c_1d(int(size), real, spectrum, FFTW_ESTIMATE);
        backward = fftw_plan_dft_c2r_1d(int(size), spectrum, real, FFTW_ESTIMATE);
    }
    ~Fft()
    {
        const std::lock_guard lock(PlannerLock());
        fftw_destroy_plan(forward);
        fftw_destroy_plan(backward);
        fftw_free(real);
        fftw_free(spectrum);
    }
    Fft(const Fft &) = delete;
    Fft &operator=(const Fft &) = delete;

    double *real;
    fftw_complex *spectrum;
    fftw_plan forward;
    fftw_plan backward;
    std::vector<std::complex<double>> filter; // the filter's spectrum, scaled for the round trip
};

qint64 BlockConvolver::transformSize(qint64 filterLength)
{
    // At least half as many new frames as the filter has in each transform: twice the filter would
    // take fewer transforms, but for most filters twice the memory.
    return qint64(std::bit_ceil(std::max<quint64>(quint64(filterLength + filterLength / 2), 4096)));
}

qint64 BlockConvolver::bytesNeeded(qint64 filterLength, int channels)
{
    // The transform's samples, its spectrum and the filter's (a double each per frame of the size),
    // per channel the sums to come (a double) and a block in and out (a float each), and the filter.
    const qint64 size = transformSize(filterLength);
    return (3 + qint64(channels) * 2) * size * qint64(sizeof(double)) + filterLength * qint64(sizeof(float));
}

BlockConvolver::BlockConvolver(std::span<const float> filter, int channels)
    : m_filterLength(qint64(filter.size())), m_size(transformSize(m_filterLength)),
      m_block(m_size - m_filterLength + 1), m_channels(channels), m_fft(std::make_unique<Fft>(m_size)),
      m_pending(std::size_t(channels), std::vector<double>(std::size_t(m_size)))
{
    std::fill_n(m_fft->real, m_size, 0.0);
    std::copy(filter.begin(), filter.end(), m_fft->real);
    fftw_execute(m_fft->forward);
    const std::size_t bins = std::size_t(m_size / 2 + 1);
    m_fft->filter.resize(bins);
    for (std::size_t k = 0; k < bins; ++k)
        m_fft->filter[k] = std::complex(m_fft->spectrum[k][0], m_fft->spectrum[k][1]) / double(m_size);
}

BlockConvolver::~BlockConvolver() = default;

void BlockConvolver::push(const float *interleaved, qint64 frames, std::vector<float> &output)
{
    frames = std::min(frames, m_block);
    const std::size_t start = output.size();
    output.resize(start + std::size_t(frames * m_channels));
    const std::size_t bins = std::size_t(m_size / 2 + 1);
    for (int channel = 0; channel < m_channels; ++channel) {
        std::fill_n(m_fft->real, m_size, 0.0);
        for (qint64 i = 0; i < frames; ++i)
            m_fft->real[i] = interleaved[i * m_channels + channel];
        fftw_execute(m_fft->forward);
        for (std::size_t k = 0; k < bins; ++k) {
            const std::complex<double> product =
                std::complex(m_fft->spectrum[k][0], m_fft->spectrum[k][1]) * m_fft->filter[k];
            m_fft->spectrum[k][0] = product.real();
            m_fft->spectrum[k][1] = product.imag();
        }
        fftw_execute(m_fft->backward);
        std::vector<double> &pending = m_pending[std::size_t(channel)];
        // Only the first frames + filter length - 1 of the round trip are the block's.
        const qint64 made = frames + m_filterLength - 1;
        for (qint64 i = 0; i < made; ++i)
            pending[std::size_t(i)] += m_fft->real[i];
        for (qint64 i = 0; i < frames; ++i)
            output[start + std::size_t(i * m_channels + channel)] = float(pending[std::size_t(i)]);
        std::copy(pending.begin() + frames, pending.end(), pending.begin());
        std::fill(pending.end() - frames, pending.end(), 0.0);
    }
}

void BlockConvolver::finish(std::vector<float> &output)
{
    const qint64 frames = m_filterLength - 1;
    const std::size_t start = output.size();
    output.resize(start + std::size_t(frames * m_channels));
    for (int channel = 0; channel < m_channels; ++channel) {
        std::vector<double> &pending = m_pending[std::size_t(channel)];
        for (qint64 i = 0; i < frames; ++i)
            output[start + std::size_t(i * m_channels + channel)] = float(pending[std::size_t(i)]);
        std::fill(pending.begin(), pending.end(), 0.0);
    }
}

qint64 ResponseStart(qint64 peakFrame, double leadSeconds, int sampleRate)
{
    if (leadSeconds < 0)
        return 0;
    return std::max<qint64>(0, peakFrame - std::llround(leadSeconds * sampleRate));
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/analysis/response_analyser.h"

#include "core/failure.h"

#include <cmath>
#include <fftw3.h>
#include <mutex>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// FFTW's planner is not thread-safe; its plans may run on any thread.
std::mutex planner;

// The share of each side of a window that a half-Hann takes at its outer end: the responses have
// died away there, and a cut would spread what little is left over every bin.
constexpr double TaperShare = 0.1;

} // namespace

qint64 LinearResponseLead(const SweepShape &shape, int sampleRate)
{
    return std::llround(shape.sweepRate * std::numbers::ln2 / 2 * sampleRate);
}

// NOLINTNEXTLINE(readability-function-size): one procedure, step by step.
ResponseAnalysis::Channel AnalyseResponseChannel(std::span<const float> region, qint64 regionStart, qint64 peakFrame,
                                                 const SweepShape &shape, int sampleRate, qint64 fftSize)
{
    const auto size = std::size_t(fftSize);
    double *input = fftw_alloc_real(size);
    fftw_complex *output = fftw_alloc_complex(size / 2 + 1);
    if (!input || !output) {
        fftw_free(input);
        fftw_free(output);
        throw Failure(u"There is not enough memory for the response's spectra."_s);
    }
    fftw_plan plan = nullptr;
    {
        const std::lock_guard lock(planner);
        plan = fftw_plan_dft_r2c_1d(int(size), input, output, FFTW_ESTIMATE);
    }

    ResponseAnalysis::Channel channel;
    channel.peakFrame = peakFrame;
    const double peak = std::abs(region[std::size_t(peakFrame - regionStart)]);
    channel.peakDbfs = peak > 0 ? 20 * std::log10(peak) : -qInf();
    const double framesPerEfold = shape.sweepRate * sampleRate;
    const qint64 regionEnd = regionStart + qint64(region.size());
    for (int order = 1; order <= ResponseAnalysis::Orders; ++order) {
        // Where the order's response lies, and half the way to its neighbours' on either side (the
        // linear one's after it is its own tail).
        const double centre = double(peakFrame) - framesPerEfold * std::log(double(order));
        const double before = framesPerEfold * std::log((order + 1.0) / order) / 2;
        const double after = order == 1 ? double(fftSize) : framesPerEfold * std::log(order / (order - 1.0)) / 2;
        const qint64 first = std::max(regionStart, qint64(std::ceil(centre - before)));
        const qint64 last = std::min({regionEnd, qint64(std::floor(centre + after)), first + fftSize});
        std::fill_n(input, size, 0.0);
        const double taperBefore = std::max(1.0, TaperShare * (centre - double(first)));
        const double taperAfter = std::max(1.0, TaperShare * (double(last) - centre));
        for (qint64 frame = first; frame < last; ++frame) {
            const double fromStart = double(frame - first);
            const double toEnd = double(last - 1 - frame);
            double weight = 1;
            if (fromStart < taperBefore)
                weight = 0.5 - 0.5 * std::cos(std::numbers::pi * fromStart / taperBefore);
            else if (toEnd < taperAfter)
                weight = 0.5 - 0.5 * std::cos(std::numbers::pi * toEnd / taperAfter);
            input[frame - first] = region[std::size_t(frame - regionStart)] * weight;
        }
        fftw_execute(plan);
        // Time zero where the order's response lies, so that the linear one's phase is its own.
        const double shift = 2 * std::numbers::pi * (centre - double(first)) / double(fftSize);
        std::vector<double> &power = channel.power[std::size_t(order - 1)];
        power.assign(size / 2 + 2, 0.0);
        if (order == 1)
            channel.linear.assign(size / 2 + 2, {});
        for (std::size_t bin = 0; bin <= size / 2; ++bin) {
            const std::complex<double> value(output[bin][0], output[bin][1]);
            power[bin + 1] = power[bin] + std::norm(value);
            if (order == 1)
                channel.linear[bin + 1] = channel.linear[bin] + value * std::polar(1.0, shift * double(bin));
        }
    }
    {
        const std::lock_guard lock(planner);
        fftw_destroy_plan(plan);
    }
    fftw_free(input);
    fftw_free(output);
    return channel;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/analysis/tone_analyser.h"

#include "core/analysis/response_analyser.h"
#include "core/failure.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fftw3.h>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

// FFTW's planner is not thread-safe; its plans may run on any thread.
std::mutex planner;

// The lowest frequency of the spectrum curve, and its points per octave.
constexpr double CurveLowestHertz = 10;
constexpr double CurvePointsPerOctave = 48;
// The curve's band: a twelfth of an octave, but never narrower than a line of the Welch spectrum.
constexpr double CurveBandOctaves = 1.0 / 12;
constexpr double CurveMinimumBandBins = 16;
// The Welch frames last about this long (as a power of two in samples): a line is then a few
// tenths of a hertz wide, and the curve is a twelfth of an octave from about 50 Hz up.
constexpr double WelchFrameSeconds = 4;
// The Kaiser window of beta 20: side lobes below -160 dB, under what a float sample resolves, so
// that the window hides nothing a file holds; its line falls to nothing 6.5 bins out.
constexpr double KaiserBeta = 20;
constexpr int WindowLineHalfWidth = 8;
// Blocks of the stream through the whole file.
constexpr qint64 StreamBlockFrames = 1 << 16;
// The band of THD+N: 20 Hz to 20 kHz, or to half the rate.
constexpr double DistortionLowestHertz = 20;
constexpr double DistortionTopHertz = 20000;

class RealFft
{
public:
    explicit RealFft(std::size_t size)
        : m_size(size), m_input(fftw_alloc_real(size)), m_output(fftw_alloc_complex(size / 2 + 1))
    {
        if (!m_input || !m_output)
            throw Failure(u"There is not enough memory for the spectrum."_s);
        const std::lock_guard lock(planner);
        m_plan = fftw_plan_dft_r2c_1d(int(size), m_input, m_output, FFTW_ESTIMATE);
    }
    ~RealFft()
    {
        {
            const std::lock_guard lock(planner);
            fftw_destroy_plan(m_plan);
        }
        fftw_free(m_input);
        fftw_free(m_output);
    }
    RealFft(const RealFft &) = delete;
    RealFft &operator=(const RealFft &) = delete;

    // Windows the samples into the input, zero beyond them.
    void load(const float *samples, const std::vector<double> &window)
    {
        for (std::size_t i = 0; i < window.size(); ++i)
            m_input[i] = samples[i] * window[i];
        std::fill(m_input + window.size(), m_input + m_size, 0.0);
    }

    // Adds each bin's squared magnitude, from DC to half the rate.
    void addPower(std::vector<double> &power)
    {
        fftw_execute(m_plan);
        for (std::size_t bin = 0; bin < power.size(); ++bin)
            power[bin] += m_output[bin][0] * m_output[bin][0] + m_output[bin][1] * m_output[bin][1];
    }

private:
    std::size_t m_size;
    double *m_input;
    fftw_complex *m_output;
    fftw_plan m_plan = nullptr;
};

// The modified Bessel function I0 by its power series, which settles in a few dozen terms for
// the window's arguments (std::cyl_bessel_i takes far longer for each of a window's samples).
double BesselI0(double x)
{
    const double quarterSquare = x * x / 4;
    double sum = 1;
    double term = 1;
    for (int k = 1; term > sum * 1e-17; ++k) {
        term *= quarterSquare / (double(k) * k);
        sum += term;
    }
    return sum;
}

std::vector<double> Kaiser(std::size_t size)
{
    std::vector<double> window(size);
    const double last = double(std::max<std::size_t>(size - 1, 1));
    const double scale = BesselI0(KaiserBeta);
    // Symmetric: each value serves both halves.
    for (std::size_t i = 0; i < (size + 1) / 2; ++i) {
        const double x = 2 * double(i) / last - 1;
        window[i] = window[size - 1 - i] = BesselI0(KaiserBeta * std::sqrt(std::max(0.0, 1 - x * x))) / scale;
    }
    return window;
}

double Sum(const std::vector<double> &values, bool squared)
{
    double sum = 0;
    for (const double value : values)
        sum += squared ? value * value : value;
    return sum;
}

struct LevelSums
{
    double peak = 0;
    double sum = 0;
    double squares = 0;
    qint64 count = 0;

    void add(float sample)
    {
        peak = std::max(peak, double(std::abs(sample)));
        sum += sample;
        squares += double(sample) * sample;
        ++count;
    }

    void setFigures(ChannelFigures &figures) const
    {
        if (count == 0)
            return;
        const double rms = std::sqrt(squares / double(count));
        figures.peakDbfs = 20 * std::log10(std::max(peak, 1e-15));
        // AES17: the RMS level of a full-scale sine is 0 dB, 3.01 dB above its plain RMS.
        figures.rmsDbfs = 20 * std::log10(std::max(rms, 1e-15)) + 10 * std::log10(2.0);
        figures.crestDb = rms > 0 ? 20 * std::log10(peak / rms) : 0;
        figures.dc = sum / double(count);
    }
};

} // namespace

ToneAnalyser::ToneAnalyser(SampleSource &source, AnalysisHooks hooks) : m_source(source), m_hooks(std::move(hooks)) {}

void ToneAnalyser::checkStop() const
{
    if (m_hooks.stopRequested && m_hooks.stopRequested())
        throw Failure(u"The analysis was stopped."_s);
}

ToneAnalysis ToneAnalyser::analyse()
{
    m_result = {};
    m_result.sampleRate = m_source.sampleRate();
    m_result.channels = m_source.channels();
    m_result.frames = m_source.frames();
    if (m_result.sampleRate <= 0 || m_result.channels <= 0)
        throw Failure(u"The file has no sample rate or no channels."_s);
    m_result.figures.resize(std::size_t(m_result.channels));
    if (m_result.frames <= 0) {
        m_result.wholeFileRead = true;
        return m_result;
    }

    readOpening();
    // A short file is read whole; a long one in parts spread evenly from its start to its end.
    std::vector<Span> parts;
    if (m_result.frames <= SpectrumFrameLimit) {
        parts.push_back({0, m_result.frames});
    } else {
        const qint64 partFrames = SpectrumFrameLimit / SpectrumPartsOfLongFiles;
        for (int i = 0; i < SpectrumPartsOfLongFiles; ++i)
            parts.push_back({(m_result.frames - partFrames) * i / (SpectrumPartsOfLongFiles - 1), partFrames});
    }
    m_result.spectrumParts = int(parts.size());
    m_result.spectrumSeconds = double(parts.size()) * double(parts[0].frames) / m_result.sampleRate;
    {
        const std::vector<std::vector<float>> samples = readParts(parts);
        measureLevels(samples);
        measureLines(samples, parts[0].frames);
        measureCurve(samples, parts[0].frames);
        if (parts.size() == 1) {
            overviewOf(samples);
            m_result.wholeFileRead = true;
        }
    }
    // A sweep is in every part of the file at another frequency: parts would miss some. Its spectrum
    // is the whole file's, when that fits.
    if (m_hooks.wholeSpectrum && parts.size() > 1 && m_result.frames <= WholeSpectrumFrameLimit) {
        measureCurve(readParts({{0, m_result.frames}}), m_result.frames, true);
        m_result.spectrumParts = 1;
        m_result.spectrumSeconds = m_result.seconds();
    }
    chooseOpeningShown();
    if (!m_result.wholeFileRead) {
        if (m_hooks.firstLook)
            m_hooks.firstLook(m_result);
        streamWholeFile();
    }
    if (m_hooks.response)
        analyseResponse(*m_hooks.response);
    return std::move(m_result);
}

void ToneAnalyser::analyseResponse(const SweepShape &shape)
{
    // The linear response is the tallest peak of each channel.
    const auto channels = std::size_t(std::min(m_result.channels, MostResponseChannels));
    const auto stride = std::size_t(m_result.channels);
    std::vector<float> block(std::size_t(StreamBlockFrames) * stride);
    std::vector<std::pair<float, qint64>> peaks(channels, {-1.0f, 0});
    for (qint64 offset = 0; offset < m_result.frames;) {
        checkStop();
        const qint64 read = m_source.read(offset, std::min(StreamBlockFrames, m_result.frames - offset), block.data());
        if (read <= 0)
            throw Failure(u"The file ends before its header says it does."_s);
        for (std::size_t i = 0; i < std::size_t(read); ++i) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                const float magnitude = std::abs(block[i * stride + channel]);
                if (magnitude > peaks[channel].first)
                    peaks[channel] = {magnitude, offset + qint64(i)};
            }
        }
        offset += read;
    }
    // One region from the 6th harmonic's place before the earliest peak to the linear window's end
    // after the latest, and one transform size for every channel.
    const auto [earliest, latest] = std::minmax_element(
        peaks.begin(), peaks.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
    const qint64 lead = LinearResponseLead(shape, m_result.sampleRate);
    const qint64 tail = std::min(LongestResponseTail, m_result.frames - latest->second);
    const qint64 start = std::max<qint64>(
        0, earliest->second - qint64(std::ceil(shape.sweepRate * std::log(6.0) * m_result.sampleRate)));
    const qint64 end = latest->second + tail;
    std::vector<float> interleaved(std::size_t(end - start) * stride);
    if (m_source.read(start, end - start, interleaved.data()) != end - start)
        throw Failure(u"The file ends before its header says it does."_s);
    ResponseAnalysis response;
    response.sweepRate = shape.sweepRate;
    response.from = shape.from;
    response.to = shape.to;
    const qint64 size = qint64(std::bit_ceil(std::size_t(lead + tail)));
    response.binHertz = double(m_result.sampleRate) / double(size);
    std::vector<float> samples(std::size_t(end - start));
    for (std::size_t channel = 0; channel < channels; ++channel) {
        checkStop();
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = interleaved[i * stride + channel];
        response.channels.push_back(
            AnalyseResponseChannel(samples, start, peaks[channel].second, shape, m_result.sampleRate, size));
    }
    m_result.response = std::move(response);
}

void ToneAnalyser::readOpening()
{
    const auto channels = std::size_t(m_result.channels);
    const qint64 frames = std::min(m_result.frames, qint64(std::ceil(OpeningSeconds * m_result.sampleRate)));
    std::vector<float> interleaved(std::size_t(frames) * channels);
    const qint64 read = m_source.read(0, frames, interleaved.data());
    m_result.opening.assign(channels, std::vector<float>(std::size_t(std::max<qint64>(read, 0))));
    for (std::size_t i = 0; i < std::size_t(std::max<qint64>(read, 0)); ++i) {
        for (std::size_t channel = 0; channel < channels; ++channel)
            m_result.opening[channel][i] = interleaved[i * channels + channel];
    }
}

std::vector<std::vector<float>> ToneAnalyser::readParts(const std::vector<Span> &parts)
{
    const auto channels = std::size_t(m_result.channels);
    const auto partFrames = std::size_t(parts[0].frames);
    std::vector<std::vector<float>> samples(channels, std::vector<float>(partFrames * parts.size()));
    std::vector<float> interleaved(partFrames * channels);
    for (std::size_t part = 0; part < parts.size(); ++part) {
        checkStop();
        if (m_source.read(parts[part].offset, parts[part].frames, interleaved.data()) != parts[part].frames)
            throw Failure(u"The file ends before its header says it does."_s);
        for (std::size_t i = 0; i < partFrames; ++i) {
            for (std::size_t channel = 0; channel < channels; ++channel)
                samples[channel][part * partFrames + i] = interleaved[i * channels + channel];
        }
    }
    return samples;
}

void ToneAnalyser::measureLevels(const std::vector<std::vector<float>> &samples)
{
    for (std::size_t channel = 0; channel < samples.size(); ++channel) {
        LevelSums sums;
        for (const float sample : samples[channel])
            sums.add(sample);
        sums.setFigures(m_result.figures[channel]);
    }
}

void ToneAnalyser::measureLines(const std::vector<std::vector<float>> &samples, qint64 partFrames)
{
    // Each part as one frame, zero-padded to twice its length (or to the limit), so that the
    // interpolation between bins has a smooth line to work on.
    const auto frames = std::size_t(partFrames);
    const std::size_t padded = std::min(std::bit_ceil(2 * frames), std::size_t(SpectrumFrameLimit));
    const std::vector<double> window = Kaiser(frames);
    // A sine of peak A gives |X| = A * sum(w) / 2 at its line: the power A^2 is 4 |X|^2 / sum(w)^2.
    const double windowSum = Sum(window, false);
    const std::size_t partCount = samples[0].size() / frames;
    const double scale = 4 / (windowSum * windowSum * double(partCount));
    RealFft fft(padded);

    m_result.fineBinHertz = double(m_result.sampleRate) / double(padded);
    m_result.lineHalfWidthBins = int(std::ceil(WindowLineHalfWidth * double(padded) / double(frames)));
    m_result.frequencyDecimals =
        std::clamp(int(std::floor(std::log10(100 * double(frames) / m_result.sampleRate) + 1e-9)), 0, 2);
    m_result.finePower.clear();
    std::vector<double> power(padded / 2 + 1);
    for (std::size_t channel = 0; channel < samples.size(); ++channel) {
        std::fill(power.begin(), power.end(), 0.0);
        for (std::size_t part = 0; part < partCount; ++part) {
            checkStop();
            fft.load(samples[channel].data() + part * frames, window);
            fft.addPower(power);
        }
        std::vector<float> &fine = m_result.finePower.emplace_back(power.size());
        std::transform(power.begin(), power.end(), fine.begin(), [&](double p) { return float(p * scale); });

        ChannelFigures &figures = m_result.figures[channel];
        figures.line = m_result.strongestComponent(int(channel));
        const double lineHertz[] = {figures.line.hertz};
        figures.other = m_result.strongestComponent(int(channel), lineHertz);
        figures.other.decibels -= figures.line.decibels;
        measureDistortion(int(channel));
    }
}

void ToneAnalyser::measureDistortion(int channel)
{
    ChannelFigures &figures = m_result.figures[std::size_t(channel)];
    const double top = std::min(DistortionTopHertz, m_result.sampleRate / 2.0);
    const double fundamental = figures.line.hertz;
    const double width = m_result.lineHalfWidthBins * m_result.fineBinHertz;
    if (fundamental <= 0 || fundamental + width > top)
        return;
    // The line's own bins, summed, as each harmonic's and the noise's are.
    const double line = m_result.linePower(channel, fundamental);
    double harmonics = 0;
    for (int order = 2; order * fundamental + width <= top; ++order)
        harmonics += m_result.linePower(channel, order * fundamental);
    // Everything else in the band, bin by bin: a difference of sums would lose it to rounding.
    const std::vector<float> &power = m_result.finePower[std::size_t(channel)];
    double rest = 0;
    const auto first = std::size_t(std::ceil(std::max(DistortionLowestHertz, width) / m_result.fineBinHertz));
    const auto lineBin = qint64(std::llround(fundamental / m_result.fineBinHertz));
    for (std::size_t bin = first; bin < power.size() && double(bin) * m_result.fineBinHertz <= top; ++bin) {
        if (std::abs(qint64(bin) - lineBin) > m_result.lineHalfWidthBins)
            rest += power[bin];
    }
    if (line <= 0)
        return;
    figures.thdDb = PowerDecibels(harmonics / line);
    figures.thdNoiseDb = PowerDecibels(rest / line);
}

// NOLINTNEXTLINE(readability-function-size): one procedure, step by step.
void ToneAnalyser::measureCurve(const std::vector<std::vector<float>> &samples, qint64 partFrames, bool whole)
{
    // Welch's method: windowed frames overlapping by half, their powers averaged, so that noise
    // settles into its slope. A sweep is one frame of the whole file, unwindowed: a window's frames
    // would see most of it faded, and it has no noise to settle.
    const double rate = m_result.sampleRate;
    const std::size_t frame =
        whole ? std::bit_ceil(std::size_t(partFrames))
              : std::min(std::bit_ceil(std::size_t(WelchFrameSeconds * rate)), std::bit_floor(std::size_t(partFrames)));
    if (frame < 64)
        return;
    const std::size_t hop = frame / 2;
    const std::size_t framesPerPart = whole ? 1 : 1 + (std::size_t(partFrames) - frame) / hop;
    const std::size_t partCount = samples[0].size() / std::size_t(partFrames);
    const std::vector<double> window = whole ? std::vector<double>(std::size_t(partFrames), 1.0) : Kaiser(frame);
    // Per bin, the share of a full-scale sine's power: a sine's bins add up to its peak squared.
    const double scale = 4 / (double(frame) * Sum(window, true) * double(framesPerPart * partCount));
    const double binHertz = rate / double(frame);
    RealFft fft(frame);

    m_result.curveHertz.clear();
    m_result.curveDecibels.clear();
    // Each point from its own index, so that rounding does not build up along the curve.
    for (int point = 0;; ++point) {
        const double hertz = CurveLowestHertz * std::exp2(point / CurvePointsPerOctave);
        if (hertz > rate / 2)
            break;
        m_result.curveHertz.push_back(hertz);
    }
    std::vector<double> power(frame / 2 + 1);
    std::vector<double> cumulative(power.size() + 1);
    for (const std::vector<float> &channel : samples) {
        std::fill(power.begin(), power.end(), 0.0);
        for (std::size_t part = 0; part < partCount; ++part) {
            checkStop();
            for (std::size_t start = 0; start + window.size() <= std::size_t(partFrames); start += hop) {
                fft.load(channel.data() + part * std::size_t(partFrames) + start, window);
                fft.addPower(power);
            }
        }
        // Bin k holds the power from (k - 1/2) to (k + 1/2) bins; a band takes the share it covers.
        for (std::size_t bin = 0; bin < power.size(); ++bin)
            cumulative[bin + 1] = cumulative[bin] + power[bin] * scale;
        const auto below = [&](double hertz) {
            const double position = std::clamp(hertz / binHertz + 0.5, 0.0, double(power.size()));
            const auto bin = std::min(std::size_t(position), power.size() - 1);
            return cumulative[bin] + (position - double(bin)) * (cumulative[bin + 1] - cumulative[bin]);
        };
        ChannelFigures &figures = m_result.figures[std::size_t(&channel - samples.data())];
        figures.octaveBandsDb.clear();
        for (int octave = -5; octave < int(OctaveBandCentres.size()) - 5; ++octave) {
            const double centre = 1000 * std::pow(10.0, 0.3 * octave);
            if (centre * std::pow(10.0, 0.15) > rate / 2)
                break;
            figures.octaveBandsDb.push_back(
                PowerDecibels(below(centre * std::pow(10.0, 0.15)) - below(centre / std::pow(10.0, 0.15))));
        }
        std::vector<float> &curve = m_result.curveDecibels.emplace_back();
        curve.reserve(m_result.curveHertz.size());
        const double halfBand = std::exp2(CurveBandOctaves / 2);
        for (const double hertz : m_result.curveHertz) {
            double low = hertz / halfBand;
            double high = hertz * halfBand;
            if (high - low < CurveMinimumBandBins * binHertz) {
                low = hertz - CurveMinimumBandBins / 2 * binHertz;
                high = hertz + CurveMinimumBandBins / 2 * binHertz;
            }
            curve.push_back(float(PowerDecibels(below(high) - below(low))));
        }
    }
}

void ToneAnalyser::chooseOpeningShown()
{
    // Four periods of the lowest frequency that stands within 20 dB of the strongest line.
    double lowest = 0;
    for (std::size_t channel = 0; channel < m_result.finePower.size(); ++channel) {
        const std::vector<float> &power = m_result.finePower[channel];
        const double threshold = std::pow(10.0, (m_result.figures[channel].line.decibels - 20) / 10);
        for (std::size_t bin = std::size_t(m_result.lineHalfWidthBins) + 1; bin < power.size(); ++bin) {
            if (power[bin] >= threshold && power[bin] > 1e-20) {
                const double hertz = double(bin) * m_result.fineBinHertz;
                lowest = lowest > 0 ? std::min(lowest, hertz) : hertz;
                break;
            }
        }
    }
    const double seconds = lowest > 0 ? std::clamp(4 / lowest, 0.001, OpeningSeconds) : 0.01;
    const qint64 available = m_result.opening.empty() ? 0 : qint64(m_result.opening[0].size());
    m_result.openingShown = std::min(available, qint64(std::ceil(seconds * m_result.sampleRate)));
}

void ToneAnalyser::overviewOf(const std::vector<std::vector<float>> &samples)
{
    const qint64 columns = std::min<qint64>(OverviewColumns, m_result.frames);
    m_result.overviewLow.assign(samples.size(), std::vector<float>(std::size_t(columns)));
    m_result.overviewHigh.assign(samples.size(), std::vector<float>(std::size_t(columns)));
    for (std::size_t channel = 0; channel < samples.size(); ++channel) {
        for (qint64 column = 0; column < columns; ++column) {
            const auto first = samples[channel].begin() + column * m_result.frames / columns;
            const auto last = samples[channel].begin() + (column + 1) * m_result.frames / columns;
            const auto [low, high] = std::minmax_element(first, last);
            m_result.overviewLow[channel][std::size_t(column)] = *low;
            m_result.overviewHigh[channel][std::size_t(column)] = *high;
        }
    }
}

void ToneAnalyser::streamWholeFile()
{
    const auto channels = std::size_t(m_result.channels);
    const qint64 frames = m_result.frames;
    const qint64 columns = OverviewColumns;
    std::vector<float> low(std::size_t(columns) * channels, std::numeric_limits<float>::max());
    std::vector<float> high(std::size_t(columns) * channels, std::numeric_limits<float>::lowest());
    std::vector<LevelSums> sums(channels);
    std::vector<float> block(std::size_t(StreamBlockFrames) * channels);
    qint64 column = 0;
    qint64 columnEnd = frames / columns;
    for (qint64 offset = 0; offset < frames;) {
        checkStop();
        const qint64 read = m_source.read(offset, std::min(StreamBlockFrames, frames - offset), block.data());
        if (read <= 0)
            throw Failure(u"The file ends before its header says it does."_s);
        // Column by column within the block, so that the inner loop is a plain run of samples.
        for (qint64 start = 0; start < read;) {
            while (offset + start >= columnEnd) {
                ++column;
                columnEnd = (column + 1) * frames / columns;
            }
            const qint64 end = std::min(read, columnEnd - offset);
            for (std::size_t channel = 0; channel < channels; ++channel) {
                float &columnLow = low[std::size_t(column) * channels + channel];
                float &columnHigh = high[std::size_t(column) * channels + channel];
                LevelSums &channelSums = sums[channel];
                for (qint64 i = start; i < end; ++i) {
                    const float sample = block[std::size_t(i) * channels + channel];
                    columnLow = std::min(columnLow, sample);
                    columnHigh = std::max(columnHigh, sample);
                    channelSums.add(sample);
                }
            }
            start = end;
        }
        offset += read;
    }
    m_result.overviewLow.assign(channels, std::vector<float>(std::size_t(columns)));
    m_result.overviewHigh.assign(channels, std::vector<float>(std::size_t(columns)));
    for (std::size_t channel = 0; channel < channels; ++channel) {
        for (std::size_t c = 0; c < std::size_t(columns); ++c) {
            m_result.overviewLow[channel][c] = low[c * channels + channel];
            m_result.overviewHigh[channel][c] = high[c * channels + channel];
        }
        sums[channel].setFigures(m_result.figures[channel]);
    }
    m_result.wholeFileRead = true;
}

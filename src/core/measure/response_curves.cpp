// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/measure/response_curves.h"

#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double PointsPerOctave = 48;
// IEC 61260-1's octave ratio, base ten.
const double OctaveRatio = std::pow(10.0, 0.3);

// A running sum at a fractional bin: bin k holds what lies from k - 1/2 to k + 1/2.
template<class Value> Value SumBelow(const std::vector<Value> &sums, double bin)
{
    const double position = std::clamp(bin + 0.5, 0.0, double(sums.size() - 1));
    const auto whole = std::min(std::size_t(position), sums.size() - 2);
    return sums[whole] + (position - double(whole)) * (sums[whole + 1] - sums[whole]);
}

// The mean of the bins in the band around the frequency, at least one bin wide. Near the edges of
// the band swept the band narrows, evenly on both sides, so as not to take in what was not measured
// nor to lean towards one side of a slope.
template<class Value>
Value BandMean(const std::vector<Value> &sums, const ResponseAnalysis &response, double hertz, int bandsPerOctave)
{
    double half = std::pow(OctaveRatio, 1.0 / (2 * bandsPerOctave));
    if (response.to > 0 && hertz >= response.from && hertz <= response.to)
        half = std::min({half, hertz / response.from, response.to / hertz});
    const double binHertz = response.binHertz;
    double low = hertz / half / binHertz;
    double high = hertz * half / binHertz;
    if (high - low < 1) {
        low = hertz / binHertz - 0.5;
        high = hertz / binHertz + 0.5;
    }
    return (SumBelow(sums, high) - SumBelow(sums, low)) / (high - low);
}

bool Swept(const ResponseAnalysis &response, double hertz)
{
    return response.to <= 0 || (hertz >= response.from * (1 - 1e-9) && hertz <= response.to * (1 + 1e-9));
}

} // namespace

std::vector<double> ResponseFrequencies(const ResponseAnalysis &response, int sampleRate)
{
    const double from = response.to > 0 ? response.from : 10;
    const double to = response.to > 0 ? response.to : sampleRate / 2.0;
    std::vector<double> hertz;
    // Each from its own index, so that no rounding builds up; the band's top is the last.
    for (int point = 0; from * std::exp2(point / PointsPerOctave) < to * (1 - 1e-9); ++point)
        hertz.push_back(from * std::exp2(point / PointsPerOctave));
    hertz.push_back(to);
    return hertz;
}

std::vector<ResponsePoint> FrequencyResponse(const ResponseAnalysis &response, int channel,
                                             const std::vector<double> &hertz, int bandsPerOctave)
{
    const ResponseAnalysis::Channel &data = response.channels[std::size_t(channel)];
    std::vector<ResponsePoint> points;
    points.reserve(hertz.size());
    for (const double frequency : hertz) {
        const double power = BandMean(data.power[0], response, frequency, bandsPerOctave);
        const std::complex<double> mean = BandMean(data.linear, response, frequency, bandsPerOctave);
        points.push_back({frequency, 10 * std::log10(std::max(power, 1e-30)), std::arg(mean) * 180 / std::numbers::pi});
    }
    return points;
}

double HarmonicDistortion(const ResponseAnalysis &response, int channel, int order, double hertz, int bandsPerOctave)
{
    if (order < 2 || order > ResponseAnalysis::Orders || !Swept(response, hertz) || !Swept(response, order * hertz))
        return qQNaN();
    const ResponseAnalysis::Channel &data = response.channels[std::size_t(channel)];
    const double linear = BandMean(data.power[0], response, hertz, bandsPerOctave);
    const double harmonic = BandMean(data.power[std::size_t(order - 1)], response, order * hertz, bandsPerOctave);
    return linear > 0 ? std::sqrt(harmonic / linear) : qQNaN();
}

double TotalHarmonicDistortion(const ResponseAnalysis &response, int channel, double hertz, int bandsPerOctave)
{
    double sum = 0;
    bool any = false;
    for (int order = 2; order <= ResponseAnalysis::Orders; ++order) {
        const double ratio = HarmonicDistortion(response, channel, order, hertz, bandsPerOctave);
        if (!std::isnan(ratio)) {
            sum += ratio * ratio;
            any = true;
        }
    }
    return any ? std::sqrt(sum) : qQNaN();
}

QString ResponseText(const ResponseAnalysis &response, int channel, int sampleRate, int bandsPerOctave,
                     const QString &source)
{
    QStringList lines{u"* Frequency response of %1, channel %2, 1/%3-octave smoothing, by Quorvane"_s.arg(source)
                          .arg(channel + 1)
                          .arg(bandsPerOctave),
                      u"* Freq(Hz) SPL(dB) Phase(degrees)"_s};
    for (const ResponsePoint &point :
         FrequencyResponse(response, channel, ResponseFrequencies(response, sampleRate), bandsPerOctave))
        lines << u"%1 %2 %3"_s.arg(point.hertz, 0, 'f', 4).arg(point.decibels, 0, 'f', 4).arg(point.degrees, 0, 'f', 3);
    return lines.join(u'\n') + u'\n';
}

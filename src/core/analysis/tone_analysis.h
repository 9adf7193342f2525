// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <optional>
#include <span>
#include <vector>

// What a written tone turns out to be, measured: its levels, its strongest lines and the curves
// that the tone window draws. Levels are in dB relative to full scale, where a full-scale sine
// reads 0 dB both as a line and as an RMS level (AES17).

// How much of a long file is read for the spectrum, per channel, and in how many parts spread
// over the file when it is longer.
inline constexpr qint64 SpectrumFrameLimit = qint64(1) << 20;
inline constexpr int SpectrumPartsOfLongFiles = 4;
// Columns of the whole-length overview; the window folds them to its own width.
inline constexpr int OverviewColumns = 2048;
// The opening read for the waveform: enough for four periods of 80 Hz.
inline constexpr double OpeningSeconds = 0.05;

struct SpectralComponent
{
    double hertz = 0;
    double decibels = -std::numeric_limits<double>::infinity();
};

struct ChannelFigures
{
    double peakDbfs = -std::numeric_limits<double>::infinity();
    double rmsDbfs = -std::numeric_limits<double>::infinity(); // AES17: a sine reads its peak
    double crestDb = 0;                                        // peak over RMS
    double dc = 0;                                             // the mean, as a fraction of full scale
    SpectralComponent line;                                    // the strongest line, in dBFS
    SpectralComponent other; // the strongest other component, in dB relative to the line
    // Against the strongest line, to 20 kHz or half the rate: its harmonics' power (THD), and all
    // but itself from 20 Hz (THD+N), in dB; NaN when the line lies above that.
    double thdDb = std::numeric_limits<double>::quiet_NaN();
    double thdNoiseDb = std::numeric_limits<double>::quiet_NaN();
    // The levels of the octave bands of OctaveBandCentres below half the rate, in dBFS.
    std::vector<double> octaveBandsDb;
};

// The octave bands' nominal centres; their edges lie half an octave (base ten, IEC 61260-1) either
// side of 1 kHz times a whole number of octaves.
inline constexpr std::array<double, 10> OctaveBandCentres{31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

// The channels of an impulse response that are read for their responses.
inline constexpr int MostResponseChannels = 8;

// What an impulse response holds, when its file says which sweep it came from (its L and band):
// per channel, where its linear response peaks and, for the linear response and the 2nd to 5th
// harmonics' (each in a window of its own, L ln n before the peak), their spectra as running sums
// over the bins, so that the power in any band, and the linear response's mean (for its phase),
// is the difference of two sums. A wire reads 1 across the band swept.
struct ResponseAnalysis
{
    static constexpr int Orders = 5; // the linear response and the 2nd to 5th harmonics'

    double sweepRate = 0; // L, in seconds
    double from = 0;      // the band swept; 0 when the file does not say
    double to = 0;
    double binHertz = 0;
    struct Channel
    {
        qint64 peakFrame = 0; // of the linear response, in the file
        double peakDbfs = -std::numeric_limits<double>::infinity();
        // Per order, the sum of |X|² over the bins below each bin; one more than the bins.
        std::array<std::vector<double>, Orders> power;
        // The same of X for the linear response, time zero at its peak.
        std::vector<std::complex<double>> linear;
    };
    std::vector<Channel> channels;
};

struct ToneAnalysis
{
    int sampleRate = 0;
    int channels = 0;
    qint64 frames = 0; // per channel

    // The file's first samples per channel, and how many of them the waveform shows: about four
    // periods of the lowest strong line, 1 to 50 ms.
    std::vector<std::vector<float>> opening;
    qint64 openingShown = 0;

    // Per channel and column of the whole length, its lowest and highest sample.
    std::vector<std::vector<float>> overviewLow;
    std::vector<std::vector<float>> overviewHigh;
    // The overview and the levels are of the whole file; until a long file has been read through,
    // they are of the spectrum's parts and the overview is empty.
    bool wholeFileRead = false;

    // The spectrum curve: per frequency (log-spaced from 10 Hz to half the rate), the power within
    // a twelfth of an octave around it, in dB relative to a full-scale sine. A sine reads its level,
    // pink noise is level, white noise rises 3 dB per octave.
    std::vector<double> curveHertz;
    std::vector<std::vector<float>> curveDecibels;
    // What the spectrum was taken from.
    double spectrumSeconds = 0;
    int spectrumParts = 0;

    std::vector<ChannelFigures> figures;
    // How many decimals the lines' frequencies are good for at the length analysed.
    int frequencyDecimals = 2;

    // The fine line spectrum per channel: a sine's power (its peak squared) per bin, averaged over
    // the parts. It gives the lines and the components.
    double fineBinHertz = 0;
    std::vector<std::vector<float>> finePower;
    // Half the width of a line in the fine spectrum, in bins.
    int lineHalfWidthBins = 0;

    // The power of the channel's line at that frequency: its bins' sum, a sine's peak squared.
    double linePower(int channel, double hertz) const;
    // The strongest component of the channel, in dBFS, at least a line's width away from DC and
    // from each of the given frequencies; its frequency is interpolated between bins.
    SpectralComponent strongestComponent(int channel, std::span<const double> awayFromHertz = {}) const;

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0; }

    // For an impulse response of a measurement sweep, what it holds.
    std::optional<ResponseAnalysis> response;
};

// dB of a power relative to a full-scale sine's, floored far below anything a file can hold.
inline double PowerDecibels(double power)
{
    return 10 * std::log10(std::max(power, 1e-30));
}

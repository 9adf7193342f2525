// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <utility>
#include <vector>

// Reads a PCM or float WAV file, so tests can check what the tool really wrote or what a
// sound card really played.
struct WavInfo
{
    bool valid = false;
    QString problem;
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    qint64 frames = 0;
    std::vector<double> firstChannel;  // samples scaled to -1..1
    std::vector<double> secondChannel; // empty for mono

    double durationSeconds() const { return sampleRate ? double(frames) / sampleRate : 0.0; }
};

WavInfo ReadWav(const QString &path);
// Every channel of a WAV file, each scaled to -1..1; empty when it cannot be read.
std::vector<std::vector<double>> ReadChannels(const QString &path);

// The frequency with the strongest spectral peak in the given samples (Hann window, FFT over
// the largest power of two that fits).
double DominantFrequency(const std::vector<double> &samples, int sampleRate);

// Root mean square level of the samples.
double RmsLevel(const std::vector<double> &samples);

// The RMS level in dBFS as AES17 reads it: a full-scale sine reads 0 dB.
double Aes17RmsDbfs(const std::vector<double> &samples);

// The magnitude spectrum of `length` samples from `first` (a power of two), through a Kaiser
// window whose side lobes lie below -150 dB: a tone spreads over about 12 bins either side.
std::vector<double> KaiserSpectrum(const std::vector<double> &samples, size_t first, size_t length);
inline constexpr int KaiserSpread = 12;

// The strongest component of the spectrum that lies neither near DC nor within the spread of a
// harmonic of one of the frequencies from `lowest` to `highest` (a sweep's frame), in dB against
// the strongest harmonic.
double WorstNonHarmonicDb(const std::vector<double> &spectrum, int sampleRate, double lowest, double highest);
// The same for tones together: harmonics of any of them (each as a lowest and highest frequency).
double WorstNonHarmonicDb(const std::vector<double> &spectrum, int sampleRate,
                          const std::vector<std::pair<double, double>> &tones);

// Harmonic k's power against the fundamental's, in dB (the power within each one's spread).
double HarmonicDb(const std::vector<double> &spectrum, int sampleRate, double fundamental, int k);
// The power of the line at one frequency against that of the line at another, in dB.
double LineDb(const std::vector<double> &spectrum, int sampleRate, double frequency, double reference);

// The power of the samples between two frequencies, as a share of all of it (Welch average).
double BandPowerShare(const std::vector<double> &samples, int sampleRate, double low, double high);

// The power spectral density averaged over 1/6-octave bands centred at the frequencies, in dB on
// a common scale (Welch average).
std::vector<double> BandDensitiesDb(const std::vector<double> &samples, int sampleRate,
                                    const std::vector<double> &centres);

// The largest magnitude of the samples in dB relative to full scale; -inf for silence.
double PeakDbfs(const std::vector<double> &samples);

// Checks that the file is a whole mono tone at 48000 Hz of that length (to the hundredth of a
// second) and frequency (within 1 %, or 2 Hz for low tones: short tones give a coarse spectrum).
void VerifyTone(const QString &path, double seconds, double frequency);

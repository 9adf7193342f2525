// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
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

// The frequency with the strongest spectral peak in the given samples (Hann window, FFT over
// the largest power of two that fits).
double DominantFrequency(const std::vector<double> &samples, int sampleRate);

// Root mean square level of the samples.
double RmsLevel(const std::vector<double> &samples);

// The largest magnitude of the samples in dB relative to full scale; -inf for silence.
double PeakDbfs(const std::vector<double> &samples);

// Checks that the file is a whole mono tone at 48000 Hz of that length (to the hundredth of a
// second) and frequency (within 1 %, or 2 Hz for low tones: short tones give a coarse spectrum).
void VerifyTone(const QString &path, double seconds, double frequency);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

// The maths of turning a recording of the measurement sweep into an impulse response, on FFTW.
// Linked into the measuring plugin and the tests only: the program does not load FFTW to start.

// The inverse filter of a sweep whose frequency grows e-fold every sweepRate seconds and reaches
// endFrequency one sample after its last: the sweep reversed in time, its amplitude falling 6 dB an
// octave (the envelope applied after the reversal, so that the sweep, whose energy falls 3 dB an
// octave, convolved with it has a flat magnitude), scaled so that the sweep convolved with it reads
// 1 (0 dB) across the band it sweeps: a wire then reads 0 dB in the frequency domain at every rate.
// The peak of that convolution is a band-limited impulse's, below 1 by about the share of half the
// rate that the sweep covers.
std::vector<float> InverseFilter(std::span<const float> sweep, double sweepRate, int sampleRate, double endFrequency);

// Convolves a stream of blocks with one filter by overlap-add, for each of a number of channels:
// the memory it takes depends on the filter's length, not the stream's.
class BlockConvolver
{
public:
    BlockConvolver(std::span<const float> filter, int channels);
    ~BlockConvolver();
    // The bytes a convolver of a filter of that length takes for that many channels, with the
    // blocks that its caller pushes and takes back: to be asked before one is made.
    static qint64 bytesNeeded(qint64 filterLength, int channels);
    BlockConvolver(const BlockConvolver &) = delete;
    BlockConvolver &operator=(const BlockConvolver &) = delete;

    // The most frames that push takes at once.
    qint64 blockFrames() const { return m_block; }
    // Convolves the next frames (interleaved, at most blockFrames) and appends to output the
    // frames of the convolution that are now complete: as many as were pushed.
    void push(const float *interleaved, qint64 frames, std::vector<float> &output);
    // Appends the frames that follow the end of the stream: the filter's length less one.
    void finish(std::vector<float> &output);

private:
    struct Fft;
    static qint64 transformSize(qint64 filterLength);
    qint64 m_filterLength;
    qint64 m_size;  // of the transforms
    qint64 m_block; // frames a push takes
    int m_channels;
    std::unique_ptr<Fft> m_fft;
    std::vector<std::vector<double>> m_pending; // per channel, sums of the frames to come
};

// The frame where the response is kept from: lead seconds before its peak, or its start (always
// when the lead is not known, which a negative lead says).
qint64 ResponseStart(qint64 peakFrame, double leadSeconds, int sampleRate);

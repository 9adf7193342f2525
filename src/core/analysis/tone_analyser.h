// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/sweep_shape.h"
#include "core/analysis/tone_analysis.h"

#include <functional>

// The longest file whose whole spectrum a sweep gets, per channel.
inline constexpr qint64 WholeSpectrumFrameLimit = qint64(1) << 22;

// Where the samples come from: a sound file's reader, or memory.
class SampleSource
{
public:
    virtual ~SampleSource() = default;
    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    virtual qint64 frames() const = 0; // samples per channel
    // Reads up to count frames from the frame offset into interleaved; returns how many it read.
    virtual qint64 read(qint64 offset, qint64 count, float *interleaved) = 0;
};

struct AnalysisHooks
{
    // For a file longer than the spectrum reads: the spectrum and the figures of its parts, before
    // the whole file is read through for the overview and the levels.
    std::function<void(const ToneAnalysis &)> firstLook = {};
    // Asked between blocks; when it answers true, the analysis ends with a Failure.
    std::function<bool()> stopRequested = {};
    // For a sweep: its spectrum from the whole file (up to WholeSpectrumFrameLimit), not from parts.
    bool wholeSpectrum = false;
    // For an impulse response: the sweep it came from, by which its harmonics' responses are found.
    std::optional<SweepShape> response = {};
};

// Measures a tone: samples in, figures and curves out. The spectrum comes from at most
// SpectrumFrameLimit samples per channel, so a long file costs about what a short one does,
// but for the overview, which streams through the whole file in blocks.
class ToneAnalyser
{
public:
    explicit ToneAnalyser(SampleSource &source, AnalysisHooks hooks = {});

    ToneAnalysis analyse();

private:
    struct Span
    {
        qint64 offset;
        qint64 frames;
    };

    // Per channel, the parts that the spectrum is taken from, one after the other.
    std::vector<std::vector<float>> readParts(const std::vector<Span> &parts);
    void readOpening();
    void measureLevels(const std::vector<std::vector<float>> &samples);
    void measureLines(const std::vector<std::vector<float>> &samples, qint64 partFrames);
    void measureDistortion(int channel);
    void measureCurve(const std::vector<std::vector<float>> &samples, qint64 partFrames, bool whole = false);
    void chooseOpeningShown();
    void overviewOf(const std::vector<std::vector<float>> &samples);
    // Reads the whole file in blocks for the overview and the levels.
    void streamWholeFile();
    // The linear response and the harmonics' of each channel of an impulse response.
    void analyseResponse(const SweepShape &shape);
    void checkStop() const;

    SampleSource &m_source;
    AnalysisHooks m_hooks;
    ToneAnalysis m_result;
};

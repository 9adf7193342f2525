// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/live/live_tone.h"

#include <QtGlobal>
#include <atomic>
#include <memory>
#include <vector>

class HarmonicTable;

// Renders a live tone into interleaved float blocks on demand, from state it keeps between them:
// each periodic tone's phase, each noise's generator and filters. The tone may change at any time;
// the change is heard at the start of the next block, and never as a click:
//
// - the first tone fades in over 5 ms, and stop() fades out over 10 ms, after which ended();
// - a new frequency goes on from the phase reached; new gains ramp there over 10 ms;
// - any other change (a type, a noise, a tone added or taken away) crossfades over 10 ms, the
//   periodic tones of the new set starting from the phases that the old one reached.
//
// Two threads use it. The owner's thread (the window's) describes the tones: setTone() prepares
// everything a tone needs there, allocating what it must, and hands it over through one atomic
// pointer; what the audio thread no longer needs is freed there again. The audio thread only
// calls render(), which allocates nothing, takes no lock, does no I/O and never waits.
class LiveRenderer
{
public:
    // For a stream of this rate and channel count. Every noise starts from the seed: from 0, its
    // samples are those of the tool's repeatable mode, and those MeasureNoise measures.
    LiveRenderer(int sampleRate, int channels, quint32 noiseSeed = 0);
    ~LiveRenderer();
    LiveRenderer(const LiveRenderer &) = delete;
    LiveRenderer &operator=(const LiveRenderer &) = delete;

    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }

    // The owner's thread. The next tone to play; throws Failure when it does not fit the stream
    // (another rate or channel count, a gain for each channel missing). After stop(), ignored.
    void setTone(const LiveTone &tone);
    // Fades out over 10 ms.
    void stop();
    // The fade-out after stop() has been rendered whole: from here on, render() gives silence.
    bool ended() const { return m_ended.load(std::memory_order_acquire); }
    // Frames rendered so far, and the frame at which the latest tone taken began (its fade-in,
    // ramp or crossfade); -1 before any. For measuring how soon a change is heard.
    qint64 renderedFrames() const { return m_rendered.load(std::memory_order_relaxed); }
    qint64 changeFrame() const { return m_changeFrame.load(std::memory_order_relaxed); }

    // The audio thread: the next frames, channels interleaved.
    void render(float *interleaved, qsizetype frames) noexcept;

private:
    struct Voice;
    struct Scene;

    void freeRetiredScenes();
    // The voice that plays the source, its state fresh (a band-limited shape's table shared with
    // an earlier scene's where it can be).
    Voice voiceFor(const LiveSource &source) const;
    std::shared_ptr<const HarmonicTable> tableFor(const LivePeriodic &periodic) const;
    void takeChange() noexcept;
    void renderChunk(float *interleaved, int frames) noexcept;
    void mixScene(Scene &scene, const double *weights, int frames) noexcept;

    const int m_sampleRate;
    const int m_channels;
    const quint32 m_noiseSeed;
    const int m_rampFrames; // a gain change and a crossfade
    const int m_startFrames;
    const int m_stopFrames;

    // The owner's: every scene made and not yet freed.
    std::vector<std::unique_ptr<Scene>> m_scenes;
    // Handed over: the scene to play next, taken by the audio thread.
    std::atomic<Scene *> m_next{nullptr};
    std::atomic<bool> m_stopAsked{false};
    std::atomic<bool> m_ended{false};
    std::atomic<qint64> m_rendered{0};
    std::atomic<qint64> m_changeFrame{-1};

    // The audio thread's.
    Scene *m_current = nullptr;
    Scene *m_fading = nullptr; // crossfaded from, while m_crossfadeLeft > 0
    int m_crossfadeLeft = 0;
    double m_envelope = 0; // the start's and the stop's fades
    double m_envelopeStep = 0;
    bool m_stopping = false;
    std::vector<double> m_values; // one voice's chunk
    std::vector<double> m_mix;    // the chunk's channels, interleaved
    std::vector<double> m_fadingWeights;
    std::vector<double> m_currentWeights;
};

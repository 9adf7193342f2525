// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/live/live_renderer.h"

#include "core/failure.h"
#include "core/live/harmonic_table.h"
#include "core/live/noise_source.h"

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double ChangeSeconds = 0.010; // a gain ramp, a crossfade, the stop's fade
constexpr double StartSeconds = 0.005;
// The audio thread works through a block in chunks of this many frames, for its scratch buffers.
constexpr int ChunkFrames = 256;

int FramesOf(double seconds, int sampleRate)
{
    return std::max(1, int(std::lround(seconds * sampleRate)));
}

bool SameParameters(const ShapeParameters &a, const ShapeParameters &b)
{
    return a.offset == b.offset && a.phase == b.phase && a.p1 == b.p1 && a.p2 == b.p2 && a.p3 == b.p3;
}

} // namespace

// One source as it is rendered.
struct LiveRenderer::Voice
{
    // What it plays: fixed once the scene is handed over.
    std::optional<LivePeriodic> periodic;
    std::optional<PeriodicShape> shape;         // a plain periodic tone
    std::shared_ptr<const HarmonicTable> table; // a band-limited one (shared with later scenes)
    std::optional<LiveNoise> noise;
    std::vector<double> targets; // the gains, one a channel

    // Where it is: the audio thread's once handed over.
    double anchor = 0;  // the phase from which the frames since count, as the tool's tones start at 0
    qint64 elapsed = 0; // frames since
    std::optional<NoiseGenerator> generator;
    std::vector<double> gains;
    std::vector<double> steps;
    int rampLeft = 0;

    // The phase the next frame has, before the shape's own phase parameter.
    double phaseReached(int sampleRate) const
    {
        return std::fmod(anchor + periodic->frequency * double(elapsed) / sampleRate, 1.0);
    }

    // The voice's next frames, before its gains.
    void fill(double *out, int frames, int sampleRate) noexcept
    {
        if (generator) {
            for (int i = 0; i < frames; ++i)
                out[i] = generator->next();
            return;
        }
        // The phase as the tool works it out, in the same order: the frequency times the frames
        // since the start (here since the last change of frequency), over the rate. A steady tone
        // then gives the tool's very samples, also where a square's edge falls on one.
        const double frequency = periodic->frequency;
        if (table) {
            for (int i = 0; i < frames; ++i) {
                const double phase = anchor + frequency * double(elapsed + i) / sampleRate;
                out[i] = table->at(phase - std::floor(phase));
            }
        } else {
            for (int i = 0; i < frames; ++i)
                out[i] = shape->value(anchor + frequency * double(elapsed + i) / sampleRate);
        }
        elapsed += frames;
    }

    void rampTo(int frames)
    {
        rampLeft = 0;
        for (size_t c = 0; c < gains.size(); ++c) {
            steps[c] = (targets[c] - gains[c]) / frames;
            if (gains[c] != targets[c])
                rampLeft = frames;
        }
    }
};

// A tone's voices, prepared on the owner's thread.
struct LiveRenderer::Scene
{
    std::vector<Voice> voices;
    // Set by the audio thread when it is done with the scene, which the owner then frees.
    std::atomic<bool> retired{false};

    // Whether the next scene plays the same sources, other frequencies and gains aside.
    bool sameSourcesAs(const Scene &next) const noexcept
    {
        if (next.voices.size() != voices.size())
            return false;
        for (size_t i = 0; i < voices.size(); ++i) {
            const Voice &a = voices[i];
            const Voice &b = next.voices[i];
            if (a.periodic.has_value() != b.periodic.has_value() || a.table != b.table || a.noise != b.noise)
                return false;
            if (a.periodic && (a.periodic->kind != b.periodic->kind ||
                               !SameParameters(a.periodic->parameters, b.periodic->parameters)))
                return false;
        }
        return true;
    }
};

LiveRenderer::LiveRenderer(int sampleRate, int channels, quint32 noiseSeed)
    : m_sampleRate(sampleRate), m_channels(channels), m_noiseSeed(noiseSeed),
      m_rampFrames(FramesOf(ChangeSeconds, sampleRate)), m_startFrames(FramesOf(StartSeconds, sampleRate)),
      m_stopFrames(FramesOf(ChangeSeconds, sampleRate)), m_values(ChunkFrames),
      m_mix(size_t(ChunkFrames) * size_t(std::max(channels, 1))), m_fadingWeights(ChunkFrames),
      m_currentWeights(ChunkFrames)
{
    if (sampleRate <= 0 || channels <= 0)
        throw Failure(u"A live tone needs a sample rate and at least one channel."_s);
}

LiveRenderer::~LiveRenderer() = default;

void LiveRenderer::freeRetiredScenes()
{
    std::erase_if(m_scenes,
                  [](const std::unique_ptr<Scene> &scene) { return scene->retired.load(std::memory_order_acquire); });
}

void LiveRenderer::setTone(const LiveTone &tone)
{
    freeRetiredScenes();
    if (m_stopAsked.load())
        return;
    if (tone.sampleRate != m_sampleRate || tone.channels != m_channels)
        throw Failure(
            u"A live tone at %1 Hz in %2 channels cannot play on a stream at %3 Hz in %4."_s.arg(tone.sampleRate)
                .arg(tone.channels)
                .arg(m_sampleRate)
                .arg(m_channels));
    auto scene = std::make_unique<Scene>();
    scene->voices.reserve(tone.sources.size());
    for (const LiveSource &source : tone.sources)
        scene->voices.push_back(voiceFor(source));
    Scene *next = scene.get();
    m_scenes.push_back(std::move(scene));
    // A scene handed over earlier and not yet taken is replaced: only the latest tone matters.
    if (Scene *replaced = m_next.exchange(next, std::memory_order_acq_rel)) {
        std::erase_if(m_scenes, [replaced](const std::unique_ptr<Scene> &s) { return s.get() == replaced; });
    }
}

LiveRenderer::Voice LiveRenderer::voiceFor(const LiveSource &source) const
{
    if (source.gains.size() != size_t(m_channels) ||
        !std::all_of(source.gains.begin(), source.gains.end(), [](double g) { return std::isfinite(g); }))
        throw Failure(u"A live tone's source needs one finite gain for each of its %1 channels."_s.arg(m_channels));
    Voice voice;
    if (const auto *periodic = std::get_if<LivePeriodic>(&source.signal)) {
        if (!std::isfinite(periodic->frequency) || periodic->frequency < 0)
            throw Failure(u"A live tone's frequency must be a number of hertz, not %1."_s.arg(periodic->frequency));
        voice.periodic = *periodic;
        if (periodic->bandLimited)
            voice.table = tableFor(*periodic);
        else
            voice.shape = PeriodicShape(periodic->kind, periodic->parameters);
    } else {
        const auto &noise = std::get<LiveNoise>(source.signal);
        voice.noise = noise;
        voice.generator.emplace(noise, m_sampleRate, m_noiseSeed);
    }
    voice.targets = source.gains;
    voice.gains = source.gains;
    voice.steps.assign(size_t(m_channels), 0.0);
    return voice;
}

std::shared_ptr<const HarmonicTable> LiveRenderer::tableFor(const LivePeriodic &periodic) const
{
    const int harmonics = HarmonicsBelowHalf(periodic.frequency, m_sampleRate);
    // The table of an earlier scene of the same shape and harmonics, when there is one: moving the
    // frequency then keeps the table and costs no transform.
    for (const auto &earlier : m_scenes) {
        for (const Voice &other : earlier->voices) {
            if (other.table && other.table->harmonics() == harmonics && other.periodic->kind == periodic.kind &&
                SameParameters(other.periodic->parameters, periodic.parameters))
                return other.table;
        }
    }
    return std::make_shared<const HarmonicTable>(PeriodicShape(periodic.kind, periodic.parameters), harmonics);
}

void LiveRenderer::stop()
{
    m_stopAsked.store(true, std::memory_order_release);
    freeRetiredScenes();
}

void LiveRenderer::takeChange() noexcept
{
    if (m_stopAsked.load(std::memory_order_acquire) && !m_stopping) {
        m_stopping = true;
        m_envelopeStep = -1.0 / m_stopFrames;
    }
    // Nothing changes any more while the tone fades out; a change during a crossfade waits for
    // its end, 10 ms at most.
    if (m_stopping || m_crossfadeLeft > 0 || !m_next.load(std::memory_order_relaxed))
        return;
    Scene *next = m_next.exchange(nullptr, std::memory_order_acq_rel);
    if (!next)
        return;
    m_changeFrame.store(m_rendered.load(std::memory_order_relaxed), std::memory_order_relaxed);
    if (!m_current) {
        m_current = next;
        m_envelope = 0;
        m_envelopeStep = 1.0 / m_startFrames;
        return;
    }
    const bool same = m_current->sameSourcesAs(*next);
    for (size_t i = 0; i < std::min(next->voices.size(), m_current->voices.size()); ++i) {
        Voice &to = next->voices[i];
        const Voice &from = m_current->voices[i];
        if (to.periodic && from.periodic) {
            if (same && to.periodic->frequency == from.periodic->frequency) {
                to.anchor = from.anchor;
                to.elapsed = from.elapsed;
            } else {
                to.anchor = from.phaseReached(m_sampleRate);
                to.elapsed = 0;
            }
        } else if (to.noise && to.noise == from.noise) {
            // The same noise goes on where it was (crossfaded, it meets itself).
            to.generator = from.generator;
        }
        if (same) {
            std::copy(from.gains.begin(), from.gains.end(), to.gains.begin());
            to.rampTo(m_rampFrames);
        }
    }
    if (same) {
        m_current->retired.store(true, std::memory_order_release);
    } else {
        m_fading = m_current;
        m_crossfadeLeft = m_rampFrames;
    }
    m_current = next;
}

void LiveRenderer::mixScene(Scene &scene, const double *weights, int frames) noexcept
{
    const size_t channels = size_t(m_channels);
    for (Voice &voice : scene.voices) {
        voice.fill(m_values.data(), frames, m_sampleRate);
        for (int i = 0; i < frames; ++i) {
            if (voice.rampLeft > 0) {
                for (size_t c = 0; c < channels; ++c)
                    voice.gains[c] += voice.steps[c];
                if (--voice.rampLeft == 0)
                    std::copy(voice.targets.begin(), voice.targets.end(), voice.gains.begin());
            }
            const double value = weights ? m_values[size_t(i)] * weights[i] : m_values[size_t(i)];
            double *mix = m_mix.data() + size_t(i) * channels;
            for (size_t c = 0; c < channels; ++c)
                mix[c] += value * voice.gains[c];
        }
    }
}

void LiveRenderer::renderChunk(float *interleaved, int frames) noexcept
{
    const size_t channels = size_t(m_channels);
    std::fill_n(m_mix.begin(), size_t(frames) * channels, 0.0);
    if (m_fading) {
        int left = m_crossfadeLeft;
        for (int i = 0; i < frames; ++i) {
            left = std::max(left - 1, 0);
            m_fadingWeights[size_t(i)] = double(left) / m_rampFrames;
            m_currentWeights[size_t(i)] = 1 - m_fadingWeights[size_t(i)];
        }
        mixScene(*m_fading, m_fadingWeights.data(), frames);
        mixScene(*m_current, m_currentWeights.data(), frames);
        m_crossfadeLeft = left;
        if (left == 0) {
            m_fading->retired.store(true, std::memory_order_release);
            m_fading = nullptr;
        }
    } else if (m_current) {
        mixScene(*m_current, nullptr, frames);
    }
    for (int i = 0; i < frames; ++i) {
        const double *mix = m_mix.data() + size_t(i) * channels;
        float *out = interleaved + size_t(i) * channels;
        for (size_t c = 0; c < channels; ++c)
            out[c] = float(mix[c] * m_envelope);
        if (m_envelopeStep != 0) {
            m_envelope += m_envelopeStep;
            if (m_envelope >= 1 || m_envelope <= 0) {
                m_envelope = std::clamp(m_envelope, 0.0, 1.0);
                m_envelopeStep = 0;
            }
        }
    }
    if (m_stopping && m_envelope == 0)
        m_ended.store(true, std::memory_order_release);
}

void LiveRenderer::render(float *interleaved, qsizetype frames) noexcept
{
    if (!m_ended.load(std::memory_order_relaxed))
        takeChange();
    for (qsizetype done = 0; done < frames;) {
        const int chunk = int(std::min<qsizetype>(frames - done, ChunkFrames));
        float *out = interleaved + size_t(done) * size_t(m_channels);
        if (m_ended.load(std::memory_order_relaxed))
            std::fill_n(out, size_t(chunk) * size_t(m_channels), 0.0F);
        else
            renderChunk(out, chunk);
        done += chunk;
    }
    m_rendered.store(m_rendered.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
}

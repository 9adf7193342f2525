// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound/live_plan.h"

#include "core/plan/tone_plan.h"
#include "core/sound/playback.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

using Gains = std::vector<double>;

const QString ChangesOverItsLength =
    u"It changes over its length (a sweep, steps or bursts): it loops from its file."_s;

// Whether the plan's sound changes over its length (steps, bursts, or a source that sweeps), or is
// one period repeated from its file (a periodic noise): each loops from its file.
bool Changes(const TonePlan &plan)
{
    if (!plan.steps.empty() || plan.burst || plan.sources.isEmpty())
        return true;
    for (const ToneSource &source : plan.sources) {
        const auto *periodic = std::get_if<PeriodicSource>(&source);
        const bool steady = periodic ? periodic->term && periodic->term->sweep == SweepKind::Steady
                                     : std::holds_alternative<NoiseSource>(source);
        if (!steady)
            return true;
    }
    return false;
}

// A source as the renderer makes it (its gains still to come), and how many times the shape or its
// band-limited series the tool makes it.
struct MadeSource
{
    LiveSource live;
    double scale = 1;
};

MadeSource LiveSourceOf(const ToneSource &source)
{
    if (const auto *periodic = std::get_if<PeriodicSource>(&source)) {
        const ToneTerm &term = *periodic->term;
        LivePeriodic live{periodic->shape, term.parameters, term.from, periodic->design.has_value()};
        // The first difference that turns an integrated shape into the wanted one lags it by half a
        // sample of the high rate.
        if (periodic->design && periodic->design->method == AliasFreeMethod::Integrated) {
            const double lagged = live.parameters.phase - term.from / (2.0 * periodic->design->synthRate);
            live.parameters.phase = lagged - std::floor(lagged);
        }
        return {LiveSource{live, {}}, periodic->design ? periodic->design->amplitude : 1};
    }
    const auto &noise = std::get<NoiseSource>(source);
    LiveNoise live;
    live.colour = noise.colour;
    if (noise.band)
        live.band = NoiseBand{noise.term->lowest(), noise.term->highest()};
    if (noise.term)
        live.offset = noise.term->parameters.offset;
    return {LiveSource{live, {}}, 1};
}

// Each side of the tone (a channel before the channel map) with its gain for each source: the
// mix's, or each source on a side of its own as made.
std::vector<Gains> SideGains(const TonePlan &plan)
{
    const auto count = size_t(plan.sources.size());
    std::vector<Gains> sides;
    if (plan.mix.isEmpty()) {
        for (size_t source = 0; source < count; ++source) {
            sides.emplace_back(count, 0.0);
            sides.back()[source] = 1;
        }
        return sides;
    }
    for (const ChannelMix &channel : plan.mix) {
        sides.emplace_back(count, 0.0);
        for (const ChannelGain &gain : channel)
            sides.back()[size_t(gain.source)] += gain.gain;
    }
    return sides;
}

double Linear(double decibels)
{
    return std::pow(10, decibels / 20);
}

// The level of a noise that only the noise can tell, from the same noise rendered ahead over the
// tone's length: what the tool's measuring run finds, taken by the plan's own rule.
std::optional<LevelStage> MeasuredNoiseLevel(const TonePlan &plan, QString &refusal)
{
    const auto *noise = plan.sources.size() == 1 ? std::get_if<NoiseSource>(&plan.sources.first()) : nullptr;
    if (!noise || !plan.level.sidePeakTargets.isEmpty()) {
        refusal = u"Tones whose peaks only the tool can find loop from its file."_s;
        return std::nullopt;
    }
    const auto live = std::get<LiveNoise>(LiveSourceOf(*noise).live.signal);
    const std::optional<NoiseLevels> levels = MeasureLiveNoise(live, plan.layout.sampleRate, plan.frames);
    TonePlan measured = plan;
    if (!levels || !ApplyMeasuredLevels(measured, {ToneLevels{levels->peak, true, levels->meanSquare}})) {
        refusal = u"The noise cannot be measured to set its level."_s;
        return std::nullopt;
    }
    if (measured.reminder) {
        refusal = *measured.reminder;
        return std::nullopt;
    }
    return measured.level;
}

// The gain that brings a band-limited tone's peak where the tool normalises it.
std::optional<double> NormalisedGain(const TonePlan &plan, double normalisedPeakDb, QString &refusal)
{
    const auto *periodic =
        plan.mix.isEmpty() && plan.sources.size() == 1 ? std::get_if<PeriodicSource>(&plan.sources.first()) : nullptr;
    if (!periodic || !periodic->design) {
        refusal = u"Tones whose peaks only the tool can find loop from its file."_s;
        return std::nullopt;
    }
    const ToneTerm &term = *periodic->term;
    const double peak = periodic->design->amplitude * BandLimitedPeak(PeriodicShape(periodic->shape, term.parameters),
                                                                      term.from, plan.layout.sampleRate, plan.frames);
    return Linear(normalisedPeakDb) / peak;
}

// The level's gain on each side.
std::optional<Gains> LevelGains(const TonePlan &plan, size_t sides, QString &refusal)
{
    LevelStage level = plan.level;
    if (level.measured) {
        const std::optional<LevelStage> measured = MeasuredNoiseLevel(plan, refusal);
        if (!measured)
            return std::nullopt;
        level = *measured;
    }
    if (level.normalisedPeakDb) {
        const std::optional<double> gain = NormalisedGain(plan, *level.normalisedPeakDb, refusal);
        return gain ? std::optional<Gains>(Gains(sides, *gain)) : std::nullopt;
    }
    if (!level.channelGainsDb.isEmpty() && size_t(level.channelGainsDb.size()) == sides) {
        Gains gains;
        for (const double decibels : level.channelGainsDb)
            gains.push_back(Linear(decibels));
        return gains;
    }
    return Gains(sides, Linear(level.gainDb.value_or(0)));
}

// A source's gain on each side, spread over the file's channels as the channel map puts a tone of
// one channel; nothing when the sides do not fit the channels.
std::optional<Gains> MappedGains(const Gains &sideGains, ChannelMap map, int channels)
{
    if (map == ChannelMap::Mono)
        return int(sideGains.size()) == channels ? std::optional<Gains>(sideGains) : std::nullopt;
    if (sideGains.size() != 1 || channels != ChannelCount(map))
        return std::nullopt;
    const double gain = sideGains.front();
    switch (map) {
    case ChannelMap::LeftOnly:
        return Gains{gain, 0};
    case ChannelMap::RightOnly:
        return Gains{0, gain};
    default:
        return Gains(std::size_t(channels), gain);
    }
}

} // namespace

LivePlan LiveToneOf(const TonePlan &plan)
{
    LivePlan made;
    made.changes = Changes(plan);
    if (made.changes || plan.reminder) {
        made.refusal = plan.reminder.value_or(ChangesOverItsLength);
        return made;
    }
    const std::vector<Gains> sides = SideGains(plan);
    const std::optional<Gains> levels = LevelGains(plan, sides.size(), made.refusal);
    if (!levels)
        return made;
    LiveTone tone{plan.layout.sampleRate, plan.layout.channels, {}};
    for (qsizetype source = 0; source < plan.sources.size(); ++source) {
        MadeSource one = LiveSourceOf(plan.sources[source]);
        Gains sideGains;
        for (size_t side = 0; side < sides.size(); ++side)
            sideGains.push_back(sides[side][size_t(source)] * (*levels)[side] * one.scale);
        const std::optional<Gains> mapped = MappedGains(sideGains, plan.channels, tone.channels);
        if (!mapped) {
            made.refusal = u"The tone's channels do not fit the output's."_s;
            return made;
        }
        one.live.gains = *mapped;
        tone.sources.push_back(one.live);
    }
    made.tone = tone;
    return made;
}

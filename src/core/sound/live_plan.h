// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/live/live_tone.h"
#include "core/plan/plan_stages.h"

#include <QString>
#include <optional>

// The tone that the program plays live, made from the very plan that the tool renders for Save:
// the same sources, each channel's mix with its gains, the level, the channel map. Only a steady
// tone plays live; a sweep, steps or bursts (anything whose sound changes over its length) loop
// from the tool's file instead.
struct LivePlan
{
    std::optional<LiveTone> tone;
    QString refusal;      // why the plan has no live tone, when it has none
    bool changes = false; // refused because the sound changes over the tone's length
};

// A level that only the tone itself can tell (a noise's RMS level, a noise in a band) is set from
// the same noise rendered ahead over the tone's length, as the tool's measuring run does it; a
// band-limited tone whose peak the tool normalises is measured the same way.
LivePlan LiveToneOf(const TonePlan &plan);

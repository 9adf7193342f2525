// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"
#include "core/tone/output_options.h"
#include "core/tone/tone.h"
#include "core/tone/tone_level.h"

#include <QList>

// How the tone is made, worked out from the tone and the output options. With every option at its
// default it is the tone as typed, its sources the type and the words of the field. The options
// that need to know the tone (an RMS level, alias-free shapes, a noise band, steps and bursts) add
// stages, and may need the tone measured before it is made.
TonePlan PlanTone(const Tone &tone, const OutputOptions &options);

// Sets the measured plan's level from what the measuring run found: the whole tone's levels, or
// each channel's for a plan measured by side (as many as it has sides). False when they are not
// what the plan needs.
bool ApplyMeasuredLevels(TonePlan &plan, const QList<ToneLevels> &levels);

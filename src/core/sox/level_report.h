// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"
#include "core/tone/tone_level.h"

#include <QList>
#include <QString>

// What the tool's stats effect reports of a tone, and the copied command's reading of it.

// The stats effect reports levels in hundredths of a decibel.
inline constexpr double StatsRoundingDb = 0.005;

// What the stats effect reports at the end of its standard error, for each channel of a report on
// several channels (the tool puts the overall figures first, then each channel's); one for a
// report on one channel; none when it holds no such report (a peak of -inf is silence).
QList<ToneLevels> ParseToolStatsByChannel(const QString &errorOutput);

// The stats report turned into the level's gain by awk, by the level rule that SetLevel follows,
// for a measured plan's command that a person runs in a shell: the gain is the shell's "$g" (one
// word for each channel of a plan measured by side). A report without a level, or a level that does
// not fit, ends the line as the program ends the tone: with why, and no file.
QString MeasuredGainScript(const TonePlan &plan);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

// Setting a tone's level, by its peak or by its RMS level, from what the tone is known to be
// (worked out for a periodic tone, measured for a noise).
//
// RMS levels follow AES17: a full-scale sine reads 0 dBFS, so a tone's RMS level is
// 20 log10(rms) + 3.01 dB, and a full-scale square reads +3.01 dBFS.

// 20 log10(sqrt(2)): what AES17 adds to 20 log10(rms).
inline constexpr double Aes17OffsetDb = 3.0102999566398120;
// How far below full scale a tone set to 0 dBFS peaks: far below any meter's resolution, yet
// enough that no sample reaches full scale, also after 16-bit dither or in a float file.
inline constexpr double HeadroomDb = 0.001;
// Gains are applied to four decimal places of a decibel; a gain that rounds to none changes nothing.
inline constexpr double GainPlaces = 1e4;
// The rounding of a gain to those places may lift a peak by this much above full scale; a peak any
// higher would clip.
inline constexpr double ClipToleranceDb = 1e-4;

// A gain that rounds to no change at all.
bool IsNoGain(double decibels);

// What is known of a tone before its level is set: full scale is 1.
struct ToneLevels
{
    double peak = 1;       // the largest magnitude
    bool peakExact = true; // else an upper bound only
    double meanSquare = 0.5;

    double rmsDb() const; // AES17
    double peakDb() const;
};

struct LevelTarget
{
    bool rms = false;
    double decibels = 0;
};

// How a tone is brought to its target.
struct LevelSetting
{
    double gainDb = 0; // the gain that does it
    // The peak is only bounded: the tool measures it and normalises it to this level instead.
    std::optional<double> normalisedPeakDb;
    // The tone would peak this far above full scale (in dB) at the target: it does not fit, and
    // the reminder says so.
    std::optional<double> overDb;
    std::optional<QString> reminder;
};

// The gain that brings the tone to the target: its peak to a peak level (never above
// -HeadroomDb), or its RMS level to an RMS level, then lowered so that the peak stays below full
// scale by HeadroomDb. A peak that is only bounded is left to the tool's own normalisation. A level
// that would need a peak above full scale is refused, with a reminder that names the highest level
// that fits.
LevelSetting SetLevel(const LevelTarget &target, const ToneLevels &levels);

// Why a level does not fit: it would clip, and the highest level that fits (in the target's unit),
// and the highest offered under Level that does.
QString TooLoudReminder(const LevelTarget &target, double highest);

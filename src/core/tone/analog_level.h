// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"

#include <QString>
#include <optional>

// A level at an analog output, as a meter reads it: the RMS voltage, in dBu, dBV or volts.
enum class AnalogUnit
{
    DecibelsU, // dB re 0.7746 V, the voltage that makes 1 mW in 600 ohms
    DecibelsV, // dB re 1 V
    Volts,
};

struct AnalogLevel
{
    double value = 0;
    AnalogUnit unit = AnalogUnit::DecibelsU;

    double dBu() const;
    // The same voltage in another unit.
    AnalogLevel in(AnalogUnit other) const;
    // "+4.0 dBu", "-10.0 dBV", "1.228 V", "77.46 mV": decibels to a tenth, volts to four figures.
    QString text() const;
};

// "+18 dBu", "-10dBV", "1.228 V", "775 mV", "50 µV" (any case, spaces optional); nothing for any other text,
// or for no voltage at all (0 V).
std::optional<AnalogLevel> ParseAnalogLevel(const QString &text);

// What a full-scale sine reads at one output, as the person measured it. A level there in dBFS is
// the RMS level by AES17, which gives a full-scale sine 0 dBFS: so dBFS = dBu - full scale's dBu.
struct OutputCalibration
{
    AnalogLevel fullScale;

    // The level in dBFS (RMS, AES17) that reads as `level` at the output, to 0.01 dB; nothing when
    // it is outside the range that Level takes.
    std::optional<OutputLevel> outputLevel(const AnalogLevel &level) const;
    // What `level` (dBFS) reads at the output, in the unit the calibration was typed in.
    AnalogLevel reading(const OutputLevel &level) const;
    // The range that Level takes, as it reads at this output: "+18.0 dBu down to -102.0 dBu".
    QString rangeText() const;
};

// The reminder for a level typed in volts or dB of volts when the output has no calibration.
inline const QString UncalibratedLevelReminder =
    QStringLiteral("A level in dBu, dBV or volts needs to know what full scale reads at this output. "
                   "Measure a full-scale sine there and enter it with Calibrate Output Level… under Level.");

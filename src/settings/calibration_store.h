// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/analog_level.h"

#include <QString>
#include <optional>

// What a full-scale sine reads at each output, as the person measured it, kept per output device
// (by its name at the sound server; empty for the system's default output) in the settings store.
inline const QString CalibrationsGroup = QStringLiteral("Calibrations");
namespace CalibrationKeys {
inline const QString Device = QStringLiteral("Device");
inline const QString FullScale = QStringLiteral("FullScale");
} // namespace CalibrationKeys

// Nothing when the output has none, or when what is stored is not a level ParseAnalogLevel takes.
std::optional<OutputCalibration> StoredCalibration(const QString &device);
// Keeps what a full-scale sine reads at the output, as typed (a text ParseAnalogLevel takes), or
// forgets it for an empty text. False when it did not reach the disk (SettingsStoreProblem says why).
bool StoreCalibration(const QString &device, const QString &fullScale);

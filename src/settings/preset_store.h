// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/job/presets.h"

#include <QList>
#include <QString>

// The user's presets in the settings store: one numbered subgroup of "Presets" each, holding the
// name under "Name" and the inputs and options under their own keys, so that no name, whatever
// characters it holds, can reach another preset's keys or the inputs'.
inline const QString PresetsGroup = QStringLiteral("Presets");

// The stored presets in the order they were saved, each checked (see PresetFromValues). Reads
// without changing anything.
QList<Preset> StoredPresets();

// The built-in presets, then the stored ones (see AllPresets).
QList<Preset> AvailablePresets();

// Stores the preset under its name: over the stored one of that name, in its place, else after
// the last. False when it did not reach the disk (SettingsStoreProblem says why).
bool StorePreset(const Preset &preset);

// Removes every stored preset of that name; false when that did not reach the disk.
bool RemoveStoredPreset(const QString &name);

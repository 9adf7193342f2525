// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/preset_store.h"

#include "settings/settings_store.h"

#include <algorithm>

namespace {

QString SubgroupPath(const QString &subgroup)
{
    return PresetsGroup + u'/' + subgroup;
}

} // namespace

QList<Preset> StoredPresets()
{
    QList<Preset> presets;
    for (const auto &[subgroup, values] : ReadSettingsSubgroups(Settings::App, Settings::Section, PresetsGroup))
        presets.append(PresetFromValues(values));
    return presets;
}

QList<Preset> AvailablePresets()
{
    return AllPresets(StoredPresets());
}

bool StorePreset(const Preset &preset)
{
    const auto subgroups = ReadSettingsSubgroups(Settings::App, Settings::Section, PresetsGroup);
    qlonglong last = 0;
    for (const auto &[subgroup, values] : subgroups) {
        if (values.value(PresetKeys::Name) == preset.name)
            return ReplaceSettingsGroup(Settings::App, Settings::Section, SubgroupPath(subgroup), PresetValues(preset));
        // A number far beyond what saving ever gives was put there by hand: counting on from it
        // could overflow.
        if (const qlonglong number = subgroup.toLongLong(); number < (qlonglong(1) << 40))
            last = std::max(last, number);
    }
    return ReplaceSettingsGroup(Settings::App, Settings::Section, SubgroupPath(QString::number(last + 1)),
                                PresetValues(preset));
}

bool RemoveStoredPreset(const QString &name)
{
    bool removed = true;
    for (const auto &[subgroup, values] : ReadSettingsSubgroups(Settings::App, Settings::Section, PresetsGroup)) {
        if (values.value(PresetKeys::Name) == name)
            removed = ReplaceSettingsGroup(Settings::App, Settings::Section, SubgroupPath(subgroup), {}) && removed;
    }
    return removed;
}

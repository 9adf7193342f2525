// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/calibration_store.h"

#include "settings/settings_store.h"

#include <algorithm>

namespace {

QString SubgroupPath(const QString &subgroup)
{
    return CalibrationsGroup + u'/' + subgroup;
}

} // namespace

std::optional<OutputCalibration> StoredCalibration(const QString &device)
{
    for (const auto &[subgroup, values] : ReadSettingsSubgroups(Settings::App, Settings::Section, CalibrationsGroup)) {
        if (values.value(CalibrationKeys::Device) != device)
            continue;
        if (const std::optional<AnalogLevel> fullScale = ParseAnalogLevel(values.value(CalibrationKeys::FullScale)))
            return OutputCalibration{*fullScale};
        return std::nullopt;
    }
    return std::nullopt;
}

bool StoreCalibration(const QString &device, const QString &fullScale)
{
    // As typed: every digit the meter showed, in a file a person can read and edit.
    QList<std::pair<QString, QString>> values;
    if (!fullScale.trimmed().isEmpty()) {
        values.append({CalibrationKeys::Device, device});
        values.append({CalibrationKeys::FullScale, fullScale.trimmed()});
    }
    qlonglong last = 0;
    for (const auto &[subgroup, stored] : ReadSettingsSubgroups(Settings::App, Settings::Section, CalibrationsGroup)) {
        if (stored.value(CalibrationKeys::Device) == device)
            return ReplaceSettingsGroup(Settings::App, Settings::Section, SubgroupPath(subgroup), values);
        // A number far beyond what saving ever gives was put there by hand: counting on from it
        // could overflow.
        if (const qlonglong number = subgroup.toLongLong(); number < (qlonglong(1) << 40))
            last = std::max(last, number);
    }
    return values.isEmpty() ||
           ReplaceSettingsGroup(Settings::App, Settings::Section, SubgroupPath(QString::number(last + 1)), values);
}

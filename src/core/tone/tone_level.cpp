// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone_level.h"

#include "core/tone/output_options.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

QString OneDecimalDown(double decibels)
{
    return QString::number(std::floor(decibels * 10) / 10, 'f', 1);
}

// The highest level offered at or below the given one.
std::optional<int> HighestMenuLevel(double atMost)
{
    for (const OutputChoice &choice : OutputRow(OutputSetting::Level).choices) {
        if (choice.decibels <= atMost + 1e-9)
            return choice.decibels;
    }
    return std::nullopt;
}

} // namespace

QString TooLoudReminder(const LevelTarget &target, double highest)
{
    const QString unit = target.rms ? u" dBFS RMS"_s : u" dBFS"_s;
    const QString chosen = QString::number(target.decibels) + unit;
    if (const std::optional<int> level = HighestMenuLevel(highest))
        return u"At %1 this tone would clip: the highest level that fits is %2%3, so choose %4 dBFS or lower "
               "under Level."_s.arg(chosen, OneDecimalDown(highest), unit)
                   .arg(*level);
    // Lower than every quick choice: a level can still be typed.
    return u"At %1 this tone would clip: the highest level that fits is %2%3, below every quick choice: type it or "
           "lower with Other Level… under Level."_s.arg(chosen, OneDecimalDown(highest), unit);
}

double ToneLevels::rmsDb() const
{
    return 10 * std::log10(meanSquare) + Aes17OffsetDb;
}

double ToneLevels::peakDb() const
{
    return 20 * std::log10(peak);
}

bool IsNoGain(double decibels)
{
    return std::round(decibels * GainPlaces) == 0;
}

LevelSetting SetLevel(const LevelTarget &target, const ToneLevels &levels)
{
    LevelSetting setting;
    const double ceiling = -HeadroomDb;
    if (!target.rms) {
        const double peak = std::min(target.decibels, ceiling);
        if (!levels.peakExact)
            setting.normalisedPeakDb = peak;
        else
            setting.gainDb = peak - levels.peakDb();
        return setting;
    }
    setting.gainDb = target.decibels - levels.rmsDb();
    const double peak = levels.peakDb() + setting.gainDb;
    // The rounding of the gain to four places may not lift the peak above full scale.
    if (peak > ClipToleranceDb) {
        setting.overDb = peak;
        setting.reminder = TooLoudReminder(target, target.decibels - peak);
    } else if (peak > ceiling) {
        setting.gainDb -= peak - ceiling;
    }
    return setting;
}

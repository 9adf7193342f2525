// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/analog_level.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// 0 dBu: the voltage that dissipates 1 mW in 600 ohms, sqrt(0.6) V.
const double DbuReference = std::sqrt(0.6);
// 0 dBV is 1 V, so a level in dBV is this much lower in dBu.
const double DbvInDbu = -20 * std::log10(DbuReference);

} // namespace

double AnalogLevel::dBu() const
{
    switch (unit) {
    case AnalogUnit::DecibelsU:
        return value;
    case AnalogUnit::DecibelsV:
        return value + DbvInDbu;
    case AnalogUnit::Volts:
        return 20 * std::log10(value / DbuReference);
    }
    return value;
}

AnalogLevel AnalogLevel::in(AnalogUnit other) const
{
    const double dbu = dBu();
    switch (other) {
    case AnalogUnit::DecibelsU:
        return {dbu, other};
    case AnalogUnit::DecibelsV:
        return {dbu - DbvInDbu, other};
    case AnalogUnit::Volts:
        return {DbuReference * std::pow(10, dbu / 20), other};
    }
    return *this;
}

QString AnalogLevel::text() const
{
    if (unit == AnalogUnit::Volts) {
        // In the unit a meter would show it in: 1.228 V, 77.46 mV, 7.746 µV.
        if (value >= 1)
            return QString::number(value, 'g', 4) + u" V"_s;
        if (value >= 1e-3)
            return QString::number(value * 1e3, 'g', 4) + u" mV"_s;
        return QString::number(value * 1e6, 'g', 4) + u" µV"_s;
    }
    // Rounded first, so that a level just below zero does not read "-0.0".
    const double tenths = std::round(value * 10) / 10;
    const QString number = QString::number(tenths == 0 ? 0.0 : tenths, 'f', 1);
    return (tenths > 0 ? u"+"_s : QString()) + number + (unit == AnalogUnit::DecibelsU ? u" dBu"_s : u" dBV"_s);
}

std::optional<AnalogLevel> ParseAnalogLevel(const QString &text)
{
    static const QRegularExpression pattern(
        uR"(^\s*([+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+))\s*(dbu|dbv|mv|µv|uv|v)\s*$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double number = match.captured(1).toDouble();
    const QString unit = match.captured(2).toLower();
    if (unit == u"dbu"_s)
        return AnalogLevel{number, AnalogUnit::DecibelsU};
    if (unit == u"dbv"_s)
        return AnalogLevel{number, AnalogUnit::DecibelsV};
    // A voltage: an RMS reading, so more than nothing.
    const double volts = unit == u"v"_s ? number : unit == u"mv"_s ? number / 1e3 : number / 1e6;
    if (!(volts > 0))
        return std::nullopt;
    return AnalogLevel{volts, AnalogUnit::Volts};
}

std::optional<OutputLevel> OutputCalibration::outputLevel(const AnalogLevel &level) const
{
    const double decibels = level.dBu() - fullScale.dBu();
    const double hundredths = std::round(decibels * OutputLevel::HundredthsPerDecibel);
    // Guarded before the conversion: a level of thousands of dB must not overflow the int.
    if (!(hundredths <= 0 && hundredths >= OutputLevel::LowestHundredths))
        return std::nullopt;
    return OutputLevel::FromHundredths(int(hundredths));
}

AnalogLevel OutputCalibration::reading(const OutputLevel &level) const
{
    return AnalogLevel{fullScale.dBu() + level.decibels(), AnalogUnit::DecibelsU}.in(fullScale.unit);
}

QString OutputCalibration::rangeText() const
{
    const auto lowest = OutputLevel::FromHundredths(OutputLevel::LowestHundredths).value();
    return reading(OutputLevel()).text() + u" down to "_s + reading(lowest).text();
}

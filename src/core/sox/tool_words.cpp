// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/tool_words.h"

#include "core/tone/tone_level.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// Significant digits of a percentage rounded to ten places: enough for 100 and all ten.
constexpr int PercentDigits = 13;

double RoundedPercent(double fraction)
{
    return std::round(fraction * 1e12) / 1e10;
}

} // namespace

QString ShapeWord(ShapeKind shape)
{
    switch (shape) {
    case ShapeKind::Sine:
    case ShapeKind::PolarityPulse: // the sine, which the pulse's gate halves
        return u"sine"_s;
    case ShapeKind::Square:
        return u"square"_s;
    case ShapeKind::Sawtooth:
        return u"sawtooth"_s;
    case ShapeKind::Triangle:
        return u"triangle"_s;
    case ShapeKind::Trapezium:
        return u"trapezium"_s;
    case ShapeKind::Exp:
        return u"exp"_s;
    }
    return {};
}

QString NoiseWord(NoiseColour colour)
{
    switch (colour) {
    case NoiseColour::White:
        return u"whitenoise"_s;
    case NoiseColour::Pink:
        return u"pinknoise"_s;
    case NoiseColour::Brown:
        return u"brownnoise"_s;
    }
    return {};
}

QString PlainNumber(double value)
{
    return QString::number(value, 'g', PlainDigits);
}

QString DesignNumber(double value)
{
    return QString::number(value, 'g', DesignDigits);
}

QString DecibelWord(double decibels)
{
    const double rounded = std::round(decibels * GainPlaces) / GainPlaces;
    return QString::number(rounded == 0 ? 0 : rounded, 'f', 4).remove(QRegularExpression(u"\\.?0+$"_s));
}

QString PercentWord(double fraction)
{
    return QString::number(RoundedPercent(fraction), 'g', PercentDigits);
}

QString PhasePercentWord(double fraction)
{
    const double percent = RoundedPercent(fraction);
    return QString::number(percent == 100 ? 0 : percent, 'g', PercentDigits);
}

QString SampleCountWord(qint64 samples)
{
    return QString::number(samples) + u's';
}

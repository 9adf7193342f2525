// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/frequency_step.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

std::optional<QString> SteppedFrequency(const QString &text, double factor, double offset)
{
    static const QRegularExpression plainNumber(u"^([0-9]+([.,][0-9]*)?|[.,][0-9]+)$"_s);
    if (!plainNumber.match(text).hasMatch())
        return std::nullopt;
    const bool decimalComma = text.contains(u',');
    const double value = QString(text).replace(u',', u'.').toDouble() * factor + offset;
    if (!std::isfinite(value))
        return std::nullopt;
    // Nine places hide the binary rounding of 0.1 steps and keep many halvings exact.
    QString result = QString::number(std::max(value, 0.0), 'f', 9);
    while (result.endsWith(u'0'))
        result.chop(1);
    if (result.endsWith(u'.'))
        result.chop(1);
    return decimalComma ? result.replace(u'.', u',') : result;
}

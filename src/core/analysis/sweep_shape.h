// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QRegularExpression>
#include <QString>
#include <optional>

// What an inverse filter and an impulse response say of their sweep, at the end of their comment
// ("…, L = 1.45 s, band 20-20000 Hz"): the L that finds the harmonics' responses, and the band
// that was swept. Written by the program, read by it and by the tone window's plugin alike, so it
// stands here whole.
struct SweepShape
{
    double sweepRate = 0; // L, in seconds
    double from = 0;      // the band swept; 0 when the comment does not say (as before it did)
    double to = 0;
};

inline QString SweepShapeWords(const SweepShape &shape)
{
    return QStringLiteral(", L = %1 s, band %2-%3 Hz")
        .arg(QString::number(shape.sweepRate, 'g', 17), QString::number(shape.from, 'g', 12),
             QString::number(shape.to, 'g', 12));
}

// The shape at the end of a comment of one of Quorvane's measuring files, or nothing.
inline std::optional<SweepShape> SweepShapeOfComment(const QString &comment)
{
    static const QRegularExpression words(
        QStringLiteral("^Quorvane [a-z ]+ of .*, L = ([0-9.eE+]+) s(?:, band ([0-9.eE+]+)-([0-9.eE+]+) Hz)?$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = words.match(comment);
    if (!match.hasMatch())
        return std::nullopt;
    SweepShape shape{match.captured(1).toDouble(), match.captured(2).toDouble(), match.captured(3).toDouble()};
    if (!(shape.sweepRate > 0) || !(shape.to >= shape.from) || !(shape.from >= 0))
        return std::nullopt;
    return shape;
}

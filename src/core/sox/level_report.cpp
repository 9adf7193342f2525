// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/level_report.h"

#include "core/sox/tool_words.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// No report (the measuring run failed) or silence: no gain can be made from it, so no tone.
const QString Unmeasured = u"if (!n || p < -900) { print \"The sound tool measured no level for the tone.\" > "
                           "\"/dev/stderr\"; exit 1 } "_s;

// SetLevel for an RMS target, in awk: the gain that brings r (the RMS level, by AES17 once the
// offset is added) to the target, refused when the peak p would then be above ClipToleranceDb,
// lowered when it would be above the headroom.
QString RmsGain(const LevelTarget &target)
{
    const QString level = PlainNumber(target.decibels);
    const QString refusal = u"if (p + g > %3) { h = (%1 - (p + g)) * 10; f = int(h); if (f > h) f--; printf \"At %1%2 "
                            u"this tone would clip: "
                            "the highest level that fits is %.1f%2.\\n\", f / 10 > \"/dev/stderr\"; exit 1 } "_s.arg(
                                level, u" dBFS RMS"_s, PlainNumber(ClipToleranceDb));
    return u"g = %1 - (r + %2); %4if (p + g > %3) g = %3 - p"_s.arg(level, DesignNumber(Aes17OffsetDb),
                                                                    PlainNumber(-HeadroomDb), refusal);
}

// SetLevel for a peak target: never above the headroom.
QString PeakGain(const LevelTarget &target)
{
    return u"g = (%1 < %2 ? %1 : %2) - p"_s.arg(PlainNumber(target.decibels), PlainNumber(-HeadroomDb));
}

// Each channel's peak, after the overall one, and a gain for each as the remix effect takes it.
QString SideGains(const QList<double> &sidePeakTargets)
{
    QString gains;
    for (qsizetype side = 0; side < sidePeakTargets.size(); ++side)
        gains += u"printf \"%1%2p%.4f\", %3 - ($%4 + %5); "_s.arg(side ? u" "_s : QString())
                     .arg(side + 1)
                     .arg(PlainNumber(sidePeakTargets[side]))
                     .arg(side + 5)
                     .arg(PlainNumber(StatsRoundingDb));
    return u"/^Pk lev dB/ { p = $4 + %1; n++; if (NF != %2) n = 0; c = $0 } END { %3$0 = c; %4}"_s.arg(
        PlainNumber(StatsRoundingDb), QString::number(4 + sidePeakTargets.size()), Unmeasured, gains);
}

} // namespace

QList<ToneLevels> ParseToolStatsByChannel(const QString &errorOutput)
{
    static const QRegularExpression peak(uR"(^Pk lev dB((?:[ \t]+\S+)+)\s*$)"_s, QRegularExpression::MultilineOption);
    static const QRegularExpression rms(uR"(^RMS lev dB((?:[ \t]+\S+)+)\s*$)"_s, QRegularExpression::MultilineOption);
    const QStringList peaks = peak.match(errorOutput).captured(1).split(u' ', Qt::SkipEmptyParts);
    const QStringList rmsLevels = rms.match(errorOutput).captured(1).split(u' ', Qt::SkipEmptyParts);
    if (peaks.isEmpty() || peaks.size() != rmsLevels.size() || peaks.size() == 2)
        return {};
    QList<ToneLevels> channels;
    // One column is the only channel; more are the overall figures, then each channel's.
    for (qsizetype column = peaks.size() == 1 ? 0 : 1; column < peaks.size(); ++column) {
        bool peakRead = false;
        bool rmsRead = false;
        const double peakDb = peaks[column].toDouble(&peakRead);
        const double rmsDb = rmsLevels[column].toDouble(&rmsRead);
        if (!peakRead || !rmsRead || !std::isfinite(peakDb) || !std::isfinite(rmsDb))
            return {};
        channels.append({.peak = std::pow(10, (peakDb + StatsRoundingDb) / 20),
                         .peakExact = true,
                         .meanSquare = std::pow(10, rmsDb / 10)});
    }
    return channels;
}

QString MeasuredGainScript(const TonePlan &plan)
{
    if (!plan.level.sidePeakTargets.isEmpty())
        return SideGains(plan.level.sidePeakTargets);
    // The peak as the program reads it: the report's, plus half its rounding.
    return u"/^Pk lev dB/ { p = $4 + %1; n++ } /^RMS lev dB/ { r = $4 } END { %2%3; printf \"%.4f\", g }"_s.arg(
        PlainNumber(StatsRoundingDb), Unmeasured, plan.target.rms ? RmsGain(plan.target) : PeakGain(plan.target));
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/measure/measurement_sweep.h"

#include "core/failure.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/output_target.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// The path without the extension of its file name (a dot in a folder's name is no extension).
QString WithoutExtension(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return path.left(path.size() - (dot > 0 ? name.size() - dot : 0));
}

const QString CommentTag = u"Quorvane inverse filter"_s;

} // namespace

QString InverseFilterPath(const QString &sweepPath)
{
    return WithoutExtension(sweepPath) + u"-inverse.wav"_s;
}

QString ImpulseResponsePath(const QString &recordingPath)
{
    return WithoutExtension(recordingPath) + u"-ir.wav"_s;
}

QString InverseFilterComment(const QString &sweepPath, double sweepRate)
{
    return u"%1 of %2, L = %3 s"_s.arg(CommentTag, QFileInfo(sweepPath).fileName(),
                                       QString::number(sweepRate, 'g', 17));
}

std::optional<double> SweepRateOfComment(const QString &comment)
{
    static const QRegularExpression rate(u"^Quorvane [a-z ]+ of .*, L = ([0-9.eE+-]+) s$"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = rate.match(comment);
    bool ok = false;
    const double value = match.hasMatch() ? match.captured(1).toDouble(&ok) : 0;
    return ok && value > 0 ? std::optional(value) : std::nullopt;
}

QString ImpulseResponseComment(const QString &recordingPath, std::optional<double> sweepRate)
{
    const QString comment = u"Quorvane impulse response of "_s + QFileInfo(recordingPath).fileName();
    return sweepRate ? comment + u", L = %1 s"_s.arg(QString::number(*sweepRate, 'g', 17)) : comment;
}

bool ImpulseResponseNameTaken(const QString &recordingPath)
{
    const QString output = ImpulseResponsePath(recordingPath);
    if (!QFileInfo::exists(output))
        return false;
    const auto *measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
    const QString comment = measuring ? measuring->comment(output) : QString();
    const QString ours = ImpulseResponseComment(recordingPath, std::nullopt);
    return comment != ours && !comment.startsWith(ours + u", L = "_s);
}

bool IsInverseFilterComment(const QString &comment, const QString &sweepPath)
{
    return comment.startsWith(u"%1 of %2, L = "_s.arg(CommentTag, QFileInfo(sweepPath).fileName())) &&
           SweepRateOfComment(comment);
}

bool InverseFilterNameTaken(const QString &sweepPath)
{
    const QString inversePath = InverseFilterPath(sweepPath);
    if (!QFileInfo::exists(inversePath))
        return false;
    const auto *measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
    return !measuring || !IsInverseFilterComment(measuring->comment(inversePath), sweepPath);
}

ImpulseResponseMade WriteImpulseResponse(const QString &recordingPath, const QString &inversePath,
                                         const QString &outputPath, const MeasureProgress &progress)
{
    const auto *measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
    if (!measuring)
        throw Failure(u"The measuring part of the program (%1) could not be loaded."_s.arg(MeasurePluginFile));
    // The responses of the 2nd to 5th harmonics come before the linear one: they are kept, with
    // what rings before the 5th's, up to where the 6th's would be. A filter that does not say its L
    // (not one of ours) keeps the whole response.
    const std::optional<double> sweepRate = SweepRateOfComment(measuring->comment(inversePath));
    const double lead = sweepRate ? *sweepRate * std::log(6.0) : -1;
    OutputTarget target = PrepareOutputTarget(outputPath);
    if (!target.refusal().isEmpty())
        throw Failure(target.refusal());
    ImpulseResponseMade made;
    try {
        made = measuring->makeImpulseResponse(recordingPath, inversePath, target.writePath, lead,
                                              ImpulseResponseComment(recordingPath, sweepRate), progress);
    } catch (...) {
        if (target.viaPrivateFile())
            DiscardOutputTarget(target);
        throw;
    }
    if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
        throw Failure(problem);
    return made;
}

std::optional<QString> WriteInverseFilterBeside(const QString &sweepPath, const ToneRequest &request,
                                                const OutputOptions &options)
{
    if (!options.measurementSweep())
        return std::nullopt;
    const MeasurementSweepDesign design = DesignRequestedSweep(request, options);
    if (!design.sweep)
        return std::nullopt;
    const auto *measuring = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile);
    if (!measuring)
        throw Failure(u"The measuring part of the program (%1) could not be loaded."_s.arg(MeasurePluginFile));
    const QString inversePath = InverseFilterPath(sweepPath);
    OutputTarget target = PrepareOutputTarget(inversePath);
    if (!target.refusal().isEmpty())
        throw Failure(target.refusal());
    try {
        measuring->writeInverseFilter(sweepPath, design.sweep->sweepSamples, design.sweep->sweepRate,
                                      design.sweep->endFrequency, target.writePath,
                                      InverseFilterComment(sweepPath, design.sweep->sweepRate));
    } catch (...) {
        DiscardOutputTarget(target);
        throw;
    }
    if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
        throw Failure(problem);
    return inversePath;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/measure/measurement_sweep.h"

#include "core/failure.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/output_target.h"

#include <QFileInfo>
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

QString InverseFilterComment(const QString &sweepPath, const SweepShape &shape)
{
    return u"%1 of %2"_s.arg(CommentTag, QFileInfo(sweepPath).fileName()) + SweepShapeWords(shape);
}

QString ImpulseResponseComment(const QString &recordingPath, const std::optional<SweepShape> &shape)
{
    const QString comment = u"Quorvane impulse response of "_s + QFileInfo(recordingPath).fileName();
    return shape ? comment + SweepShapeWords(*shape) : comment;
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
           SweepShapeOfComment(comment);
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
    const std::optional<SweepShape> shape = SweepShapeOfComment(measuring->comment(inversePath));
    const double lead = shape ? shape->sweepRate * std::log(6.0) : -1;
    OutputTarget target = PrepareOutputTarget(outputPath);
    if (!target.refusal().isEmpty())
        throw Failure(target.refusal());
    ImpulseResponseMade made;
    try {
        made = measuring->makeImpulseResponse(recordingPath, inversePath, target.writePath, lead,
                                              ImpulseResponseComment(recordingPath, shape), progress);
    } catch (...) {
        if (target.viaPrivateFile())
            DiscardOutputTarget(target);
        throw;
    }
    if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
        throw Failure(problem);
    return made;
}

std::optional<QString> WriteInverseFilterBeside(const QString &sweepPath, const Tone &tone,
                                                const OutputOptions &options)
{
    if (!options.measurementSweep())
        return std::nullopt;
    const MeasurementSweepDesign design = DesignRequestedSweep(tone, options);
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
        measuring->writeInverseFilter(
            sweepPath, design.sweep->sweepSamples, design.sweep->sweepRate, design.sweep->endFrequency,
            target.writePath,
            InverseFilterComment(sweepPath, {design.sweep->sweepRate, design.sweep->from, design.sweep->to}));
    } catch (...) {
        DiscardOutputTarget(target);
        throw;
    }
    if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
        throw Failure(problem);
    return inversePath;
}

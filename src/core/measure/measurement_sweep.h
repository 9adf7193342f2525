// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/sweep_shape.h"
#include "core/plan/sweep_plan.h"
#include "core/plugins/measure_plugin.h"

#include <QString>
#include <QStringList>
#include <optional>

// Where Save puts the inverse filter of a sweep saved at this path: beside it, named after it.
QString InverseFilterPath(const QString &sweepPath);
// Where Make Impulse Response puts the response of a recording: beside it, named after it.
QString ImpulseResponsePath(const QString &recordingPath);
// The comment an inverse filter carries, which tells the inverse of an earlier Save of the same
// name from a file of someone else's, and holds the sweep's shape: its L, by which the response's
// start is measured, and its band.
QString InverseFilterComment(const QString &sweepPath, const SweepShape &shape);
// The comment an impulse response carries, with the sweep's shape when it is known: the tone
// window finds the harmonics' responses by it.
QString ImpulseResponseComment(const QString &recordingPath, const std::optional<SweepShape> &shape);
// Whether a comment is that of the inverse filter of a sweep saved at that path.
bool IsInverseFilterComment(const QString &comment, const QString &sweepPath);

// Whether a file is at the name the inverse filter of a sweep saved at sweepPath takes, and is not
// the inverse filter of an earlier sweep of that name (which is the sweep's own, to be replaced).
bool InverseFilterNameTaken(const QString &sweepPath);

// Whether a file is at the name the response of that recording takes, and is not an earlier
// response of a recording of that name (which is the recording's own, to be replaced).
bool ImpulseResponseNameTaken(const QString &recordingPath);

// Makes the impulse response of a recording of the sweep with its inverse filter, through the
// measuring plugin, at outputPath, written beside it until it is whole as a saved tone is; the
// harmonics' responses are kept before the linear one when the filter says its L. Throws a Failure
// that says why (or "Cancelled." when progress asked to stop); nothing is then left behind.
ImpulseResponseMade WriteImpulseResponse(const QString &recordingPath, const QString &inversePath,
                                         const QString &outputPath, const MeasureProgress &progress = {});

// After a measurement sweep is saved at sweepPath: writes its inverse filter beside it, through
// the measuring plugin, and returns its path; nothing when the options make no measurement sweep.
// Throws a Failure when it cannot be written; a file of that name is then as it was.
std::optional<QString> WriteInverseFilterBeside(const QString &sweepPath, const Tone &tone,
                                                const OutputOptions &options);

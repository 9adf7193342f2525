// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/sample_layout.h"

#include <QString>
#include <QStringList>
#include <optional>

// Reading a written file back with the tool itself, for the formats libsndfile cannot tell: the
// tool decodes all of it, names its channels and rate, and counts every sample it can decode.

// The arguments of that run for the file at path. A file without a header is read with the layout
// it was written in, given here; withEncoding adds the sample size and encoding too.
QStringList DecodeArguments(const QString &path, const std::optional<SampleLayout> &writtenAs = std::nullopt,
                            bool withEncoding = false);

// The tool could not tell the file's layout from the file: it needs the one it was written in.
bool DecodeNeedsLayout(const QString &report);

struct DecodedLayout
{
    int channels = 1;
    int sampleRate = 0;
    qint64 frames = 0;
};

// What the run reported, or nothing when the report does not say it all.
std::optional<DecodedLayout> ReadDecodeReport(const QString &report);

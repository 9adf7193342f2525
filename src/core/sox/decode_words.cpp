// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/decode_words.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

QStringList DecodeArguments(const QString &path, const std::optional<SampleLayout> &writtenAs, bool withEncoding)
{
    // "-V3" names the channels and the rate, and "stat" counts every sample that can be decoded.
    QStringList arguments{u"-V3"_s};
    if (writtenAs) {
        arguments << u"-r"_s << QString::number(writtenAs->sampleRate) << u"-c"_s
                  << QString::number(writtenAs->channels);
        if (withEncoding)
            arguments << u"-b"_s << QString::number(writtenAs->bitsPerSample) << u"-e"_s
                      << (writtenAs->floatSamples ? u"floating-point"_s : u"signed-integer"_s);
    }
    return arguments + QStringList{path, u"-n"_s, u"stat"_s};
}

bool DecodeNeedsLayout(const QString &report)
{
    return report.contains(u"not specified"_s);
}

std::optional<DecodedLayout> ReadDecodeReport(const QString &report)
{
    static const QRegularExpression channels(uR"(Channels\s*:\s*(\d+))"_s);
    static const QRegularExpression rate(uR"(Sample Rate\s*:\s*([0-9.]+))"_s);
    static const QRegularExpression samples(uR"(Samples read:\s*(\d+))"_s);
    const auto channelsRead = channels.match(report);
    const auto rateRead = rate.match(report);
    const auto samplesRead = samples.match(report);
    if (!channelsRead.hasMatch() || !rateRead.hasMatch() || !samplesRead.hasMatch())
        return std::nullopt;
    DecodedLayout layout;
    layout.channels = std::max(1, channelsRead.captured(1).toInt());
    layout.sampleRate = int(std::lround(rateRead.captured(1).toDouble()));
    layout.frames = samplesRead.captured(1).toLongLong() / layout.channels;
    return layout;
}

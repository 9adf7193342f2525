// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/tone_progress.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 QuietMs = 1000;

} // namespace

std::optional<qint64> ExpectedSoundBytes(const QString &outputPath, const ToneShape &shape)
{
    static const QStringList plainFormats{u"wav"_s, u"wave"_s, u"aif"_s, u"aiff"_s, u"au"_s, u"snd"_s, u"raw"_s};
    if (!shape.seconds || shape.buffered || !plainFormats.contains(QFileInfo(outputPath).suffix().toLower()))
        return std::nullopt;
    const double frames = std::round(*shape.seconds * shape.layout.sampleRate);
    const qint64 bytes = qint64(frames) * shape.layout.channels * ((shape.layout.bitsPerSample + 7) / 8);
    if (bytes <= 0)
        return std::nullopt;
    return bytes;
}

std::optional<QString> ToneProgressText(qint64 elapsedMs, qint64 writtenBytes, std::optional<qint64> expectedBytes)
{
    if (elapsedMs <= QuietMs)
        return std::nullopt;
    if (expectedBytes) {
        const qint64 percent = std::clamp<qint64>(writtenBytes * 100 / *expectedBytes, 0, 99);
        return u"making tone %1 %"_s.arg(percent);
    }
    return u"making tone %1 s"_s.arg(elapsedMs / 1000);
}

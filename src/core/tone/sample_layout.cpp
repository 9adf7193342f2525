// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/sample_layout.h"

#include <algorithm>

qint64 SampleLayout::maxSamples() const
{
    const qint64 bytesPerSample = qint64(std::max(1, (bitsPerSample + 7) / 8)) * std::max(1, channels);
    return std::min(MaxSoundDataBytes / bytesPerSample, MaxLengthSamples);
}

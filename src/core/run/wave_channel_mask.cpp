// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/wave_channel_mask.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr quint16 PcmTag = 0x0001;
constexpr quint16 FloatTag = 0x0003;
constexpr quint16 ExtensibleTag = 0xFFFE;
// The extensible format chunk: the plain one's 16 bytes, the size of the extension (22), the valid
// bits, the mask and the sub-format's GUID.
constexpr qint64 ExtensibleSize = 40;
constexpr qint64 MaskOffset = 20;
// The GUID of a sub-format after its first two bytes, which are the plain format's tag.
constexpr std::array<quint8, 14> GuidTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr qint64 MoveBlock = 1 << 20;

QByteArray LittleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QString Unwritable(const QFile &file)
{
    return u"The channel layout could not be written into the file: %1"_s.arg(file.errorString());
}

// Moves everything from `from` to the end of the file `by` bytes on, from the end backwards, so
// that nothing is overwritten before it has been moved.
bool MoveTail(QFile &file, qint64 from, qint64 by)
{
    const qint64 end = file.size();
    if (!file.resize(end + by))
        return false;
    for (qint64 blockEnd = end; blockEnd > from;) {
        const qint64 start = std::max(from, blockEnd - MoveBlock);
        if (!file.seek(start))
            return false;
        const QByteArray block = file.read(blockEnd - start);
        if (block.size() != blockEnd - start || !file.seek(start + by) || file.write(block) != block.size())
            return false;
        blockEnd = start;
    }
    return true;
}

} // namespace

quint32 WaveChannelMask(int channels)
{
    switch (channels) {
    case 4:
        return 0x33;
    case 6:
        return 0x3F;
    case 8:
        return 0x63F;
    default:
        return 0;
    }
}

QString SetWaveChannelMask(const QString &path, int channels)
{
    const quint32 mask = WaveChannelMask(channels);
    if (mask == 0)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return Unwritable(file);
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8) != "WAVE")
        return {};
    // The format chunk, the first that a WAVE file must have before its samples.
    qint64 at = 12;
    QByteArray chunk = file.read(8);
    while (chunk.size() == 8 && !chunk.startsWith("fmt ")) {
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        at += 8 + qint64(size) + (size & 1);
        if (!file.seek(at))
            break;
        chunk = file.read(8);
    }
    const qint64 size = chunk.size() == 8 ? qFromLittleEndian<quint32>(chunk.constData() + 4) : 0;
    QByteArray format = file.read(size);
    if (size < 16 || format.size() != size)
        return u"The written file has no readable format header, so its channel layout cannot be set."_s;
    const quint16 tag = qFromLittleEndian<quint16>(format.constData());
    if (tag == ExtensibleTag && size >= MaskOffset + 4) {
        if (qFromLittleEndian<quint32>(format.constData() + MaskOffset) == mask)
            return {};
        if (!file.seek(at + 8 + MaskOffset) || file.write(LittleEndian32(mask)) != 4)
            return Unwritable(file);
        return {};
    }
    if (tag != PcmTag && tag != FloatTag)
        return u"The written file's sample format has no channel layout."_s;
    // The plain header grows into the extensible one; the chunks after it move on to make room.
    QByteArray extensible = format.left(16);
    const quint16 bits = qFromLittleEndian<quint16>(format.constData() + 14);
    extensible.append("\x16\x00", 2);
    extensible.append(char(bits & 0xFF)).append(char(bits >> 8));
    extensible.append(LittleEndian32(mask));
    extensible.append(char(tag & 0xFF)).append(char(tag >> 8));
    extensible.append(reinterpret_cast<const char *>(GuidTail.data()), qsizetype(GuidTail.size()));
    qToLittleEndian(ExtensibleTag, extensible.data());
    const qint64 growth = ExtensibleSize - size - (size & 1);
    const quint32 riffSize = qFromLittleEndian<quint32>(riff.constData() + 4);
    if (!MoveTail(file, at + 8 + size + (size & 1), growth) || !file.seek(at) || file.write("fmt ", 4) != 4 ||
        file.write(LittleEndian32(quint32(ExtensibleSize))) != 4 || file.write(extensible) != ExtensibleSize ||
        !file.seek(4) || file.write(LittleEndian32(riffSize + quint32(growth))) != 4 || !file.flush())
        return Unwritable(file);
    return {};
}

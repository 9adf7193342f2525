// SPDX-License-Identifier: GPL-3.0-or-later

#include "hand_cursor.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

std::optional<QPoint> CursorFileHotSpot(const QByteArray &data)
{
    // The icon directory (reserved, type, count), then the first entry: width, height, palette
    // size, reserved, and where an icon has planes and bit count, a cursor has the hot spot.
    constexpr qsizetype HeaderSize = 6 + 16;
    if (data.size() < HeaderSize)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const auto word = [bytes](int offset) { return int(qFromLittleEndian<quint16>(bytes + offset)); };
    constexpr int CursorType = 2;
    if (word(0) != 0 || word(2) != CursorType || word(4) == 0)
        return std::nullopt;
    // A size byte of 0 stands for 256 pixels.
    const int width = bytes[6] ? bytes[6] : 256;
    const int height = bytes[7] ? bytes[7] : 256;
    const QPoint hotSpot(word(10), word(12));
    if (hotSpot.x() >= width || hotSpot.y() >= height)
        return std::nullopt;
    return hotSpot;
}

std::optional<QCursor> LoadCursorFile(const QString &path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    std::optional<QPoint> hotSpot;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        hotSpot = CursorFileHotSpot(file.read(22));
    // QCursor takes a negative hot spot as the centre of the picture.
    const QPoint spot = hotSpot.value_or(QPoint(-1, -1));
    return QCursor(QPixmap::fromImage(image), spot.x(), spot.y());
}

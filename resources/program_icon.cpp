// SPDX-License-Identifier: GPL-3.0-or-later

#include "program_icon.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QResource>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

const QList<QSize> IconSizes{{32, 32}, {48, 48}, {128, 128}, {256, 256}};

QString ResourcePath(const QSize &size)
{
    return QStringLiteral(":/icons/quorvane-%1.pixels").arg(size.width());
}

// The pixels that the build decoded from the PNG (see icon_pixels.cpp), copied out of the program.
QImage EmbeddedImage(const QString &path)
{
    const QByteArray data = QResource(path).uncompressedData();
    std::array<quint32, 4> head{};
    if (data.size() < qsizetype(sizeof head))
        return {};
    std::memcpy(head.data(), data.constData(), sizeof head);
    for (quint32 &number : head)
        number = qFromLittleEndian(number);
    const auto [width, height, format, bytesPerLine] = head;
    if (data.size() - qsizetype(sizeof head) < qsizetype(height) * qsizetype(bytesPerLine))
        return {};
    return QImage(reinterpret_cast<const uchar *>(data.constData()) + sizeof head, int(width), int(height),
                  qsizetype(bytesPerLine), QImage::Format(format))
        .copy();
}

// The four images are made only when one is first asked for: offscreen never, under X when the
// window is shown.
class ProgramIconEngine : public QIconEngine
{
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().pixmap(size, mode, state);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return mode == QIcon::Normal && state == QIcon::Off ? IconSizes : QList<QSize>();
    }

    // Present when the program holds all four images (looked up, not decoded).
    bool isNull() override
    {
        return !std::all_of(IconSizes.begin(), IconSizes.end(),
                            [](const QSize &size) { return QFile::exists(ResourcePath(size)); });
    }
    QIconEngine *clone() const override { return new ProgramIconEngine; }
    QString key() const override { return QStringLiteral("ProgramIconEngine"); }

private:
    const QIcon &loaded()
    {
        if (!std::exchange(m_decoded, true)) {
            for (const QSize &size : IconSizes)
                m_icon.addPixmap(QPixmap::fromImage(EmbeddedImage(ResourcePath(size))));
        }
        return m_icon;
    }

    QIcon m_icon;
    bool m_decoded = false;
};

} // namespace

QIcon ProgramIcon()
{
    return QIcon(new ProgramIconEngine);
}

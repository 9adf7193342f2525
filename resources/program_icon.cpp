// SPDX-License-Identifier: GPL-3.0-or-later

#include "program_icon.h"

#include <QFile>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace {

const QList<QSize> IconSizes{{32, 32}, {48, 48}, {128, 128}, {256, 256}};

QString ResourcePath(const QSize &size)
{
    return QStringLiteral(":/icons/quorvane-%1.png").arg(size.width());
}

// The four images are decoded only when one is first asked for: offscreen never, under X when
// the window is shown. Each is read as PNG outright, because a reader left to find the format
// loads every image plugin there is (a dozen libraries) to ask them.
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
            for (const QSize &size : IconSizes) {
                QImageReader reader(ResourcePath(size), "png");
                reader.setAutoDetectImageFormat(false);
                m_icon.addPixmap(QPixmap::fromImage(reader.read()));
            }
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

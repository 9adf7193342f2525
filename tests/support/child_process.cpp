// SPDX-License-Identifier: GPL-3.0-or-later

#include "child_process.h"

#include <QDirIterator>
#include <QFile>

pid_t FirstChildProcess(qint64 parent)
{
    QDirIterator tasks(QStringLiteral("/proc/%1/task").arg(parent), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        QFile children(tasks.next() + QStringLiteral("/children"));
        if (children.open(QIODevice::ReadOnly)) {
            const QByteArray pids = children.readAll().trimmed();
            if (!pids.isEmpty())
                return pid_t(pids.split(' ').first().toInt());
        }
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

bool WriteFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return !permissions || file.setPermissions(permissions);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable: " + QFile::encodeName(path) + '>';
}

QString PrivateFileBeingWritten(const QString &folder)
{
    for (const QFileInfo &made : QDir(folder).entryInfoList({u".quorvane-*"_s}, QDir::Dirs | QDir::Hidden)) {
        const QFileInfoList files = QDir(made.filePath()).entryInfoList(QDir::Files);
        if (!files.isEmpty() && files.first().size() > 0)
            return files.first().filePath();
    }
    return {};
}

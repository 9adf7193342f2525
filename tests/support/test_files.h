// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Reading and planting files in tests, with the result checked where it is used.

// Read, write and run for the owner alone: how the program leaves its tool.
inline constexpr QFileDevice::Permissions ExecutableByOwner =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Writes the whole content, replacing what was there, then gives the file these permissions
// unless none are given; false when any of it failed.
bool WriteFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions = {});

// The whole file; a text naming the path when it cannot be read, so that two unreadable files
// never pass for the same content.
QByteArray ReadFile(const QString &path);

// The private file that a Save is writing beside its chosen name in the folder, once the tool has
// begun to write it; empty before.
QString PrivateFileBeingWritten(const QString &folder);

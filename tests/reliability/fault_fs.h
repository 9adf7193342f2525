// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Real file-system faults for tests: small full folders and folders that refuse writing, made
// with the kernel's own means (not with permissions, which root ignores).
//
// Mounts are made in a mount namespace of the calling thread alone (inherited by the programs it
// starts), so nothing stays mounted on the machine when a test ends or dies.
namespace FaultFs {

// Enters the private mount namespace once. False (with the reason) when this process may not mount.
bool PrivateMounts(QString *why = nullptr);

// A fresh tmpfs of this many bytes on the (existing) folder.
bool MountSmall(const QString &folder, qint64 bytes, QString *why = nullptr);

// Unmounts what MountSmall or MakeReadOnly mounted on the folder.
bool Unmount(const QString &folder);

// Makes the folder refuse new files and deletions, by whatever works here: a read-only bind
// mount, else the immutable attribute, else (not as root) its permissions. Returns how it was
// done, or an empty text with the reason in why.
QString MakeReadOnly(const QString &folder, QString *why = nullptr);

// Sets or clears the immutable attribute of a folder: nobody, root included, may then add or
// remove a name in it, while the files in it may still be written. False when not possible here.
bool SetImmutable(const QString &folder, bool on);

// Undoes MakeReadOnly.
void MakeWritable(const QString &folder, const QString &how);

} // namespace FaultFs

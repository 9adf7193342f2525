// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run/command_steps.h"

#include <QByteArray>
#include <QString>
#include <array>

// The synthesis tool and the four libraries that travel with it, embedded in the program and
// written into the program's private working folder for each run. The table order is the order
// of writing and of deleting.
struct ToolFile
{
    int resourceId;
    const char16_t *fileName;
    bool executable; // written 0700 when true, else 0600
};

inline constexpr std::array<ToolFile, 5> ToolFiles{{
    {101, u"sox.exe", true},
    {102, u"LibMad.dll", false},
    {103, u"LibMp3Lame.dll", false},
    {104, u"pthreadgc2.dll", false},
    {105, u"zlib1.dll", false},
}};

// WorkFolder() + "/" + the row's file name, built at the time of the call. Throws like WorkFolder().
QString ToolPath(const ToolFile &row);

// The embedded bytes of one row. Throws Failure when the program holds no such resource.
QByteArray LoadToolResource(int resourceId);

// True when something exists at the path. Never throws.
bool FileExists(const QString &path);

// True when a regular file (not a symlink) at the path is owned by this user, is not
// writable by group or others, and holds exactly these bytes: the only kind of left-over
// tool file that may be used as it is. A program must also be executable by its owner.
// Never throws.
bool IsTrustedCopy(const QString &path, const QByteArray &bytes, bool mustBeExecutable = false);

// Puts a private copy of bytes at path (mode 0700 for a program, else 0600). Whatever is at the
// path, another user's file or a link to one, is never written through: a new file is made in the
// same folder and renamed over the name. Callers check first whether a trusted copy is already
// there (IsTrustedCopy). Lets the window handle pending events first. Throws Failure when the
// file cannot be written.
void WriteResourceFile(const QByteArray &bytes, const QString &path, bool executable = false);

// Deletes one file whatever its permissions. Throws Failure when it cannot.
void ForceDeleteFile(const QString &path);

// Deletes one file; when the plain deletion fails, tries ForceDeleteFile; never reports.
// Lets the window handle pending events first.
void DeleteFileQuiet(const QString &path);

// Writes every tool file that is not already there as a trusted copy, in table order. Each row
// is three numbered statements, six lines apart from the next row's: the load (firstLine), the
// test whether a write is needed (+2), and the write (+4, on a line that repeats that test; the
// repeat reads the first answer, so each file is checked once). A failing row does not stop the
// next one. Nothing is tried when the working folder cannot be made (see WorkFolderProblem).
void DeployToolFiles(CommandSteps &steps, qint32 firstLine);

// Deletes the tool files in table order, one numbered statement each, two lines apart.
void RemoveToolFiles(CommandSteps &steps, qint32 firstLine);

// Checks a program file that is about to be started, on the opened file itself: throws Failure
// unless it is a trusted copy of the embedded tool (see IsTrustedCopy).
void CheckTrustedTool(int openedFile);

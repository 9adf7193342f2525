#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

// The synthesis tool and the four libraries that travel with it, embedded in the program and
// written into the temporary folder for each run. The table order is the order of writing and
// of deleting.
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

// TempFolder() + "/" + the row's file name, built at the time of the call.
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

// Writes bytes to path unless a trusted copy is already there. A file or link of another kind
// at the path is never written through: a new file is made in the same folder and renamed over
// it. Lets the window handle pending events first. Throws Failure when the file cannot be written.
void WriteResourceFile(const QByteArray &bytes, const QString &path, bool executable = false);

// Deletes one file whatever its permissions. Throws Failure when it cannot.
void ForceDeleteFile(const QString &path);

// Deletes one file; when the plain deletion fails, tries ForceDeleteFile; never reports.
// Lets the window handle pending events first.
void DeleteFileQuiet(const QString &path);

// Writes every missing (or untrusted) tool file. A row that fails goes to onRowFailure and the
// next row follows; without a handler the first failure is thrown after the last row.
void DeployTools(const std::function<void(const std::exception &)> &onRowFailure = {});

// Deletes the five tool files. Never throws.
void RemoveTools();

// Checks a program file that is about to be started, on the opened file itself: throws Failure
// unless it is a trusted copy of the embedded tool (see IsTrustedCopy).
void CheckTrustedTool(int openedFile);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct stat;

// The shared base of the program's working folder: TEMP when set and not empty, else TMPDIR
// when set and not empty, else "/tmp". A relative value is taken from the current folder, so no
// path built on it starts with "-". Read afresh at every call, so a test or the user can redirect
// it at any time.
QString TempFolder();

// This running program's own working folder, where the tool files and the preview are written, so
// that any number of programs of one user can make tones side by side. It is "run-XXXXXX", made
// with mode 0700 in "quorvane-<uid>" in TempFolder(), and removed when the program ends; one that a
// crashed program left is removed at a later start. "quorvane-<uid>" is used only when, looked at
// without following links, it is a real directory of this user that nobody else can enter or could
// have written to (a mode that lets others read it is tightened). When the name is taken by
// anything else, a fresh private folder "quorvane-<uid>-XXXXXX" is this program's folder instead,
// and the reason is logged. When no folder can be made (the base is missing or read-only, say), a
// name is returned all the same and WorkFolderProblem() says why. Throws Failure only when the name
// is taken and no fresh folder can be made either.
QString WorkFolder();

// Why WorkFolder() cannot be used, naming the temporary folder and the system's reason, or an
// empty text when it can. Never throws.
QString WorkFolderProblem();

// WorkFolder() + "/preview.wav": the one file that Preview writes and plays.
QString PreviewPath();

// PreviewPath() with nothing left at it, for a new preview: whatever is there (an earlier preview,
// or a link left in a folder that was open to others) is removed, never written through.
QString FreshPreviewPath();

// Why a file or folder with this status is not this user's alone: another owner, or any of the
// permission bits othersMayNot set; an empty text when it is.
QString OwnershipProblem(const struct stat &status, unsigned othersMayNot);

// Why the folder is not private to this user (looked at without following links), or an empty
// text when it is: a real directory owned by this user with no access for group or others.
QString PrivateFolderProblem(const QString &folder);

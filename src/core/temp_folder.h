// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct stat;

// The shared base of the program's working folder: TEMP when set and not empty, else TMPDIR
// when set and not empty, else "/tmp". Read afresh at every call and taken unchanged, so a test
// or the user can redirect it at any time.
QString TempFolder();

// The program's own folder inside TempFolder(), where the tool files and the preview are
// written: "quorvane-<uid>", made with mode 0700. It is used only when, looked at without
// following links, it is a real directory of this user with no access for group or others; a
// wider mode of our own folder is tightened. When the name is taken by anything else, a fresh
// private folder "quorvane-<uid>-XXXXXX" is made for the rest of this run, and the reason is
// logged. When no folder can be made (the base is missing or read-only, say), the name is
// returned all the same, so that every write into it fails with the system's own reason.
// Throws Failure only when the name is taken and no fresh folder can be made either.
QString WorkFolder();

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

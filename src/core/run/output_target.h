// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

// Where the tool writes a tone that is saved. The tool reads more into a file name than a name:
// it opens a playlist named as the output and takes its lines as files and addresses (fetching
// those through the shell), and it expands wildcards, so "c?.wav" would overwrite "c1.wav". A file
// that is written in place is also lost when the tool fails halfway. So the tool writes a fresh
// file, "tone" and the chosen extension, in a private folder made beside the chosen name, and that
// file is renamed over the name when the tone is complete: nothing is written through a link, into
// another user's file or over an older file that a failed run would spoil. The tool creates the
// file itself: a file made ahead for it would be truncated as it opens it, and the file system
// would then write the whole tone out to the disk when the tool closes it, which a long Save waits
// for. The chosen path itself is written only when it is a device or a named pipe (which a rename
// would replace), or in a folder of the person's own where no new file can be made but the file
// may be written (as the tool always could).
//
// In a folder where anyone else may add or remove names (see IsSharedFolder), a link or another
// user's file at the chosen name is refused with a reminder. There the private folder could also be
// swapped for a link while the tool writes in it, so the tool reaches it through a link in the
// program's own working folder to the descriptor held open here (/proc/self/fd/N): it writes in
// that very folder whatever is done to its name.
struct OutputTarget
{
    QString chosenPath;
    QString writePath;        // where the writer writes: the chosen path, or the private file (maybe by the link)
    QString privateFolder;    // the private folder beside the chosen name, or empty
    QString privateName;      // the private file's name in it
    QString problem;          // why nothing may be written at the chosen path; empty when it may
    QString reminder;         // why the person must choose another name (a link or another user's file)
    int privateFolderFd = -1; // the private folder, held open in a shared folder
    int keptMode = -1;        // the mode of the file that the tone replaces, or -1 for a new file
    bool nameWasFree = false; // nothing was at the chosen name in a shared folder: nothing may be replaced

    bool viaPrivateFile() const { return !privateFolder.isEmpty(); }
    // The problem or the reminder, whichever there is.
    QString refusal() const { return reminder.isEmpty() ? problem : reminder; }
};

// Why the name cannot be a sound file at all (it has no extension to name the format, or the tool
// reads it as a playlist), as a reminder for the person, or nothing.
std::optional<QString> OutputNameReminder(const QString &chosenPath);

// The path as the tool must take it to read no pattern into it: true when it holds the wildcard
// characters that the tool would expand (it then needs to be told not to, just before it).
bool NeedsNoGlob(const QString &path);

// Whether anyone but this user may add or remove names in the folder (see IsSharedFolder).
bool IsSharedFolder(const QString &folder);

// Decides how to write the chosen path, making the private folder when one is needed.
OutputTarget PrepareOutputTarget(const QString &chosenPath);

// Renames the private file over the chosen name and removes its folder; the reason when that fails,
// else an empty text.
QString CommitOutputTarget(OutputTarget &target);

// Removes the private file and folder of a run that did not make the whole tone. Commit and
// Discard each end the target: the folder is no longer tracked (see TrackPrivateFolder) and its
// descriptor closed.
void DiscardOutputTarget(OutputTarget &target);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

// Where the tool writes a tone that is saved. The tool reads more into a file name than a name:
// it opens a playlist named as the output and takes its lines as files and addresses (fetching
// those through the shell), and it expands wildcards, so "c?.wav" would overwrite "c1.wav". A file
// that is written in place is also lost when the tool fails halfway. So the tool writes a fresh
// private file beside the chosen name, whose name holds only letters, digits and the chosen
// extension, and that file is renamed over the name when the tone is complete: nothing is written
// through a link, into another user's file or over an older file that a failed run would spoil.
// The chosen path itself is written only when it is a device or a named pipe (which a rename would
// replace), or in a folder of the person's own where no new file can be made but the file may be
// written (as the tool always could).
//
// In a folder where anyone else may add or remove names (see IsSharedFolder), a link or another
// user's file at the chosen name is refused with a reminder. There the private file could also be
// swapped for a link while the tool writes it, so the tool reaches it through a link in the
// program's own working folder to the descriptor held open here (/proc/self/fd/N): it writes that
// very file whatever is done to its name.
struct OutputTarget
{
    QString chosenPath;
    QString writePath;        // where the tool writes: the chosen path, the private file or the link to it
    QString privatePath;      // the private file beside the chosen name, or empty
    QString problem;          // why nothing may be written at the chosen path; empty when it may
    QString reminder;         // why the person must choose another name (a link or another user's file)
    int privateFile = -1;     // the private file, held open in a shared folder
    bool nameWasFree = false; // nothing was at the chosen name in a shared folder: nothing may be replaced

    bool viaPrivateFile() const { return !privatePath.isEmpty(); }
    // The problem or the reminder, whichever there is.
    QString refusal() const { return reminder.isEmpty() ? problem : reminder; }
};

// Why the name cannot be a sound file at all (it has no extension to name the format, or the tool
// reads it as a playlist), as a reminder for the person, or nothing.
std::optional<QString> OutputNameReminder(const QString &chosenPath);

// The path as the tool must take it to read no pattern into it: true when it holds the wildcard
// characters that the tool would expand (it then needs "--no-glob" just before it).
bool NeedsNoGlob(const QString &path);

// Whether anyone but this user may add or remove names in the folder (see IsSharedFolder).
bool IsSharedFolder(const QString &folder);

// Decides how to write the chosen path, making the private file when one is needed.
OutputTarget PrepareOutputTarget(const QString &chosenPath);

// Renames the private file over the chosen name; the reason when that fails, else an empty text.
QString CommitOutputTarget(OutputTarget &target);

// Removes the private file of a run that did not make the whole tone. Commit and Discard each
// end the target: the file is no longer tracked (see TrackPrivateFile) and its descriptor closed.
void DiscardOutputTarget(OutputTarget &target);

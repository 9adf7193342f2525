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
struct OutputTarget
{
    QString chosenPath;
    QString writePath; // where the tool writes: the chosen path, or the private file beside it
    QString problem;   // why nothing may be written at the chosen path; empty when it may

    bool viaPrivateFile() const { return writePath != chosenPath; }
};

// Why the name cannot be a sound file at all (the tool reads it as a playlist), as a reminder
// for the person, or nothing.
std::optional<QString> OutputNameReminder(const QString &chosenPath);

// The path as the tool must take it to read no pattern into it: true when it holds the wildcard
// characters that the tool would expand (it then needs "--no-glob" just before it).
bool NeedsNoGlob(const QString &path);

// Decides how to write the chosen path, making the private file when one is needed.
OutputTarget PrepareOutputTarget(const QString &chosenPath);

// Renames the private file over the chosen name; the reason when that fails, else an empty text.
QString CommitOutputTarget(const OutputTarget &target);

// Removes the private file of a run that did not make the whole tone.
void DiscardOutputTarget(const OutputTarget &target);

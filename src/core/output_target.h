// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Where the tool writes a tone that is saved. In a folder that every user may write to and that
// keeps each user's files their own (a sticky folder such as /tmp), anyone can put a link or a file
// of their own under the name chosen before the tool opens it, and the tool would write through
// it. There the tool writes a fresh private file beside the chosen name, which only we can replace,
// and that file is renamed over the name when the tone is complete: nothing is written through a
// link or into another user's file. Anywhere else (the user's own folders, a device, a named pipe)
// the tool writes the chosen path itself.
struct OutputTarget
{
    QString chosenPath;
    QString writePath; // where the tool writes: the chosen path, or the private file beside it
    QString problem;   // why nothing may be written at the chosen path; empty when it may

    bool viaPrivateFile() const { return writePath != chosenPath; }
};

// Decides how to write the chosen path, making the private file when one is needed.
OutputTarget PrepareOutputTarget(const QString &chosenPath);

// Renames the private file over the chosen name; the reason when that fails, else an empty text.
QString CommitOutputTarget(const OutputTarget &target);

// Removes the private file of a run that did not make the whole tone.
void DiscardOutputTarget(const OutputTarget &target);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The private files that are written beside a chosen name and renamed over it when whole (see
// OutputTarget) never outlive the command that makes them. Each one is tracked from the moment it
// is made until it is put in place or removed:
// - in this process, so that a stop signal (SIGTERM, SIGHUP, SIGINT) or the window's closing
//   removes it; the signal then ends the program as it would have, with the usual status;
// - in a record file of its own in the user's state folder (PrivateFileRecords()), locked for as
//   long as the program runs, so that a later start removes one that a kill or a power cut left.
//   The records are kept there and not in the temporary folder, which a boot often empties while
//   the files they name stay; and they say where each file is, so no folder is ever searched.

// Starts tracking the private file just made at the path; fd is the file itself, opened.
void TrackPrivateFile(const QString &path, int fd);

// Stops tracking the private file: it was put in place or removed.
void ForgetPrivateFile(const QString &path);

// Removes every private file that is being written, with its record: the program ends mid-command.
void RemovePrivateFiles();

// Removes the private files that earlier runs of this user left, killed or stopped with the
// machine: only a file that no running program's record holds, and only while it is still the
// very file recorded (the same device and inode, a regular file of this user under a private
// file's name, never through a link). Called at every start.
void RemoveLeftoverPrivateFiles();

// The folder of the records: "quorvane" in XDG_STATE_HOME, or in ~/.local/state without it.
QString PrivateFileRecords();

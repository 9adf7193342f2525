// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The private folders whose file is written beside a chosen name and renamed over it when whole
// (see OutputTarget) never outlive the command that makes them. Each one is tracked from the moment
// it is made until its file is put in place or removed:
// - in this process, so that a stop signal (SIGTERM, SIGHUP, SIGINT) or the window's closing
//   removes it; the signal then ends the program as it would have, with the usual status;
// - in a record file of its own in the user's state folder (PrivateFileRecords()), locked for as
//   long as the program runs, so that a later start removes one that a kill or a power cut left.
//   The records are kept there and not in the temporary folder, which a boot often empties while
//   the folders they name stay; and they say where each folder is, so no folder is ever searched.

// Starts tracking the private folder just made at the path, whose file will be the name.
void TrackPrivateFolder(const QString &folder, const QString &fileName);

// Stops tracking the private folder: its file was put in place or removed.
void ForgetPrivateFolder(const QString &folder);

// Removes every private folder that is being written in, with its file and its record: the program
// ends mid-command.
void RemovePrivateFiles();

// Removes the private folders that earlier runs of this user left, killed or stopped with the
// machine: only a folder that no running program's record holds, and only while it is still the
// very folder recorded (the same device and inode, a folder of this user under a private folder's
// name, never through a link), with the files of this user in it. Called at every start.
void RemoveLeftoverPrivateFiles();

// The folder of the records: "quorvane" in XDG_STATE_HOME, or in ~/.local/state without it.
QString PrivateFileRecords();

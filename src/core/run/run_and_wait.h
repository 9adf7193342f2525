// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Added to the start error's number when a program cannot be started (0x80040000 as a
// signed 32-bit value), so a failed start is always negative.
inline constexpr qint32 StartFailureOffset = qint32(0x80040000u);

// Exit code meaning "still running"; a program that exits with it would never be noticed.
inline constexpr qint32 StillActive = 259;

// How much of the tool's standard error is kept for the person to read.
inline constexpr qsizetype MaxErrorOutput = qsizetype(64) * 1024;

// Called with the opened program file just before it is started; throws to refuse it.
using ExecutableCheck = std::function<void(int openedFile)>;

struct ShellRunOptions
{
    // Checks the program file before it starts; the run is refused when it throws.
    ExecutableCheck check;
    // The largest file the program may write (0: no limit of ours); a lower limit that this
    // program was given stays. A program that tries to write more ends with the signal SIGXFSZ.
    qint64 maxFileSize = 0;
    // Called once every poll cycle while the program runs, after the window's events.
    std::function<void()> onPoll = {};
    // A descriptor of ours that the program may reach again as /proc/self/fd/<it> (the private
    // folder it writes in, in a shared folder, see OutputTarget); -1 for none.
    int passedFile = -1;
};

struct ShellRunDetails
{
    bool started = false;
    bool stopped = false;     // ended early by StopRunningProgram (the program may still exit with 0)
    QString errorOutput;      // the program's standard error (at most MaxErrorOutput), or why it could not start
    qint64 fileSizeLimit = 0; // the largest file it was allowed to write, in bytes; 0 for no limit
};

// Starts the program and polls every 100 ms, letting the window handle its events between
// polls, until it has ended. Returns its exit status (128 + the signal's number when a signal
// ended it), or StartFailureOffset + the start error's number when it could not be started.
// Never throws for a failed start. The window style is taken for callers' sake only: the tool
// never gets a window of its own on this platform.
qint32 ShellAndWait(const QString &program, const QStringList &arguments, std::optional<int> windowStyle = {},
                    ShellRunDetails *details = nullptr, const ShellRunOptions &options = {});

// With no window to keep alive (the command line), a wait returns as soon as the program ends
// rather than at the end of its poll cycle; events are still handled once every cycle.
void SetWaitWithoutWindow(bool withoutWindow);

// Stops the program that a ShellAndWait in progress is waiting for (terminate, then kill after
// a short grace). Used when the window closes during a run. Does nothing when nothing runs.
void StopRunningProgram();

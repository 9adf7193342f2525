// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>
#include <sys/types.h>

// The first child process of a process, or 0: the tool that a command runs right now. Reads the
// kernel's lists of a task's children.
pid_t FirstChildProcess(qint64 parent);

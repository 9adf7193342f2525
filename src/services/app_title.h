// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The program's name, as the window caption shows it.
inline const QString ProgramName = QStringLiteral("Quorvane");

// The title made from a program name: the last word is always dropped (cut at the last blank),
// and words keep being dropped while more than 40 characters remain. Where no blank is left to
// cut at, the text stays as it is, so a one-word name is its own title.
QString ShortenTitle(const QString &programName);

// The process-wide title, the caption of every message box without one of its own. Until
// SetApplicationTitle runs it is the application name Qt reports (by default the executable's).
QString ApplicationTitle();

// Sets ApplicationTitle to the shortened program name.
void SetApplicationTitle();

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The program without its window: with arguments, it makes one tone into a file (--save), plays
// it (--play), prints the sox command for it (--sox-command) or lists the presets, on Qt Core
// alone, so that it needs no display. It reads none of the stored inputs and writes nothing to
// the settings; only a --preset of the user's is read from them.

// How the command line ends, as scripts tell the outcomes apart.
namespace ExitCode {
inline constexpr int Done = 0;
inline constexpr int Failed = 1;          // the tool, the file or the sound card failed
inline constexpr int Refused = 2;         // the inputs were refused, with the window's reminder
inline constexpr int BadCommandLine = 64; // as sysexits.h's EX_USAGE
inline constexpr int Interrupted = 130;   // Ctrl+C stopped --play: 128 + SIGINT
} // namespace ExitCode

// Makes the QCoreApplication, does what the arguments ask and returns the exit code. Messages go
// to stderr, in the window's words; the progress too, but only when stderr is a terminal.
int RunCommandLine(int argc, char *argv[]);

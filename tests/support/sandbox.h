// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// A throw-away folder for one test or benchmark process. Qt Core only, so that a benchmark's
// baseline program links nothing more than it needs.
namespace TestSandbox {

// Points the settings store, the state folder, the temporary folder and the runtime folder at a
// fresh throw-away folder, so no test ever reads or writes the user's own files. Must run before
// the first settings access of the process (QUORVANE_TEST_MAIN does it first).
void Prepare();

// The root of this process's sandbox.
QString Root();

// A new empty folder inside the sandbox, for a test's own files.
QString NewFolder();

// Points TEMP at a new empty folder inside the sandbox and returns it.
QString FreshTempFolder();

// Removes the sandbox and everything in it.
void Remove();

} // namespace TestSandbox

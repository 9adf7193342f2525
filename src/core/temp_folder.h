#pragma once

#include <QString>

// The folder where the tool files and the preview are written: TEMP when set and not empty,
// else TMPDIR when set and not empty, else "/tmp". Read afresh at every call and taken
// unchanged, so a test or the user can redirect it at any time.
QString TempFolder();

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Makes every drop-down list that has an accessible name known to screen readers by that name,
// with its chosen item as its value. Qt's own interface for a drop-down list on Linux and other
// Unix systems gives the chosen item as the name too, so a reader says "Sine (Default)" where it
// should say what the list chooses. Safe to call more than once.
void InstallListAccessibility();

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A modal box that no test waits for (see WhenModal) would wait for a click that never comes, and
// the test would end only at its timeout, without a word of what the box said. From now on such a
// box fails the running test with its text instead, and is closed.
void CloseStrayBoxes();

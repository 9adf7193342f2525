// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>

// The program icon, a sine wave on a blue-green tile, in the four sizes embedded in the program:
// 32, 48, 128 and 256 pixels (":/icons/quorvane-<size>.pixels", made from the PNGs by the build).
QIcon ProgramIcon();

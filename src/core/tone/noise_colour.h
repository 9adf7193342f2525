// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The noises the type list offers, by colour, as the tool makes them: white is flat, pink falls
// 3 dB an octave, brown 6.
enum class NoiseColour
{
    White,
    Pink,
    Brown,
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/periodic_shape.h"

#include <vector>

// One period of a shape's band-limited series (its mean and its first harmonics), tabulated with
// the exact slope at every point and read back by cubic Hermite interpolation. At sixteen points
// or more per period of the highest harmonic, a reading is within about -100 dB of full scale of
// the series itself; a tone of a dozen harmonics, within -200 dB. Reading costs the same however
// many harmonics there are, which summing them sample by sample would not.
class HarmonicTable
{
public:
    // The mean and harmonics 1 to harmonics of the shape (none: its mean alone), at most 16384.
    HarmonicTable(const PeriodicShape &shape, int harmonics);

    int harmonics() const { return m_harmonics; }
    // The series at a phase from 0 to 1 (before the shape's own phase parameter, which its
    // harmonics hold).
    double at(double phase) const noexcept;

private:
    int m_harmonics;
    int m_size;                 // points over one period, a power of two
    std::vector<double> m_data; // value and slope (per point) of points 0..size, the last one again the first
};

// How many harmonics of a tone at this frequency lie strictly below half the rate.
int HarmonicsBelowHalf(double frequency, int sampleRate);

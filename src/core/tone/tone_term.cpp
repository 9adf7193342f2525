// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone_term.h"

#include <cmath>

double ToneTerm::frequencyAt(double share) const
{
    switch (sweep) {
    case SweepKind::Steady:
        return from;
    case SweepKind::Linear:
        return from + (to - from) * share;
    case SweepKind::SquareLaw:
        return from + (to - from) * share * share;
    case SweepKind::Exponential:
    case SweepKind::Stepped:
        return from * std::pow(to / from, share);
    }
    return from;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/periodic_shape.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

// The tool's defaults for parameters that were not given.
ShapeParameters WithDefaults(ShapeKind kind, ShapeParameters p)
{
    switch (kind) {
    case ShapeKind::Square:
    case ShapeKind::Triangle:
        if (p.p1 < 0)
            p.p1 = 0.5;
        break;
    case ShapeKind::Trapezium:
        if (p.p1 < 0) {
            p.p1 = 0.1;
            p.p2 = 0.5;
            p.p3 = 0.6;
        } else if (p.p2 < 0) {
            // Symmetric when it can be, else a triangle that falls to the end.
            if (p.p1 <= 0.5) {
                p.p2 = (1 - 2 * p.p1) / 2;
                p.p3 = p.p2 + p.p1;
            } else {
                p.p2 = p.p1;
                p.p3 = 1;
            }
        } else if (p.p3 < 0) {
            p.p3 = 1;
        }
        break;
    case ShapeKind::Exp:
        if (p.p1 < 0)
            p.p1 = 0.5;
        if (p.p2 < 0)
            p.p2 = 0.5;
        break;
    case ShapeKind::Sine:
    case ShapeKind::Sawtooth:
    case ShapeKind::PolarityPulse:
        break;
    }
    return p;
}

} // namespace

double PeriodicShape::Piece::at(double u) const
{
    return rate == 0 ? start + slope * (u - from) : scale * std::exp(rate * (u - from)) + shift;
}

// NOLINTNEXTLINE(readability-function-size): each shape's formulas, a case each.
PeriodicShape::PeriodicShape(ShapeKind kind, const ShapeParameters &given)
    : m_kind(kind), m_phase(given.phase), m_scale(1 - std::abs(given.offset)), m_offset(given.offset)
{
    const ShapeParameters p = WithDefaults(kind, given);
    switch (kind) {
    case ShapeKind::Sine:
    case ShapeKind::PolarityPulse:
        break;
    case ShapeKind::Square:
        addPiece({.from = 0, .to = p.p1, .start = 1});
        addPiece({.from = p.p1, .to = 1, .start = -1});
        break;
    case ShapeKind::Sawtooth:
        addPiece({.from = 0, .to = 1, .start = -1, .slope = 2});
        break;
    case ShapeKind::Triangle:
        addPiece({.from = 0, .to = p.p1, .start = -1, .slope = 2 / p.p1});
        addPiece({.from = p.p1, .to = 1, .start = 1, .slope = -2 / (1 - p.p1)});
        break;
    case ShapeKind::Trapezium: {
        // As the tool tests them: rising before p1, high before p2, falling before p3, then low.
        const double high = std::max(p.p1, p.p2);
        const double low = std::max(high, p.p3);
        addPiece({.from = 0, .to = p.p1, .start = -1, .slope = 2 / p.p1});
        addPiece({.from = p.p1, .to = high, .start = 1});
        if (low > high)
            addPiece(
                {.from = high, .to = low, .start = 1 - 2 * (high - p.p2) / (p.p3 - p.p2), .slope = -2 / (p.p3 - p.p2)});
        addPiece({.from = low, .to = 1, .start = -1});
        break;
    }
    case ShapeKind::Exp: {
        // From 2a - 1 up to 1 at p1 and back, exponentially; a is p2 * -200 dB.
        const double logRange = p.p2 * 10 * std::numbers::ln10; // ln(1 / a)
        const double a = std::exp(-logRange);
        if (logRange == 0) {
            addPiece({.from = 0, .to = 1, .start = 1});
            break;
        }
        addPiece({.from = 0, .to = p.p1, .rate = logRange / p.p1, .scale = 2 * a, .shift = -1});
        addPiece({.from = p.p1, .to = 1, .rate = -logRange / (1 - p.p1), .scale = 2, .shift = -1});
        break;
    }
    }

    if (kind == ShapeKind::Sine) {
        m_mean = m_offset;
        m_meanSquare = m_scale * m_scale / 2 + m_offset * m_offset;
        m_peak = m_scale + std::abs(m_offset);
        return;
    }
    if (kind == ShapeKind::PolarityPulse) {
        // Half a period of sin^2 and nothing: a quarter; its mean, 1 / pi.
        const double mean = 1 / std::numbers::pi;
        m_mean = m_scale * mean + m_offset;
        m_meanSquare = m_scale * m_scale / 4 + 2 * m_scale * m_offset * mean + m_offset * m_offset;
        m_peak = std::max(std::abs(m_scale + m_offset), std::abs(m_offset));
        return;
    }
    double mean = 0;
    double meanSquare = 0;
    for (const Piece &piece : m_pieces) {
        const double length = piece.to - piece.from;
        if (piece.rate == 0) {
            const double s = piece.start;
            const double m = piece.slope;
            mean += s * length + m * length * length / 2;
            meanSquare += s * s * length + s * m * length * length + m * m * length * length * length / 3;
        } else {
            const double r = piece.rate;
            const double grown = std::expm1(r * length);
            mean += piece.scale * grown / r + piece.shift * length;
            meanSquare += piece.scale * piece.scale * std::expm1(2 * r * length) / (2 * r) +
                          2 * piece.scale * piece.shift * grown / r + piece.shift * piece.shift * length;
        }
        for (const double u : {piece.from, piece.to})
            m_peak = std::max(m_peak, std::abs(m_scale * piece.at(u) + m_offset));
    }
    m_mean = m_scale * mean + m_offset;
    m_meanSquare = m_scale * m_scale * meanSquare + 2 * m_scale * m_offset * mean + m_offset * m_offset;
}

void PeriodicShape::addPiece(Piece piece)
{
    if (piece.to > piece.from)
        m_pieces.push_back(piece);
}

double PeriodicShape::value(double phase) const
{
    const double u = std::fmod(phase + m_phase, 1.0);
    if (m_kind == ShapeKind::Sine)
        return m_scale * std::sin(TwoPi * u) + m_offset;
    if (m_kind == ShapeKind::PolarityPulse)
        return m_scale * (u < 0.5 ? std::sin(TwoPi * u) : 0) + m_offset;
    for (const Piece &piece : m_pieces) {
        if (u < piece.to)
            return m_scale * piece.at(u) + m_offset;
    }
    return m_scale * m_pieces.back().at(u) + m_offset;
}

std::complex<double> PeriodicShape::harmonic(int k) const
{
    using namespace std::complex_literals;
    const std::complex<double> shifted = std::polar(m_scale, TwoPi * k * m_phase);
    if (m_kind == ShapeKind::Sine)
        return k == 1 ? shifted * -0.5i : 0.0;
    // The half-wave rectified sine's series: a quarter of the fundamental, and the even harmonics.
    if (m_kind == ShapeKind::PolarityPulse)
        return k == 1 ? shifted * -0.25i : k % 2 == 0 ? shifted / (std::numbers::pi * (1 - double(k) * k)) : 0.0;
    const double w = TwoPi * k;
    std::complex<double> sum = 0;
    for (const Piece &piece : m_pieces) {
        const std::complex<double> atFrom = std::polar(1.0, -w * piece.from);
        const std::complex<double> atTo = std::polar(1.0, -w * piece.to);
        const std::complex<double> plain = (atFrom - atTo) / (1i * w);
        if (piece.rate == 0) {
            const std::complex<double> rising = (plain - (piece.to - piece.from) * atTo) / (1i * w);
            sum += piece.start * plain + piece.slope * rising;
        } else {
            const double grown = std::exp(piece.rate * (piece.to - piece.from));
            sum += piece.scale * (grown * atTo - atFrom) / (piece.rate - 1i * w) + piece.shift * plain;
        }
    }
    return shifted * sum;
}

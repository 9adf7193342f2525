// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

// The frequencies text moved by a keyboard step: value × factor + offset, never below zero, written
// without trailing zeros and with the decimal separator the text had. Nothing when the text is
// not one plain number (a sweep, a note name, anything with blanks): such text is left alone.
std::optional<QString> SteppedFrequency(const QString &text, double factor, double offset);

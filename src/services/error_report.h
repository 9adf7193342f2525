// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The text of the error report: the description, then the procedure's location text with the
// failing line, then the request to mail a screenshot to the error-report address.
QString BuildErrorPrompt(const QString &description, const QString &location, qint32 line);

// Shows the error report over the active window and waits for OK. Never throws: a failure while
// reporting is only logged, so the guarded procedure can go on.
void ErrorReport(const QString &description, const QString &location, qint32 line);

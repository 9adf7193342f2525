// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/error_report.h"

#include "build_config.h"
#include "services/dialogs.h"

#include <QApplication>
#include <QtDebug>
#include <exception>

using namespace Qt::StringLiterals;

QString BuildErrorPrompt(const QString &description, const QString &location, qint32 line)
{
    // The lone CRs are part of the report's text; only the box turns them into line breaks.
    return description + u"\r\n"_s + location + u"at line "_s + QString::number(line) + u"\r\r"_s +
           u"Please email screenshot of this message to "_s + QString::fromUtf16(BuildConfig::ErrorReportEmail);
}

void ErrorReport(const QString &description, const QString &location, qint32 line)
{
    try {
        CurrentDialogs().errorReport(QApplication::activeWindow(), BuildErrorPrompt(description, location, line));
    } catch (const std::exception &error) {
        qWarning("Could not show the error report for %ls line %d (%ls): %s", qUtf16Printable(location), line,
                 qUtf16Printable(description), error.what());
    } catch (...) {
        qWarning("Could not show the error report for %ls line %d (%ls)", qUtf16Printable(location), line,
                 qUtf16Printable(description));
    }
}

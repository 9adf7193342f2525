// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/app_title.h"

#include <QCoreApplication>
#include <optional>

namespace {
constexpr qsizetype TitleLimit = 40;

// Only the GUI thread reads or sets it.
std::optional<QString> title;
} // namespace

QString ShortenTitle(const QString &programName)
{
    QString text = programName;
    do {
        const qsizetype blank = text.lastIndexOf(u' ');
        if (blank < 0)
            break;
        text.truncate(blank);
    } while (text.size() > TitleLimit);
    return text;
}

QString ApplicationTitle()
{
    return title ? *title : QCoreApplication::applicationName();
}

void SetApplicationTitle()
{
    // Deliberately not QGuiApplication::setApplicationDisplayName: Qt appends the display name to
    // every window title that does not already end with it, so the error report's caption would no
    // longer read "Application Error" alone.
    title = ShortenTitle(ProgramName);
}

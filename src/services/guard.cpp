// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/guard.h"

#include "core/failure.h"
#include "services/error_report.h"

#include <QList>
#include <exception>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Injection
{
    QString location;
    qint32 line;
    int statement;
    QString description;
};

// Empty outside tests, so the check costs one test of an empty list per statement.
QList<Injection> injections;

} // namespace

void Guard::InjectFailure(const QString &location, qint32 line, const QString &description, int statement)
{
    injections.append({location, line, statement, description});
}

void Guard::ClearInjectedFailures()
{
    injections.clear();
}

void Guard::step(qint32 line, const std::function<void()> &action)
{
    std::optional<QString> failure;
    try {
        throwIfInjected(line);
        action();
    } catch (...) {
        failure = DescribeCurrentException();
    }
    // Reported outside the handler, so no exception is pending while the box runs its loop.
    if (failure)
        report(line, *failure);
}

bool Guard::test(qint32 line, const std::function<bool()> &condition)
{
    std::optional<QString> failure;
    try {
        throwIfInjected(line);
        return condition();
    } catch (...) {
        failure = DescribeCurrentException();
    }
    report(line, *failure);
    return true;
}

void Guard::throwIfInjected(qint32 line)
{
    if (injections.isEmpty())
        return;
    const int statement = ++m_statementsSeen[line];
    for (const Injection &injection : std::as_const(injections)) {
        if (injection.line == line && injection.statement == statement && injection.location == m_location)
            throw Failure(injection.description);
    }
}

void Guard::report(qint32 line, const QString &description)
{
    ++m_reportCount;
    ErrorReport(description, m_location, line);
}

#include "guard.h"

#include "error_report.h"
#include "failure.h"

#include <QList>
#include <exception>

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

QString Guard::CurrentFailure()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return DescribeException(error);
    } catch (...) {
        return u"Unknown failure"_s;
    }
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

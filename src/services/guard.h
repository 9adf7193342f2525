// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/run/command_steps.h"

#include <QHash>
#include <QString>
#include <utility>

// The location texts of the six guarded procedures, as the error report names them.
namespace Locations {
inline QString Of(const char *procedure)
{
    return QStringLiteral("in Quorvane2021/08/31.Form1.") + QLatin1StringView(procedure) + u' ';
}
inline const QString FormLoad = Of("Form_Load"), PushButton1Click = Of("PushButton1_Click"),
                     PushButton2Click = Of("PushButton2_Click"), PushButton3Click = Of("PushButton3_Click"),
                     PushButton4Click = Of("PushButton4_Click"), PushButton6Click = Of("PushButton6_Click");
} // namespace Locations

// One call of a guarded procedure. Each numbered statement runs through step() or test(); a
// failure is shown as the error report with the statement's line and the procedure goes on:
//
//     Guard g(Locations::PushButton2Click);
//     if (g.test(106, [&] { return CommandBusy; }))
//         return;
//     g.step(108, [&] { CommandBusy = true; });
//
// A failing step resumes with the next statement. A failing test counts as true, so the first
// statement inside its block runs next. A failing last statement of a Then branch resumes after
// the whole block, because step() returns into the handler's own if/else.
class Guard : public CommandSteps
{
public:
    explicit Guard(QString location) : m_location(std::move(location)) {}
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;

    void step(qint32 line, const std::function<void()> &action) override;
    bool test(qint32 line, const std::function<bool()> &condition) override;

    const QString &location() const { return m_location; }
    // How many reports this call has shown.
    qint32 reportCount() const { return m_reportCount; }

    // For tests: the nth statement (1 = the first) with this line number in every call of the
    // procedure at location throws a Failure with this description instead of running.
    static void InjectFailure(const QString &location, qint32 line, const QString &description, int statement = 1);
    static void ClearInjectedFailures();

private:
    void throwIfInjected(qint32 line);
    void report(qint32 line, const QString &description);

    QString m_location;
    qint32 m_reportCount = 0;
    QHash<qint32, int> m_statementsSeen;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <utility>

// The numbered statements of a command. The window runs them through its guard, which reports a
// failing statement with its line number and goes on with the next one; the synthesis core takes
// them through this interface so that the code a test or benchmark runs is the very code of the
// commands.
class CommandSteps
{
public:
    virtual ~CommandSteps() = default;
    // Runs one statement; a failure is dealt with by the runner and the caller goes on.
    virtual void step(qint32 line, const std::function<void()> &action) = 0;
    // Runs one condition; a failing condition counts as true.
    virtual bool test(qint32 line, const std::function<bool()> &condition) = 0;
};

// Runs statements the way the window's guard does, but instead of showing a report it keeps each
// failure with its line: for callers without a window.
class RecordingSteps : public CommandSteps
{
public:
    void step(qint32 line, const std::function<void()> &action) override;
    bool test(qint32 line, const std::function<bool()> &condition) override;

    // Each failing statement's line and description, in the order they failed.
    const QList<std::pair<qint32, QString>> &failures() const { return m_failures; }
    // Throws a Failure with the first failure's description, if there was one.
    void throwFirstFailure() const;

private:
    QList<std::pair<qint32, QString>> m_failures;
};

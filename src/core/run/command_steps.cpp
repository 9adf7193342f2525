// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/command_steps.h"

#include "core/failure.h"

void RecordingSteps::step(qint32 line, const std::function<void()> &action)
{
    try {
        action();
    } catch (...) {
        m_failures.append({line, DescribeCurrentException()});
    }
}

bool RecordingSteps::test(qint32 line, const std::function<bool()> &condition)
{
    try {
        return condition();
    } catch (...) {
        m_failures.append({line, DescribeCurrentException()});
        return true;
    }
}

void RecordingSteps::throwFirstFailure() const
{
    if (!m_failures.isEmpty())
        throw Failure(m_failures.first().second);
}

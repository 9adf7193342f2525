// SPDX-License-Identifier: GPL-3.0-or-later

// What waiting for the tool costs: one poll cycle for a tool that is already done, never a
// second one. The cycles are counted as the event passes that the wait makes, not timed.

#include "core/run/run_and_wait.h"
#include "test_sandbox.h"

#include <QTimer>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

class PollCycleTest : public QObject
{
    Q_OBJECT

    // Event passes made while waiting for the program.
    int passesWhileRunning(const QString &program, const QStringList &arguments)
    {
        int passes = 0;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] { ++passes; });
        pass.start(0);
        ShellAndWait(program, arguments, 0);
        return passes;
    }

private slots:
    void programThatEndsAtOnceCostsOneCycle()
    {
        // The least of a few tries, so that a busy machine that delays one start does not count.
        int fewest = 1000;
        for (int i = 0; i < 5; ++i)
            fewest = std::min(fewest, passesWhileRunning(u"/bin/true"_s, {}));
        QCOMPARE(fewest, 1);
    }

    void programEndingInTheThirdCycleIsNoticedThere()
    {
        int fewest = 1000;
        for (int i = 0; i < 3; ++i)
            fewest = std::min(fewest, passesWhileRunning(u"/bin/sleep"_s, {u"0.25"_s}));
        QCOMPARE(fewest, 3);
    }
};

QUORVANE_TEST_MAIN(PollCycleTest)
#include "tst_poll_cycle.moc"

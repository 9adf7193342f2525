// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/failure.h"
#include "recording_dialogs.h"
#include "services/error_report.h"
#include "services/guard.h"
#include "test_sandbox.h"

#include <QtTest>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString Location = Locations::PushButton2Click;

// A guarded procedure shaped like the window's handlers; each statement leaves its mark in
// trace. Line 110 holds two statements.
void Procedure(QStringList &trace, bool condition)
{
    Guard g(Location);
    g.step(100, [&] { trace << u"100"_s; });
    if (g.test(102, [&] {
            trace << u"102"_s;
            return condition;
        })) {
        g.step(104, [&] { trace << u"104"_s; });
        g.step(106, [&] { trace << u"106"_s; });
    } else {
        g.step(108, [&] { trace << u"108"_s; });
    }
    g.step(110, [&] { trace << u"110a"_s; });
    g.step(110, [&] { trace << u"110b"_s; });
    g.step(112, [&] { trace << u"112"_s; });
}

struct Injected
{
    qint32 line;
    int statement;
};

} // namespace

Q_DECLARE_METATYPE(QList<Injected>)

class GuardTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void resumesAsTheRulesSay_data();
    void resumesAsTheRulesSay();
    void failureKeepsWhatTheStepAlreadyDid();
    void reportsTheExceptionsOwnText_data();
    void reportsTheExceptionsOwnText();
    void failingConditionCountsAsTrue();
    void failureDeepInACallIsReportedAtTheCall();
    void injectionOnlyHitsItsProcedure();
    void noFailureShowsNothing();
};

void GuardTest::cleanup()
{
    Guard::ClearInjectedFailures();
}

void GuardTest::resumesAsTheRulesSay_data()
{
    QTest::addColumn<bool>("condition");
    QTest::addColumn<QList<Injected>>("failures");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<QList<qint32>>("reportedLines");

    const QList<qint32> none;
    QTest::newRow("then branch, no failure")
        << true << QList<Injected>{}
        << QStringList{u"100"_s, u"102"_s, u"104"_s, u"106"_s, u"110a"_s, u"110b"_s, u"112"_s} << none;
    QTest::newRow("else branch, no failure")
        << false << QList<Injected>{} << QStringList{u"100"_s, u"102"_s, u"108"_s, u"110a"_s, u"110b"_s, u"112"_s}
        << none;
    QTest::newRow("first step fails, next one runs")
        << true << QList<Injected>{{100, 1}}
        << QStringList{u"102"_s, u"104"_s, u"106"_s, u"110a"_s, u"110b"_s, u"112"_s} << QList<qint32>{100};
    QTest::newRow("failing test enters its block")
        << false << QList<Injected>{{102, 1}}
        << QStringList{u"100"_s, u"104"_s, u"106"_s, u"110a"_s, u"110b"_s, u"112"_s} << QList<qint32>{102};
    QTest::newRow("first statement of then fails, the second runs")
        << true << QList<Injected>{{104, 1}}
        << QStringList{u"100"_s, u"102"_s, u"106"_s, u"110a"_s, u"110b"_s, u"112"_s} << QList<qint32>{104};
    QTest::newRow("last statement of then fails, else skipped")
        << true << QList<Injected>{{106, 1}}
        << QStringList{u"100"_s, u"102"_s, u"104"_s, u"110a"_s, u"110b"_s, u"112"_s} << QList<qint32>{106};
    QTest::newRow("else statement fails")
        << false << QList<Injected>{{108, 1}} << QStringList{u"100"_s, u"102"_s, u"110a"_s, u"110b"_s, u"112"_s}
        << QList<qint32>{108};
    QTest::newRow("first statement of a line fails, the rest of the line runs")
        << true << QList<Injected>{{110, 1}} << QStringList{u"100"_s, u"102"_s, u"104"_s, u"106"_s, u"110b"_s, u"112"_s}
        << QList<qint32>{110};
    QTest::newRow("second statement of a line fails")
        << true << QList<Injected>{{110, 2}} << QStringList{u"100"_s, u"102"_s, u"104"_s, u"106"_s, u"110a"_s, u"112"_s}
        << QList<qint32>{110};
    QTest::newRow("last statement fails, procedure ends")
        << true << QList<Injected>{{112, 1}}
        << QStringList{u"100"_s, u"102"_s, u"104"_s, u"106"_s, u"110a"_s, u"110b"_s} << QList<qint32>{112};
    QTest::newRow("two failures, two reports in order")
        << true << QList<Injected>{{112, 1}, {104, 1}}
        << QStringList{u"100"_s, u"102"_s, u"106"_s, u"110a"_s, u"110b"_s} << QList<qint32>{104, 112};
}

void GuardTest::resumesAsTheRulesSay()
{
    QFETCH(bool, condition);
    QFETCH(QList<Injected>, failures);
    QFETCH(QStringList, trace);
    QFETCH(QList<qint32>, reportedLines);

    for (const Injected &failure : failures)
        Guard::InjectFailure(Location, failure.line, u"Failure at %1"_s.arg(failure.line), failure.statement);
    RecordingDialogs dialogs;
    QStringList actual;
    Procedure(actual, condition);

    QCOMPARE(actual, trace);
    QStringList expectedReports;
    for (qint32 line : reportedLines)
        expectedReports << BuildErrorPrompt(u"Failure at %1"_s.arg(line), Location, line);
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport), expectedReports);
    QCOMPARE(dialogs.calls.size(), reportedLines.size());

    // The injection holds for every call, and each call reports afresh.
    actual.clear();
    Procedure(actual, condition);
    QCOMPARE(actual, trace);
    QCOMPARE(dialogs.calls.size(), 2 * reportedLines.size());
}

void GuardTest::failureKeepsWhatTheStepAlreadyDid()
{
    RecordingDialogs dialogs;
    Guard g(Location);
    QStringList trace;
    g.step(120, [&] {
        trace << u"started"_s;
        throw Failure(u"Disk full"_s);
        trace << u"never"_s;
    });
    g.step(122, [&] { trace << u"next"_s; });
    QCOMPARE(trace, (QStringList{u"started"_s, u"next"_s}));
    QCOMPARE(g.reportCount(), 1);
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport), QStringList{BuildErrorPrompt(u"Disk full"_s, Location, 120)});
}

void GuardTest::reportsTheExceptionsOwnText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("Failure") << 0 << u"Cannot write C:\\temp\\sox.exe: Ärger"_s;
    QTest::newRow("standard exception") << 1 << u"index 3 is past the end"_s;
    QTest::newRow("something that is no exception") << 2 << u"Unknown failure"_s;
}

void GuardTest::reportsTheExceptionsOwnText()
{
    QFETCH(int, kind);
    QFETCH(QString, description);
    RecordingDialogs dialogs;
    Guard g(Locations::PushButton3Click);
    g.step(130, [&] {
        if (kind == 0)
            throw Failure(description);
        if (kind == 1)
            throw std::out_of_range(description.toStdString());
        throw 42;
    });
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport),
             QStringList{BuildErrorPrompt(description, Locations::PushButton3Click, 130)});
}

void GuardTest::failingConditionCountsAsTrue()
{
    RecordingDialogs dialogs;
    Guard g(Location);
    QVERIFY(g.test(140, []() -> bool { throw Failure(u"Type mismatch"_s); }));
    QVERIFY(!g.test(142, [] { return false; }));
    QVERIFY(g.test(144, [] { return 2; }));
    QCOMPARE(g.reportCount(), 1);
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport), QStringList{BuildErrorPrompt(u"Type mismatch"_s, Location, 140)});
}

void GuardTest::failureDeepInACallIsReportedAtTheCall()
{
    // An unguarded helper: its failure abandons the rest of it and surfaces at the calling line.
    QStringList trace;
    const auto writeTools = [&] {
        trace << u"tool 1"_s;
        throw Failure(u"Permission denied"_s);
    };
    RecordingDialogs dialogs;
    Guard g(Locations::PushButton3Click);
    g.step(128, [&] {
        writeTools();
        trace << u"after the call on the same statement"_s;
    });
    g.step(130, [&] { trace << u"130"_s; });
    QCOMPARE(trace, (QStringList{u"tool 1"_s, u"130"_s}));
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport),
             QStringList{BuildErrorPrompt(u"Permission denied"_s, Locations::PushButton3Click, 128)});
}

void GuardTest::injectionOnlyHitsItsProcedure()
{
    Guard::InjectFailure(Locations::FormLoad, 100, u"Skin"_s);
    RecordingDialogs dialogs;
    bool ran = false;
    Guard other(Locations::PushButton1Click);
    other.step(100, [&] { ran = true; });
    QVERIFY(ran);
    QCOMPARE(other.reportCount(), 0);

    ran = false;
    Guard load(Locations::FormLoad);
    load.step(100, [&] { ran = true; });
    QVERIFY(!ran);
    QCOMPARE(load.reportCount(), 1);
    QCOMPARE(dialogs.texts(DialogCall::ErrorReport),
             QStringList{BuildErrorPrompt(u"Skin"_s, Locations::FormLoad, 100)});
}

void GuardTest::noFailureShowsNothing()
{
    RecordingDialogs dialogs;
    QStringList trace;
    Procedure(trace, true);
    QVERIFY(dialogs.calls.isEmpty());
}

QUORVANE_TEST_MAIN(GuardTest)
#include "tst_guard.moc"

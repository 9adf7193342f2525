// SPDX-License-Identifier: GPL-3.0-or-later

#include "build_config.h"
#include "recording_dialogs.h"
#include "services/error_report.h"
#include "services/guard.h"
#include "test_sandbox.h"

#include <QtTest>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString Address = QString::fromUtf16(BuildConfig::ErrorReportEmail);

class ThrowingDialogs : public RecordingDialogs
{
public:
    void errorReport(QWidget *, const QString &) override { throw std::runtime_error("no display"); }
};

} // namespace

class ErrorReportTest : public QObject
{
    Q_OBJECT

private slots:
    void prompt_data();
    void prompt();
    void promptShowsAsFourLines();
    void reportGoesToErrorReportBox();
    void reportNamesActiveWindow();
    void failingBoxDoesNotEscape();
};

void ErrorReportTest::prompt_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("location");
    QTest::addColumn<qint32>("line");
    QTest::addColumn<QString>("expected");

    const QString tail = u"\r\rPlease email screenshot of this message to "_s + Address;
    QTest::newRow("save handler, line 132")
        << u"Division by zero"_s << Locations::PushButton2Click << 132
        << u"Division by zero\r\nin Quorvane2021/08/31.Form1.PushButton2_Click at line 132"_s + tail;
    QTest::newRow("empty description starts with CR LF")
        << QString() << Locations::FormLoad << 100 << u"\r\nin Quorvane2021/08/31.Form1.Form_Load at line 100"_s + tail;
    QTest::newRow("negative line") << u"x"_s << Locations::PushButton3Click << -42
                                   << u"x\r\nin Quorvane2021/08/31.Form1.PushButton3_Click at line -42"_s + tail;
    QTest::newRow("line 0") << u"x"_s << u"in P "_s << 0 << u"x\r\nin P at line 0"_s + tail;
    QTest::newRow("largest line") << u"x"_s << u"in P "_s << 2147483647 << u"x\r\nin P at line 2147483647"_s + tail;
    QTest::newRow("smallest line") << u"x"_s << u"in P "_s << qint32(-2147483647 - 1)
                                   << u"x\r\nin P at line -2147483648"_s + tail;
    QTest::newRow("description kept as is") << u"  Path \"C:\\x\" <not found>\r\n"_s << u"in P "_s << 7
                                            << u"  Path \"C:\\x\" <not found>\r\n\r\nin P at line 7"_s + tail;
}

void ErrorReportTest::prompt()
{
    QFETCH(QString, description);
    QFETCH(QString, location);
    QFETCH(qint32, line);
    QFETCH(QString, expected);
    QCOMPARE(BuildErrorPrompt(description, location, line), expected);
}

void ErrorReportTest::promptShowsAsFourLines()
{
    const QString prompt = BuildErrorPrompt(u"Overflow"_s, Locations::PushButton2Click, 132);
    const QStringList lines = prompt.split(QRegularExpression(u"\r\n|\r"_s));
    const QStringList expected{u"Overflow"_s, u"in Quorvane2021/08/31.Form1.PushButton2_Click at line 132"_s, QString(),
                               u"Please email screenshot of this message to "_s + Address};
    QCOMPARE(lines, expected);
    // The location brings the one blank; "at line " starts with a letter.
    QVERIFY(!prompt.contains(u"  at line"_s));
}

void ErrorReportTest::reportGoesToErrorReportBox()
{
    RecordingDialogs dialogs;
    ErrorReport(u"Overflow"_s, Locations::PushButton3Click, 140);
    QCOMPARE(dialogs.calls.size(), 1);
    const DialogCall &call = dialogs.calls.constFirst();
    QCOMPARE(call.kind, DialogCall::ErrorReport);
    QCOMPARE(call.caption, u"Application Error"_s);
    QCOMPARE(call.text, BuildErrorPrompt(u"Overflow"_s, Locations::PushButton3Click, 140));
    QCOMPARE(call.parent.data(), nullptr);
}

void ErrorReportTest::reportNamesActiveWindow()
{
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window))
        QSKIP("This platform does not activate windows");
    RecordingDialogs dialogs;
    ErrorReport(u"x"_s, Locations::FormLoad, 100);
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls.constFirst().parent.data(), &window);
}

void ErrorReportTest::failingBoxDoesNotEscape()
{
    ThrowingDialogs dialogs;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Could not show the error report.*line 118.*no display"_s));
    ErrorReport(u"x"_s, Locations::PushButton2Click, 118);
}

QUORVANE_TEST_MAIN(ErrorReportTest)
#include "tst_error_report.moc"

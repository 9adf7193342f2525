// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/app_title.h"
#include "test_sandbox.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class AppTitleTest : public QObject
{
    Q_OBJECT

private slots:
    void titleBeforeSetIsApplicationName();
    void shortenTitle_data();
    void shortenTitle();
    void setApplicationTitleUsesProgramName();
};

void AppTitleTest::titleBeforeSetIsApplicationName()
{
    QCOMPARE(ApplicationTitle(), QCoreApplication::applicationName());
    QVERIFY(!ApplicationTitle().isEmpty());
}

void AppTitleTest::shortenTitle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    // 40 characters with blanks inside, and the same with one more word character.
    const QString forty = u"Abcdefghi Abcdefghi Abcdefghi Abcdefghij"_s;
    const QString fortyOne = forty + u'k';
    QCOMPARE(forty.size(), 40);

    QTest::newRow("three words lose the last") << u"Quorvane Test Tones"_s << u"Quorvane Test"_s;
    QTest::newRow("two words") << u"Quorvane Tones"_s << u"Quorvane"_s;
    QTest::newRow("trailing blank is the only cut") << u"Quorvane Test "_s << u"Quorvane Test"_s;
    QTest::newRow("41 characters ending with a blank") << forty + u' ' << forty;
    QTest::newRow("two blanks before the last word") << u"Quorvane Test  Tones"_s << u"Quorvane Test "_s;
    QTest::newRow("only blank is the first character") << u" Quorvane"_s << QString();
    QTest::newRow("first cut leaves exactly 40") << forty + u" Tail"_s << forty;
    QTest::newRow("first cut leaves 41, cut again") << fortyOne + u" Tail"_s << u"Abcdefghi Abcdefghi Abcdefghi"_s;
    QTest::newRow("eight words, 50 characters")
        << u"Aaaaa Bbbbb Ccccc Ddddd Eeeee Fffff Ggggg Hhhhhhhh"_s << u"Aaaaa Bbbbb Ccccc Ddddd Eeeee Fffff"_s;
    // No blank: nothing to cut at, so the name stays whole.
    QTest::newRow("no blank") << u"Quorvane"_s << u"Quorvane"_s;
    QTest::newRow("no blank left after the first cut") << QString(45, u'x') + u" Tail"_s << QString(45, u'x');
    QTest::newRow("empty") << QString() << QString();
}

void AppTitleTest::shortenTitle()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(ShortenTitle(name), expected);
}

void AppTitleTest::setApplicationTitleUsesProgramName()
{
    SetApplicationTitle();
    QCOMPARE(ApplicationTitle(), u"Quorvane"_s);
    // Only our title changes; what Qt derives from the application name stays as it was.
    QCOMPARE(QCoreApplication::applicationName(), u"tst_app_title"_s);
}

QUORVANE_TEST_MAIN(AppTitleTest)
#include "tst_app_title.moc"

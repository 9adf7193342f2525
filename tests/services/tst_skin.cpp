// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/failure.h"
#include "recording_dialogs.h"
#include "services/error_report.h"
#include "services/guard.h"
#include "services/skin.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString StyleSheet = u"QPushButton { color: #204080; }\n/* ß */\n"_s;

// A window made like the main one: white, three white frames, controls inside them.
struct TestWindow
{
    TestWindow()
    {
        QPalette white = window.palette();
        white.setColor(QPalette::Window, Qt::white);
        window.setPalette(white);
        for (int i = 1; i <= 3; ++i) {
            auto *frame = new QGroupBox(&window);
            frame->setObjectName(u"Frame%1"_s.arg(i));
            frame->setAutoFillBackground(true);
            frames.append(frame);
        }
        button = new QPushButton(u"Save"_s, frames[0]);
        edit = new QLineEdit(frames[1]);
        label = new QLabel(u"Hz"_s, frames[2]);
    }

    QWidget window;
    QList<QGroupBox *> frames;
    QPushButton *button;
    QLineEdit *edit;
    QLabel *label;
};

QColor ButtonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

// Puts something that is not a skin file at the skin's path, in an existing folder.
using PlaceInstead = std::function<bool(const QString &path)>;

} // namespace

Q_DECLARE_METATYPE(PlaceInstead)

class SkinTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void skinFileIsBesideTheProgram();
    void skinFileSkinsWindowAndColoursFrames();
    void skinKeepsOtherFlagBits();
    void noSkinFileChangesNothing_data();
    void noSkinFileChangesNothing();
    void unloadableSkinThrowsAfterColours_data();
    void unloadableSkinThrowsAfterColours();
    void unloadableSkinGivesOneLoadReport();

private:
    void writeSkin(const QByteArray &bytes);
    QString skinFolder() const { return QCoreApplication::applicationDirPath() + u"/x"_s; }
};

void SkinTest::initTestCase()
{
    // The button colour must differ from white, or the colour checks prove nothing.
    QVERIFY(ButtonFace() != QColor(Qt::white));
    cleanup();
}

void SkinTest::cleanup()
{
    // The skin folder lives beside this test program only while a test needs it.
    QDir folder(skinFolder());
    if (folder.exists())
        QVERIFY(folder.removeRecursively());
}

void SkinTest::writeSkin(const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(skinFolder()));
    QVERIFY(WriteFile(SkinFilePath(), bytes));
}

void SkinTest::skinFileIsBesideTheProgram()
{
    QCOMPARE(SkinFilePath(), QCoreApplication::applicationDirPath() + u"/x/o.cjs"_s);
}

void SkinTest::skinFileSkinsWindowAndColoursFrames()
{
    writeSkin(StyleSheet.toUtf8());
    TestWindow w;
    const QColor buttonFace = w.button->palette().color(QPalette::Button);
    const QColor buttonText = w.button->palette().color(QPalette::ButtonText);
    const QColor editBase = w.edit->palette().color(QPalette::Base);

    ApplySkin(&w.window);

    QCOMPARE(w.window.styleSheet(), StyleSheet);
    QCOMPARE(w.window.palette().color(QPalette::Window), ButtonFace());
    for (QGroupBox *frame : std::as_const(w.frames)) {
        QCOMPARE(frame->palette().color(QPalette::Window), ButtonFace());
        QVERIFY(frame->autoFillBackground());
    }
    QCOMPARE(w.label->palette().color(QPalette::Window), ButtonFace());
    // Other controls keep their own colours (they only inherit the frame's background).
    QCOMPARE(w.button->palette().color(QPalette::Button), buttonFace);
    QCOMPARE(w.button->palette().color(QPalette::ButtonText), buttonText);
    QCOMPARE(w.edit->palette().color(QPalette::Base), editBase);
    QVERIFY(!w.button->autoFillBackground());

    auto *skin = w.window.findChild<SkinFramework1 *>(u"SkinFramework1"_s);
    QVERIFY(skin);
    QCOMPARE(skin->flags(), 1);
    QVERIFY(skin->setting(5));
    QVERIFY(skin->setting(10));
    QVERIFY(!skin->setting(6));
    // The style sheet really takes effect on the controls.
    w.window.show();
    QCOMPARE(w.button->palette().color(QPalette::ButtonText), QColor(0x20, 0x40, 0x80));
}

void SkinTest::skinKeepsOtherFlagBits()
{
    writeSkin(StyleSheet.toUtf8());
    TestWindow w;
    auto *skin = new SkinFramework1(&w.window);
    skin->setFlags(0x40);
    ApplySkin(&w.window);
    QCOMPARE(w.window.findChildren<SkinFramework1 *>().size(), 1);
    QCOMPARE(skin->flags(), 0x41);
}

void SkinTest::noSkinFileChangesNothing_data()
{
    QTest::addColumn<PlaceInstead>("place"); // none: not even the skin folder is there
    QTest::newRow("no file") << PlaceInstead();
    QTest::newRow("a folder of that name") << PlaceInstead([](const QString &path) { return QDir().mkpath(path); });
    QTest::newRow("a pipe of that name") << PlaceInstead(
        [](const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; });
    QTest::newRow("a dangling link") << PlaceInstead(
        [](const QString &path) { return QFile::link(QFileInfo(path).path() + u"/missing.cjs"_s, path); });
}

void SkinTest::noSkinFileChangesNothing()
{
    QFETCH(PlaceInstead, place);
    if (place) {
        QVERIFY(QDir().mkpath(skinFolder()));
        QVERIFY(place(SkinFilePath()));
    }

    TestWindow w;
    ApplySkin(&w.window);
    QCOMPARE(w.window.palette().color(QPalette::Window), QColor(Qt::white));
    for (QGroupBox *frame : std::as_const(w.frames))
        QCOMPARE(frame->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(w.window.styleSheet().isEmpty());
    QVERIFY(!w.window.findChild<SkinFramework1 *>());
}

void SkinTest::unloadableSkinThrowsAfterColours_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("unreadable");
    QTest::newRow("binary skin") << QByteArray("CJS\x00\x01\x02\xff\xfe\x80skin", 13) << false;
    QTest::newRow("invalid UTF-8") << QByteArray("QWidget { color: \xff\xfe; }") << false;
    QTest::newRow("no read permission") << StyleSheet.toUtf8() << true;
}

void SkinTest::unloadableSkinThrowsAfterColours()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, unreadable);
    if (unreadable && ::geteuid() == 0)
        QSKIP("Permissions do not stop root from reading");
    writeSkin(content);
    if (unreadable)
        QVERIFY(QFile::setPermissions(SkinFilePath(), QFileDevice::WriteOwner));

    TestWindow w;
    QString description;
    try {
        ApplySkin(&w.window);
    } catch (const Failure &failure) {
        description = failure.description();
    }
    QVERIFY2(description.contains(SkinFilePath()), qPrintable(description));
    // The colours changed before the skin was loaded stay; the skin itself is not applied.
    QCOMPARE(w.window.palette().color(QPalette::Window), ButtonFace());
    QCOMPARE(w.frames[0]->palette().color(QPalette::Window), ButtonFace());
    QVERIFY(w.window.styleSheet().isEmpty());
}

void SkinTest::unloadableSkinGivesOneLoadReport()
{
    writeSkin(QByteArray("\x00\x01\x02", 3));
    TestWindow w;
    RecordingDialogs dialogs;
    Guard g(Locations::FormLoad);
    g.step(100, [&] { ApplySkin(&w.window); });
    bool captionSet = false;
    g.step(106, [&] { captionSet = true; });

    QVERIFY(captionSet);
    QCOMPARE(dialogs.calls.size(), 1);
    const QString prompt = dialogs.calls.constFirst().text;
    QVERIFY2(prompt.startsWith(u"The skin file "_s + SkinFilePath()), qPrintable(prompt));
    QVERIFY(prompt.contains(u"\r\nin Quorvane2021/08/31.Form1.Form_Load at line 100\r\r"_s));
}

QUORVANE_TEST_MAIN(SkinTest)
#include "tst_skin.moc"

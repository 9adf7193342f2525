// SPDX-License-Identifier: GPL-3.0-or-later

#include "recording_dialogs.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "services/error_report.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "when_modal.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// What a screen reader can read in a window: the names of everything in its accessible tree.
QStringList AccessibleNames(QWidget *window)
{
    QStringList names;
    const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        names << node->text(QAccessible::Name);
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return names;
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void displayText_data();
    void displayText();
    void nameFilters_data();
    void nameFilters();
    void messageIsPlainTextWithTitleAndOkOnly();
    void messageDetailGoesToDetailedText();
    void errorReportIsWarningWithOwnCaption();
    void saveDialogTakesTheChosenTypesExtension_data();
    void saveDialogTakesTheChosenTypesExtension();
    void saveDialogCancelGivesEmptyName();
    void recorderInstallsAndRestores();
    void recorderAnswersSaveFromQueue();
};

void DialogsTest::displayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CR LF") << u"a\r\nb"_s << u"a\nb"_s;
    QTest::newRow("lone CRs") << u"a\r\rb"_s << u"a\n\nb"_s;
    QTest::newRow("LF stays") << u"a\nb"_s << u"a\nb"_s;
    QTest::newRow("LF CR is two breaks") << u"a\n\rb"_s << u"a\n\nb"_s;
    QTest::newRow("CR LF twice") << u"a\r\n\r\nb"_s << u"a\n\nb"_s;
}

void DialogsTest::displayText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(DisplayText(text), expected);
}

void DialogsTest::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("wave files with closing bar")
        << u"Wave Files (*.wav)|*.wav|"_s << QStringList{u"Wave Files (*.wav)"_s};
    QTest::newRow("without closing bar") << u"Wave Files (*.wav)|*.wav"_s << QStringList{u"Wave Files (*.wav)"_s};
    QTest::newRow("description without pattern")
        << u"Wave Files|*.wav|All Files|*.*|"_s << QStringList{u"Wave Files (*.wav)"_s, u"All Files (*.*)"_s};
    QTest::newRow("several patterns") << u"Sound|*.wav;*.aiff"_s << QStringList{u"Sound (*.wav *.aiff)"_s};
    QTest::newRow("Qt form passes through")
        << u"Wave Files (*.wav);;All (*)"_s << QStringList{u"Wave Files (*.wav)"_s, u"All (*)"_s};
}

void DialogsTest::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(NameFilters(filter), expected);
}

void DialogsTest::messageIsPlainTextWithTitleAndOkOnly()
{
    SetApplicationTitle();
    const QString text = u"<b>Done.</b>\r\nC:\\x & y"_s;
    WhenModal when([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), u"Quorvane"_s);
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->text(), u"<b>Done.</b>\nC:\\x & y"_s);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButton(box->buttons().constFirst()), QMessageBox::Ok);
        QVERIFY(box->detailedText().isEmpty());
        QVERIFY(AccessibleNames(box).contains(box->text()));
        box->buttons().constFirst()->click();
    });
    CurrentDialogs().message(nullptr, text);
    QVERIFY(when.seen());
}

void DialogsTest::messageDetailGoesToDetailedText()
{
    WhenModal when([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->text(), u"Cannot save settings."_s);
        QCOMPARE(box->detailedText(), u"/root/.config\n/Marrowick"_s);
        box->button(QMessageBox::Ok)->click();
    });
    CurrentDialogs().message(nullptr, u"Cannot save settings."_s, u"/root/.config\r/Marrowick"_s);
    QVERIFY(when.seen());
}

void DialogsTest::errorReportIsWarningWithOwnCaption()
{
    SetApplicationTitle();
    const QString prompt = BuildErrorPrompt(u"<i>Overflow</i>"_s, u"in Here "_s, 132);
    WhenModal when([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), u"Application Error"_s);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->text(), DisplayText(prompt));
        QCOMPARE(box->text().split(u'\n').size(), 4);
        QVERIFY(AccessibleNames(box).contains(box->text()));
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButton(box->buttons().constFirst()), QMessageBox::Ok);
        box->buttons().constFirst()->click();
    });
    ErrorReport(u"<i>Overflow</i>"_s, u"in Here "_s, 132);
    QVERIFY(when.seen());
}

void DialogsTest::saveDialogTakesTheChosenTypesExtension_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wave by default") << QString() << u"tone"_s << u"tone.wav"_s;
    QTest::newRow("FLAC chosen") << u"FLAC Files (*.flac)"_s << u"tone"_s << u"tone.flac"_s;
    QTest::newRow("an extension typed stays") << u"FLAC Files (*.flac)"_s << u"tone.au"_s << u"tone.au"_s;
    QTest::newRow("all files: as typed") << u"All Files (*)"_s << u"tone"_s << u"tone"_s;
}

void DialogsTest::saveDialogTakesTheChosenTypesExtension()
{
    QFETCH(QString, type);
    QFETCH(QString, typed);
    QTemporaryDir folder;
    WhenModal when([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), u"CommonDialog1"_s);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->nameFilters().size(), 3);
        const auto *field = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QVERIFY(field && field->text().isEmpty());
        if (!type.isEmpty())
            dialog->selectNameFilter(type);
        emit dialog->filterSelected(dialog->selectedNameFilter()); // what choosing it in the list sends
        TypeAndAccept(dialog, folder.filePath(typed));
    });
    const QString filter = u"Wave Files (*.wav)|*.wav|FLAC Files (*.flac)|*.flac|All Files (*)|*|"_s;
    QTEST(QFileInfo(CurrentDialogs().saveFileName(nullptr, filter)).fileName(), "expected");
    QVERIFY(when.seen());
}

void DialogsTest::saveDialogCancelGivesEmptyName()
{
    WhenModal when([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->reject();
    });
    QCOMPARE(CurrentDialogs().saveFileName(nullptr, u"Wave Files (*.wav)|*.wav|"_s), QString());
    QVERIFY(when.seen());
}

void DialogsTest::recorderInstallsAndRestores()
{
    Dialogs *qtDialogs = &CurrentDialogs();
    {
        RecordingDialogs outer;
        QCOMPARE(&CurrentDialogs(), &outer);
        {
            RecordingDialogs inner;
            QCOMPARE(&CurrentDialogs(), &inner);
            CurrentDialogs().message(nullptr, u"inner"_s);
            QCOMPARE(inner.texts(DialogCall::Message), QStringList{u"inner"_s});
        }
        QCOMPARE(&CurrentDialogs(), &outer);
        QVERIFY(outer.calls.isEmpty());
    }
    QCOMPARE(&CurrentDialogs(), qtDialogs);
    InstallDialogs(nullptr);
    QCOMPARE(&CurrentDialogs(), qtDialogs);
}

void DialogsTest::recorderAnswersSaveFromQueue()
{
    SetApplicationTitle();
    RecordingDialogs dialogs;
    dialogs.queueSaveAnswer(u"/tmp/a.wav"_s);
    QCOMPARE(CurrentDialogs().saveFileName(nullptr, u"Wave Files (*.wav)|*.wav|"_s), u"/tmp/a.wav"_s);
    QCOMPARE(CurrentDialogs().saveFileName(nullptr, u"Wave Files (*.wav)|*.wav|"_s), QString());
    CurrentDialogs().message(nullptr, u"Done."_s);
    QCOMPARE(dialogs.count(DialogCall::SaveFileName), 2);
    QCOMPARE(dialogs.calls.constLast().caption, u"Quorvane"_s);
    QCOMPARE(dialogs.calls.constFirst().text, u"Wave Files (*.wav)|*.wav|"_s);
}

QUORVANE_TEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"

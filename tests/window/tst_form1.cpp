// SPDX-License-Identifier: GPL-3.0-or-later

#include "build_config.h"
#include "core/job/presets.h"
#include "core/tone/tone.h"
#include "screen_reader.h"
#include "services/app_title.h"
#include "services/guard.h"
#include "services/home_page.h"
#include "settings_keys.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "window/status_line.h"
#include "window_fixture.h"

#include <QActionGroup>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;

class Form1Test : public QObject
{
    Q_OBJECT

    QString handCursorCopy() const { return QCoreApplication::applicationDirPath() + u"/HAND-M.CUR"_s; }

    void sendMove(QWidget *target, QPoint position)
    {
        QMouseEvent move(QEvent::MouseMove, position, target->mapToGlobal(position), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }

    static QStringList ItemTexts(const QMenu *menu)
    {
        QStringList texts;
        for (const QAction *item : menu->actions())
            texts << item->text();
        return texts;
    }

    // A top-level item of the options menu by its text.
    static QAction *MenuItem(const Form1 &window, const QString &text)
    {
        for (QAction *item : OpenedOptions(window).actions())
            if (item->text() == text)
                return item;
        return nullptr;
    }

    // The item of a submenu whose text starts so (Other Level… names the level it holds).
    static QAction *ItemStarting(const QMenu &menu, const QString &start)
    {
        for (QAction *item : menu.actions())
            if (item->text().startsWith(start))
                return item;
        return nullptr;
    }

    // An item of the Presets submenu (or of its Delete Preset submenu) by its text, as it is now.
    static QAction *PresetItem(const Form1 &window, const QString &text, bool deleting = false)
    {
        auto *presets = MenuItem(window, u"Presets"_s)->menu();
        QMetaObject::invokeMethod(presets, "aboutToShow");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QMenu *menu = deleting ? PresetItem(window, u"Delete Preset"_s)->menu() : presets;
        for (QAction *item : menu->actions())
            if (item->text() == text)
                return item;
        return nullptr;
    }

private slots:
    void init()
    {
        StartClean();
        QFile::remove(handCursorCopy());
    }

    void firstStartShowsDefaultsAndStoresThem()
    {
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QCOMPARE(window->windowTitle(), u"Quorvane"_s);
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(ApplicationTitle(), u"Quorvane"_s);
        QStringList items;
        for (int i = 0; i < window->Combo1->count(); ++i)
            items << window->Combo1->itemText(i);
        QCOMPARE(items,
                 (QStringList{u"Sine (Default)"_s, u"Square"_s, u"Triangle"_s, u"Sawtooth"_s, u"Trapezium"_s, u"Exp"_s,
                              u"White Noise"_s, u"Pink Noise"_s, u"Brown Noise"_s, u"Polarity Pulse"_s}));
        QCOMPARE(window->Combo1->currentText(), u"Sine (Default)"_s);
        QCOMPARE(window->Text1->text(), u"3"_s);
        QCOMPARE(window->Text2->text(), u"300-3300"_s);
        QCOMPARE(Stored(u"Combo1"_s), u"0"_s);
        QCOMPARE(Stored(u"Text1"_s), u"3"_s);
        QCOMPARE(Stored(u"Text2"_s), u"300-3300"_s);
        QVERIFY(dialogs.calls.isEmpty());
    }

    void restoresStoredInputs_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<int>("index");
        QTest::newRow("empty texts stay empty") << u"5"_s << u""_s << u""_s << 5;
        QTest::newRow("decimal commas kept, no item") << u"-1"_s << u"2,5"_s << u"440,5"_s << -1;
        QTest::newRow("last item, long length") << u"8"_s << u"00:05:30.0"_s << u"1 - 2, \"x\" é"_s << 8;
    }

    void restoresStoredInputs()
    {
        QFETCH(QString, combo);
        QFETCH(QString, length);
        QFETCH(QString, frequencies);
        Store(u"Combo1"_s, combo);
        Store(u"Text1"_s, length);
        Store(u"Text2"_s, frequencies);
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QTEST(window->Combo1->currentIndex(), "index");
        QCOMPARE(window->Text1->text(), length);
        QCOMPARE(window->Text2->text(), frequencies);
        // Restoring did not lose or change anything in the store.
        QCOMPARE(Stored(u"Combo1"_s), combo);
        QCOMPARE(Stored(u"Text1"_s), length);
        QVERIFY(dialogs.calls.isEmpty());
    }

    void badStoredWaveformIsReportedOnce_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::newRow("past the last item") << u"10"_s;
        QTest::newRow("not a number") << u"x"_s;
        QTest::newRow("twelve") << u"12"_s;
        QTest::newRow("below no item") << u"-2"_s;
        QTest::newRow("beyond 16 bits") << u"70000"_s;
    }

    void badStoredWaveformIsReportedOnce()
    {
        QFETCH(QString, combo);
        Store(u"Combo1"_s, combo);
        Store(u"Text1"_s, u"7"_s);
        Store(u"Text2"_s, u"440"_s);
        RecordingDialogs dialogs;
        auto window = StartWindow();
        const QStringList reports = dialogs.texts(DialogCall::ErrorReport);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].contains(u"\r\nin Quorvane2021/08/31.Form1.Form_Load at line 146\r\r"_s));
        QCOMPARE(window->Combo1->currentIndex(), -1);
        QCOMPARE(window->Text1->text(), u"7"_s);
        QCOMPARE(window->Text2->text(), u"440"_s);
    }

    void controlsStandWhereDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        // Twips divided by 15.
        QTest::newRow("PushButton4") << u"PushButton4"_s << u"Form1"_s << QRect(8, 8, 520, 27)
                                     << u"Load Sample/Example Data"_s;
        QTest::newRow("Frame1") << u"Frame1"_s << u"Form1"_s << QRect(8, 40, 520, 55)
                                << u"Length of Audio (seconds/hh:mm:ss.frac)"_s;
        QTest::newRow("Text1") << u"Text1"_s << u"Frame1"_s << QRect(16, 20, 457, 23) << QString();
        QTest::newRow("PushButton6") << u"PushButton6"_s << u"Frame1"_s << QRect(480, 20, 24, 23) << u"?"_s;
        QTest::newRow("Frame3") << u"Frame3"_s << u"Form1"_s << QRect(8, 100, 520, 55) << u"Frequencies (Hz)"_s;
        QTest::newRow("Text2") << u"Text2"_s << u"Frame3"_s << QRect(16, 20, 457, 23) << QString();
        QTest::newRow("PushButton1") << u"PushButton1"_s << u"Frame3"_s << QRect(480, 20, 24, 23) << u"?"_s;
        QTest::newRow("Frame2") << u"Frame2"_s << u"Form1"_s << QRect(8, 160, 520, 55) << u"Type"_s;
        QTest::newRow("Combo1") << u"Combo1"_s << u"Frame2"_s << QRect(16, 20, 489, 23) << QString();
        QTest::newRow("PushButton3") << u"PushButton3"_s << u"Form1"_s << QRect(8, 223, 520, 27) << u"Preview Tone"_s;
        QTest::newRow("PushButton2") << u"PushButton2"_s << u"Form1"_s << QRect(8, 257, 520, 27)
                                     << u"Save Tone As Audio File"_s;
        QTest::newRow("Label1") << u"Label1"_s << u"Form1"_s << QRect(8, 290, 520, 23) << QString();
    }

    void controlsStandWhereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Form1 window;
        QCOMPARE(window.size(), QSize(536, 320)); // the designed 291, and the status line under the buttons
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        auto *control = window.findChild<QWidget *>(name);
        QVERIFY(control);
        QTEST(control->parentWidget()->objectName(), "container");
        QTEST(control->geometry(), "geometry");
        if (auto *button = qobject_cast<QPushButton *>(control)) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->font().pointSizeF(), 11.25);
            QVERIFY(button->font().bold());
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            QCOMPARE(frame->title(), caption);
        }
        if (!qobject_cast<QPushButton *>(control)) {
            QCOMPARE(control->font().pointSizeF(), 9.0);
            QVERIFY(control->font().bold());
            QCOMPARE(control->font().family(), u"Arial"_s);
        }
    }

    void tabOrderFollowsDesign()
    {
        Form1 window;
        const QStringList controls{u"Text1"_s,  u"PushButton6"_s, u"Text2"_s,       u"PushButton1"_s,
                                   u"Combo1"_s, u"PushButton3"_s, u"PushButton2"_s, u"PushButton4"_s};
        QStringList order;
        QWidget *widget = window.Text1;
        do {
            if (controls.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != window.Text1);
        QCOMPARE(order, controls);
        QVERIFY(!window.Combo1->isEditable());
    }

    // What a screen reader hears: every control that takes the focus has a name of its own that
    // says what it is, and the role of its kind; a control added later without one fails here. The
    // list still tells its chosen item; Preview and Save describe themselves by their tooltips.
    void screenReaderHearsEveryControlByItsName()
    {
        auto window = StartWindow();
        QMap<QString, QString> heard;
        qsizetype focusable = 0;
        for (QWidget *widget : window->findChildren<QWidget *>()) {
            if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(window.get()))
                continue;
            const QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible->state().focusable);
            heard.insert(accessible->text(QAccessible::Name), AtspiRoleName(accessible->role()));
            ++focusable;
        }
        QCOMPARE(heard, HeardControls);
        QCOMPARE(focusable, HeardControls.size());
        const auto text = [](QWidget *widget, QAccessible::Text kind) {
            return QAccessible::queryAccessibleInterface(widget)->text(kind);
        };
        QCOMPARE(text(window->Combo1, QAccessible::Value), u"Sine (Default)"_s);
        QCOMPARE(text(window->PushButton3, QAccessible::Description), OptionsTip);
        QCOMPARE(text(window->PushButton2, QAccessible::Description), OptionsTip);
    }

    void failedStartUpStepIsReportedAndStartUpGoesOn_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("statement");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("items"); // in the waveform list
        QTest::newRow("skin") << 100 << 1 << u"Quorvane"_s << 10;
        QTest::newRow("caption") << 104 << 1 << u"Form1"_s << 10;
        QTest::newRow("application title") << 104 << 3 << u"Quorvane"_s << 10;
        QTest::newRow("home page") << 110 << 1 << u"Quorvane"_s << 10;
        QTest::newRow("first item") << 128 << 1 << u"Quorvane"_s << 9;
        QTest::newRow("stored length") << 148 << 1 << u"Quorvane"_s << 10;
    }

    void failedStartUpStepIsReportedAndStartUpGoesOn()
    {
        QFETCH(int, line);
        QFETCH(int, statement);
        Guard::InjectFailure(Locations::FormLoad, line, u"injected"_s, statement);
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QCOMPARE(dialogs.texts(DialogCall::ErrorReport),
                 QStringList{u"injected\r\nin Quorvane2021/08/31.Form1.Form_Load at line %1\r\rPlease email screenshot "
                             "of this message to "_s.arg(line) +
                             QString::fromUtf16(BuildConfig::ErrorReportEmail)});
        QCOMPARE(window->Text2->text(), u"300-3300"_s); // the last step still ran
        QTEST(window->Combo1->count(), "items");
        QTEST(window->windowTitle(), "title");
    }

    void handCursorFileBecomesTheCustomPointer()
    {
        {
            auto window = StartWindow();
            QVERIFY(!window->hasCustomPointerImage());
            QCOMPARE(window->customPointer().shape(), Qt::PointingHandCursor);
        }
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_HAND_CURSOR), handCursorCopy()));
        {
            auto window = StartWindow();
            QVERIFY(window->hasCustomPointerImage());
            QCOMPARE(window->customPointer().shape(), Qt::BitmapCursor);
        }
        QFile::remove(handCursorCopy());
        QVERIFY(WriteFile(handCursorCopy(), "not a picture"));
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QCOMPARE(dialogs.count(DialogCall::ErrorReport), 1);
        QVERIFY(dialogs.texts(DialogCall::ErrorReport)[0].contains(u"at line 108\r"_s));
        QVERIFY(!window->hasCustomPointerImage());
        QFile::remove(handCursorCopy());
    }

    void homePageOpensOnlyOnTheLuckyDraw_data()
    {
        QTest::addColumn<int>("draw");
        QTest::addColumn<bool>("browserWorks");
        QTest::addColumn<int>("opened");
        QTest::addColumn<int>("reports");
        QTest::newRow("draw 7 opens") << 7 << true << 1 << 0;
        QTest::newRow("draw 8 does nothing") << 8 << true << 0 << 0;
        QTest::newRow("draw 100 does nothing") << 100 << true << 0 << 0;
        QTest::newRow("no browser is reported") << 7 << false << 1 << 1;
    }

    void homePageOpensOnlyOnTheLuckyDraw()
    {
        QFETCH(int, draw);
        QFETCH(bool, browserWorks);
        QList<QUrl> opened;
        SetHomePageChance({[&](quint32) { return draw; },
                           [&](const QUrl &url) {
                               opened << url;
                               return browserWorks;
                           }});
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QTEST(int(opened.size()), "opened");
        if (!opened.isEmpty())
            QCOMPARE(opened[0], QUrl(QString::fromUtf16(BuildConfig::HomePage)));
        QTEST(int(dialogs.count(DialogCall::ErrorReport)), "reports");
        QCOMPARE(window->Combo1->count(), 10);
    }

    void defaultDrawIsUniformFromOneToHundred()
    {
        const auto draw = DefaultHomePageChance().draw;
        QSet<int> seen;
        for (quint32 seed = 0; seed < 86400; seed += 7)
            seen.insert(draw(seed));
        QCOMPARE(seen.size(), 100);
        QCOMPARE(*std::min_element(seen.begin(), seen.end()), 1);
        QCOMPARE(*std::max_element(seen.begin(), seen.end()), 100);
    }

    void everyEditIsStoredAtOnce()
    {
        auto window = StartWindow();
        window->Text1->clear();
        QCOMPARE(Stored(u"Text1"_s), u""_s);
        QTest::keyClick(window->Text1, Qt::Key_2);
        QCOMPARE(Stored(u"Text1"_s), u"2"_s);
        QTest::keyClicks(window->Text1, u",5"_s);
        QCOMPARE(Stored(u"Text1"_s), u"2,5"_s);
        window->Combo1->setCurrentIndex(7);
        QCOMPARE(Stored(u"Combo1"_s), u"7"_s);
        window->Text2->setText(u"5000"_s);
        QCOMPARE(Stored(u"Text2"_s), u"5000"_s);
    }

    void storeThatCannotBeWrittenIsToldOncePerRun()
    {
        QDir().mkpath(SettingsFilePath(Settings::App, Settings::Section)); // a folder where the file goes
        RecordingDialogs dialogs;
        auto window = StartWindow();
        window->Text1->setText(u"1"_s);
        window->Text1->setText(u"12"_s);
        QCOMPARE(dialogs.count(DialogCall::Message), 1);
        QVERIFY(dialogs.calls[0].detail.contains(SettingsFilePath(Settings::App, Settings::Section)));
        QCOMPARE(dialogs.count(DialogCall::ErrorReport), 0);
        QCOMPARE(window->Text1->text(), u"12"_s);
    }

    void sampleDataOverwritesEditsAndIsStored()
    {
        auto window = StartWindow();
        window->Text1->setText(u"9"_s);
        window->Text2->setText(u"1"_s);
        window->Combo1->setCurrentIndex(4);
        RecordingDialogs dialogs;
        window->PushButton4->click();
        QCOMPARE(window->Text1->text(), u"3"_s);
        QCOMPARE(window->Text2->text(), u"300-3300"_s);
        QCOMPARE(window->Combo1->currentIndex(), 0);
        QCOMPARE(Stored(u"Text1"_s), u"3"_s);
        QCOMPARE(Stored(u"Text2"_s), u"300-3300"_s);
        QCOMPARE(Stored(u"Combo1"_s), u"0"_s);
        QVERIFY(dialogs.calls.isEmpty());

        // Already on the first item: still stored.
        Store(u"Combo1"_s, u"3"_s);
        window->PushButton4->click();
        QCOMPARE(Stored(u"Combo1"_s), u"0"_s);
    }

    void calibrationNoiseFillsInputsAndOptionsAndStoresThem()
    {
        auto window = StartWindow();
        RecordingDialogs dialogs;
        PresetItem(*window, u"Calibration Noise"_s)->trigger();
        QCOMPARE(window->Text1->text() + u' ' + window->Text2->text() + u' ' + window->Combo1->currentText(),
                 u"30 500-2000 Pink Noise"_s);
        for (const auto &[key, value] : {std::pair{u"Text1"_s, u"30"_s},
                                         {u"Text2"_s, u"500-2000"_s},
                                         {u"Combo1"_s, u"7"_s},
                                         {u"LevelUnit"_s, u"RMS"_s},
                                         {u"Level"_s, u"-20"_s},
                                         {u"NoiseBand"_s, u"1"_s},
                                         {u"LoopPreview"_s, u"1"_s}})
            QCOMPARE(Stored(key), value);
        QVERIFY(window->Options->options().loopPreview() && window->Options->options().noiseBand());
        QVERIFY(MenuItem(*window, u"Limit Noise to the Frequency Range"_s)->isChecked());
        QVERIFY(dialogs.calls.isEmpty());
    }

    // Saved, changed, applied again in whole, replaced after a question, and deleted after one.
    void userPresetIsSavedAppliedAndDeleted()
    {
        auto window = StartWindow();
        SetInputs(*window, u"2,5"_s, 1, u"440"_s);
        window->Options->chooseStored({{OutputSetting::SampleRate, u"96000"_s}});
        RecordingDialogs dialogs;
        dialogs.textAnswers << u"Calibration noise"_s << u"  A&B / C  "_s << u"A&B / C"_s;
        dialogs.questionAnswers << true << true;
        for (int i = 0; i < 2; ++i)
            PresetItem(*window, u"Save Current Settings as Preset…"_s)->trigger();
        QCOMPARE(dialogs.texts(DialogCall::Message),
                 QStringList{u"\"Calibration Noise\" is a built-in preset: choose another name."_s});

        PresetItem(*window, u"EBU Line-Up Tone"_s)->trigger();
        QCOMPARE(Stored(u"Text1"_s) + Stored(u"SampleRate"_s), u"3048000"_s);
        PresetItem(*window, u"A&&B / C"_s)->trigger();
        QCOMPARE(window->Text1->text() + window->Combo1->currentText() + window->Text2->text(), u"2,5Square440"_s);
        QCOMPARE(Stored(u"Text1"_s) + Stored(u"SampleRate"_s) + Stored(u"Level"_s), u"2,5960000"_s);

        window->Text2->setText(u"880"_s);
        PresetItem(*window, u"Save Current Settings as Preset…"_s)->trigger(); // the same name: replaced
        QCOMPARE(dialogs.count(DialogCall::Question), 1);
        PresetItem(*window, u"A&&B / C"_s, true)->trigger();
        QCOMPARE(dialogs.count(DialogCall::Question), 2);
        QCOMPARE(PresetItem(*window, u"A&&B / C"_s), nullptr);
        QVERIFY(!PresetItem(*window, u"Delete Preset"_s)->isEnabled());

        PresetItem(*window, u"Reset Options to Defaults"_s)->trigger();
        QCOMPARE(window->Options->options(), OutputOptions());
        QCOMPARE(window->Text2->text(), u"880"_s);
    }

    // Hand-edited presets: whatever they hold, the good one and the inputs are untouched, and a
    // bad one is greyed with its reason, never applied.
    void hostilePresetsLeaveTheOthersIntact_data()
    {
        QTest::addColumn<QByteArray>("entry"); // the lines of preset 2
        QTest::addColumn<QString>("shown");    // its item
        QTest::addColumn<QString>("reason");
        const QByteArray tone = "2\\Text1=1\n2\\Text2=500\n2\\Combo1=0\n";
        QTest::newRow("slashes, = and [") << "2\\Name=a/b\\\\c=d[e]\n" + tone << u"a/b\\c=d[e]"_s << QString();
        QTest::newRow("newline") << "2\\Name=x\\ny\n" + tone << u"x y"_s << u"one line"_s;
        QTest::newRow("10,000 characters")
            << "2\\Name=" + QByteArray(10000, 'n') + '\n' + tone << QString(63, u'n') + u'…' << u"at most 64"_s;
        QTest::newRow("built-in name") << "2\\Name=EBU Line-Up Tone\n" + tone << u"EBU Line-Up Tone"_s << u"built-in"_s;
        QTest::newRow("a typed level") << "2\\Name=Typed\n2\\Level=-4.5\n" + tone << u"Typed"_s << QString();
        QTest::newRow("a level of thousandths") << "2\\Name=Bad\n2\\Level=-19.125\n" + tone << u"Bad"_s
                                                << u"Level is not a level from 0 down to -120 dBFS"_s;
        QTest::newRow("type 12") << "2\\Name=Bad\n" + QByteArray(tone).replace("Combo1=0", "Combo1=12") << u"Bad"_s
                                 << u"Combo1"_s;
        QTest::newRow("a tool word") << "2\\Name=Bad\n" + QByteArray(tone).replace("=500", "=440 noiseprof x")
                                     << u"Bad"_s << u"Frequencies can hold only"_s;
        QTest::newRow("no length") << "2\\Name=Bad\n" + QByteArray(tone).replace("2\\Text1=1\n", "") << u"Bad"_s
                                   << u"Text1"_s;
    }

    void hostilePresetsLeaveTheOthersIntact()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, shown);
        QFETCH(QString, reason);
        Store(u"Text1"_s, u"7"_s);
        QFile file(SettingsFilePath(Settings::App, Settings::Section));
        QVERIFY(file.open(QIODevice::Append));
        file.write("[Presets]\n1\\Name=Good\n1\\Text1=4\n1\\Text2=1k\n1\\Combo1=2\n" + entry +
                   "3\\Name=Last\n3\\Text1=5\n3\\Text2=2k\n3\\Combo1=0\n");
        file.close();
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QCOMPARE(window->Text1->text(), u"7"_s);
        for (const QString &good : {u"Good"_s, u"Last"_s})
            QVERIFY(PresetItem(*window, good)->isEnabled());
        const QList<QAction *> items = MenuItem(*window, u"Presets"_s)->menu()->actions();
        const qsizetype builtIn = BuiltInPresets().size();
        QCOMPARE(items.size(), builtIn + 8); // built in, 3 stored, 2 separators, 3 more
        QAction *listed = items[builtIn + 2];
        QCOMPARE(listed->text(), shown);
        QCOMPARE(listed->isEnabled(), reason.isEmpty());
        QVERIFY2(listed->toolTip().contains(reason), qPrintable(listed->toolTip()));
        listed->trigger();
        QCOMPARE(window->Text1->text(), reason.isEmpty() ? u"1"_s : u"7"_s);
        PresetItem(*window, u"Good"_s)->trigger();
        QCOMPARE(window->Text1->text() + window->Text2->text() + window->Combo1->currentText(), u"41kTriangle"_s);
        QVERIFY(dialogs.calls.isEmpty());
    }

    void tipsOnlyInform_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");  // how the tip begins
        QTest::addColumn<QString>("signs"); // every sign that the field takes, each named
        QTest::newRow("frequencies") << u"PushButton1"_s
                                     << u"This is the frequency of audio in Hz. You can input a single value such as "
                                        "5000 or a range like 300-3300."_s
                                     << u"&|@;"_s;
        QTest::newRow("length") << u"PushButton6"_s
                                << u"This is a length of audio in seconds. For example: 2\r\n\r\nNote: you can also "
                                   "input in this format hh:mm:ss.frac like 00:05:30.0 which means 5 mins and 30 "
                                   "seconds."_s
                                << QString();
    }

    void tipsOnlyInform()
    {
        QFETCH(QString, button);
        auto window = StartWindow();
        window->Text1->setText(u"4"_s);
        RecordingDialogs dialogs;
        window->findChild<QPushButton *>(button)->click();
        QCOMPARE(dialogs.calls.size(), 1);
        QCOMPARE(dialogs.calls[0].kind, DialogCall::Message);
        QFETCH(QString, text);
        QVERIFY(dialogs.calls[0].text.startsWith(text));
        QFETCH(QString, signs);
        for (const QChar sign : signs)
            QVERIFY2(dialogs.calls[0].text.contains(sign), qPrintable(QString(sign)));
        QCOMPARE(dialogs.calls[0].caption, ApplicationTitle());
        QCOMPARE(window->Text1->text(), u"4"_s);
        QCOMPARE(Stored(u"Text1"_s), u"4"_s);
    }

    void focusSelectsTheWholeText()
    {
        auto window = StartWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), window->Text1);
        QCOMPARE(window->Text1->selectedText(), u"3"_s);
        window->Text2->setFocus(Qt::TabFocusReason);
        QCOMPARE(window->Text2->selectedText(), u"300-3300"_s);
        window->Text1->clear();
        window->Text1->setFocus(Qt::MouseFocusReason);
        QVERIFY(!window->Text1->hasSelectedText());
    }

    void pointerFollowsHover()
    {
        auto window = StartWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        using State = Form1::PointerState;
        for (QPushButton *button : {window->PushButton1, window->PushButton2, window->PushButton3, window->PushButton4,
                                    window->PushButton6}) {
            window->setPointerState(State::Default);
            sendMove(button, {3, 3});
            QCOMPARE(window->pointerState(), State::Custom);
            QCOMPARE(window->cursor().shape(), Qt::PointingHandCursor);
        }
        sendMove(window->Frame2, {2, 2});
        QCOMPARE(window->pointerState(), State::Default);
        sendMove(window->PushButton6, {3, 3});
        sendMove(window.get(), {2, 200});
        QCOMPARE(window->pointerState(), State::Default);
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);

        // Over a field inside a frame nothing changes.
        sendMove(window->PushButton6, {3, 3});
        sendMove(window->Text1, {5, 5});
        QCOMPARE(window->pointerState(), State::Custom);

        // The busy pointer of a running command stays whatever moves.
        window->setPointerState(State::Busy);
        sendMove(window->PushButton2, {3, 3});
        sendMove(window->Frame1, {2, 2});
        sendMove(window.get(), {2, 200});
        QCOMPARE(window->pointerState(), State::Busy);
        QCOMPARE(window->cursor().shape(), Qt::WaitCursor);
    }

    void optionsMenuStoresEveryChoiceAndRestoresIt_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("choices"); // a submenu's items; none for an on/off item
        QTest::addColumn<int>("pick");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("loop") << u"Loop Preview"_s << QStringList() << 1 << u"LoopPreview"_s << u"1"_s;
        // The unit first, a separator, then the levels, and the output's calibration last.
        const QStringList levels{u"Peak"_s,     u"RMS (AES17)"_s,
                                 u""_s,         u"0 dBFS (Full Scale)"_s,
                                 u"-3 dBFS"_s,  u"-6 dBFS"_s,
                                 u"-12 dBFS"_s, u"-18 dBFS"_s,
                                 u"-20 dBFS"_s, u"-23 dBFS"_s,
                                 u"-30 dBFS"_s, u"Other Level…"_s,
                                 u""_s,         u"Calibrate Output Level…"_s};
        QTest::newRow("level") << u"Level"_s << levels << 5 << u"Level"_s << u"-6"_s;
        QTest::newRow("level -23") << u"Level"_s << levels << 9 << u"Level"_s << u"-23"_s;
        QTest::newRow("level unit") << u"Level"_s << levels << 1 << u"LevelUnit"_s << u"RMS"_s;
        QTest::newRow("channels") << u"Channels"_s
                                  << QStringList{u"Mono"_s,          u"Left Only"_s, u"Right Only"_s,
                                                 u"Both (Stereo)"_s, u"Quad"_s,      u"5.1"_s,
                                                 u"7.1"_s,           u""_s,          u"Each Channel in Turn"_s}
                                  << 1 << u"Channels"_s << u"Left"_s;
        QTest::newRow("soft") << u"Soft Start and End (10 ms)"_s << QStringList() << 1 << u"SoftEdges"_s << u"1"_s;
        QTest::newRow("step pause") << u"Pause Between Steps"_s
                                    << QStringList{u"None"_s, u"0.25 s"_s, u"0.5 s"_s, u"1 s"_s, u"2 s"_s} << 2
                                    << u"StepPause"_s << u"0.5"_s;
        QTest::newRow("third octaves") << u"Third-Octave Frequencies"_s
                                       << QStringList{u"Nominal (ISO 266)"_s, u"Exact (Base 10)"_s} << 1
                                       << u"ThirdOctaves"_s << u"Exact"_s;
        QTest::newRow("bursts") << u"Tone Bursts"_s
                                << QStringList{u"Off"_s,       u"6.5 Cycles, Hann Window (CEA-2010)"_s,
                                               u"1 Cycle"_s,   u"3 Cycles"_s,
                                               u"10 Cycles"_s, u"20 Cycles"_s,
                                               u"100 Cycles"_s}
                                << 1 << u"Burst"_s << u"CEA2010"_s;
        QTest::newRow("measurement sweep")
            << u"Measurement Sweep with Inverse Filter"_s << QStringList() << 1 << u"MeasurementSweep"_s << u"1"_s;
        QTest::newRow("alias-free") << u"Alias-Free Waveforms"_s << QStringList() << 1 << u"AliasFree"_s << u"1"_s;
        QTest::newRow("noise band") << u"Limit Noise to the Frequency Range"_s << QStringList() << 1 << u"NoiseBand"_s
                                    << u"1"_s;
        QTest::newRow("rate") << u"Sample Rate"_s
                              << QStringList{u"8000 Hz (Telephone)"_s, u"44100 Hz"_s, u"48000 Hz"_s, u"96000 Hz"_s,
                                             u"192000 Hz"_s}
                              << 0 << u"SampleRate"_s << u"8000"_s;
        QTest::newRow("format") << u"Sample Format"_s
                                << QStringList{u"16-bit"_s, u"24-bit"_s, u"32-bit"_s, u"32-bit Float"_s} << 3
                                << u"SampleFormat"_s << u"32f"_s;
    }

    void optionsMenuStoresEveryChoiceAndRestoresIt()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, choices);
        QFETCH(int, pick);
        QFETCH(QString, key);
        // The checked item of the setting (of its exclusive group in the submenu): its index, or
        // 1/0 for an on/off item.
        const auto checked = [&](const Form1 &window) {
            QAction *action = MenuItem(window, item);
            if (choices.isEmpty())
                return int(action->isChecked());
            const QList<QAction *> items = action->menu()->actions();
            return int(items.indexOf(items[pick]->actionGroup()->checkedAction()));
        };
        RecordingDialogs dialogs;
        auto window = StartWindow();
        // The sweep's own commands beside its option.
        const QStringList sweep{u"Measurement Sweep with Inverse Filter"_s, u"Measure…"_s, u"Make Impulse Response…"_s};
        QCOMPARE(ItemTexts(&OpenedOptions(*window)),
                 (QStringList{u"Stop Sound"_s, u"Loop Preview"_s, u""_s, u"Level"_s, u"Channels"_s,
                              u"Soft Start and End (10 ms)"_s, u"Pause Between Steps"_s, u"Third-Octave Frequencies"_s,
                              u"Tone Bursts"_s} +
                  sweep +
                  QStringList{u"Alias-Free Waveforms"_s, u"Limit Noise to the Frequency Range"_s, u""_s,
                              u"Sample Rate"_s, u"Sample Format"_s, u"Output Device"_s, u"Input Device"_s, u""_s,
                              u"Presets"_s, u"Copy SoX Command"_s, u"Show the Tone…"_s}));
        QCOMPARE(MenuItem(*window, u"Stop Sound"_s)->shortcut(), QKeySequence(Qt::Key_Escape));
        const QString tip = u"Right-click for level, channels, sample rate and format. Esc stops the sound."_s;
        QCOMPARE(window->PushButton2->toolTip() + window->PushButton3->toolTip(), tip + tip);
        if (!choices.isEmpty())
            QCOMPARE(ItemTexts(MenuItem(*window, item)->menu()), choices);
        const int byDefault = checked(*window);
        QCOMPARE(Stored(key), u"<absent>"_s); // nothing stored until chosen

        choices.isEmpty() ? MenuItem(*window, item)->trigger()
                          : MenuItem(*window, item)->menu()->actions()[pick]->trigger();
        QTEST(Stored(key), "stored");
        QCOMPARE(checked(*StartWindow()), pick); // restored at start-up
        Store(key, u"nonsense"_s);
        QCOMPARE(checked(*StartWindow()), byDefault);
        QVERIFY(dialogs.calls.isEmpty());
    }

    void copiedCommandHasTheInputsAndOptions()
    {
        auto window = StartWindow();
        window->Text1->setText(u"2,5"_s);
        MenuItem(*window, u"Level"_s)->menu()->actions()[6]->trigger(); // -12 dBFS
        MenuItem(*window, u"Copy SoX Command"_s)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"sox -r 48000 -n tone.wav synth 2.5 sine 300-3300 gain -12"_s);
        QCOMPARE(window->Status->label()->text(), u"Copied"_s);
        QVERIFY(QTest::qWaitFor([&] { return window->Status->label()->text() != u"Copied"_s; }, 5000));

        // A tone the options cannot make has no command to copy: the reminder says why.
        window->Combo1->setCurrentIndex(2); // a triangle: at most -1.76 dBFS RMS
        window->Options->chooseStored({{OutputSetting::LevelUnit, u"RMS"_s}, {OutputSetting::Level, u"0"_s}});
        RecordingDialogs dialogs;
        MenuItem(*window, u"Copy SoX Command"_s)->trigger();
        QCOMPARE(dialogs.texts(DialogCall::Message).size(), 1);
        QVERIFY(dialogs.texts(DialogCall::Message)[0].contains(u"the highest level that fits is -1.8 dBFS RMS"_s));
        QCOMPARE(QGuiApplication::clipboard()->text(), u"sox -r 48000 -n tone.wav synth 2.5 sine 300-3300 gain -12"_s);
    }

    // The line under the buttons says what Preview and Save make, every option not at its default
    // added; a screen reader reads it, and a click on it opens the options menu.
    void statusLineSaysWhatWillBeMade_data()
    {
        QTest::addColumn<QString>("stored"); // the options as the settings hold them
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("line");
        const QString plain = u"0 dBFS peak (full scale) · Mono · 48 kHz · 32-bit"_s;
        QTest::newRow("every option at its default") << QString() << 0 << u"300-3300"_s << plain;
        QTest::newRow("a peak level") << u"Level=-6"_s << 0 << u"440"_s << u"−6 dBFS peak · Mono · 48 kHz · 32-bit"_s;
        QTest::newRow("an RMS level") << u"Level=-20 LevelUnit=RMS"_s << 0 << u"440"_s
                                      << u"−20 dBFS RMS (AES17) · Mono · 48 kHz · 32-bit"_s;
        QTest::newRow("left only") << u"Channels=Left"_s << 0 << u"440"_s
                                   << u"0 dBFS peak (full scale) · Left Only · 48 kHz · 32-bit"_s;
        QTest::newRow("5.1 in turn") << u"Channels=5.1 ChannelsInTurn=1"_s << 0 << u"440"_s
                                     << u"0 dBFS peak (full scale) · 5.1, each channel in turn · 48 kHz · 32-bit"_s;
        QTest::newRow("left | right is not in turn")
            << u"ChannelsInTurn=1 Channels=Both"_s << 0 << u"440 | 444"_s
            << u"0 dBFS peak (full scale) · Stereo (left | right) · 48 kHz · 32-bit"_s;
        QTest::newRow("left | right") << QString() << 0 << u"440 | 444"_s
                                      << u"0 dBFS peak (full scale) · Stereo (left | right) · 48 kHz · 32-bit"_s;
        QTest::newRow("a rate") << u"SampleRate=44100"_s << 0 << u"440"_s
                                << u"0 dBFS peak (full scale) · Mono · 44.1 kHz · 32-bit"_s;
        QTest::newRow("a format") << u"SampleFormat=32f"_s << 0 << u"440"_s
                                  << u"0 dBFS peak (full scale) · Mono · 48 kHz · 32-bit float"_s;
        QTest::newRow("soft edges") << u"SoftEdges=1"_s << 0 << u"440"_s << plain + u" · Soft start and end"_s;
        QTest::newRow("a stereo step and a pause")
            << u"StepPause=0.5"_s << 0 << u"440; 440 | 444"_s
            << u"0 dBFS peak (full scale) · Stereo (left | right) · 48 kHz · 32-bit · Pause 0.5 s"_s;
        QTest::newRow("bursts") << u"Burst=10"_s << 0 << u"1000"_s << plain + u" · Bursts of 10 cycles"_s;
        QTest::newRow("alias-free") << u"AliasFree=1"_s << 1 << u"440"_s << plain + u" · Alias-free"_s;
        QTest::newRow("exact third octaves")
            << u"ThirdOctaves=Exact"_s << 0 << u"20; 25"_s << plain + u" · Exact third octaves"_s;
        QTest::newRow("a measurement sweep")
            << u"MeasurementSweep=1"_s << 0 << u"20-20000"_s << plain + u" · Measurement sweep"_s;
        QTest::newRow("a noise band") << u"NoiseBand=1"_s << 7 << u"500-2000"_s << plain + u" · Noise 500–2000 Hz"_s;
        QTest::newRow("loop") << u"LoopPreview=1"_s << 0 << u"440"_s << plain + u" · Loop"_s;
        QTest::newRow("an output device") << u"OutputDevice=desk"_s << 0 << u"440"_s << plain + u" · Output: desk"_s;
        QTest::newRow("calibration noise")
            << u"Level=-20 LevelUnit=RMS NoiseBand=1 LoopPreview=1"_s << 7 << u"500-2000"_s
            << u"−20 dBFS RMS (AES17) · Mono · 48 kHz · 32-bit · Noise 500–2000 Hz · Loop"_s;
    }

    void statusLineSaysWhatWillBeMade()
    {
        QFETCH(QString, stored);
        QFETCH(int, type);
        QFETCH(QString, frequencies);
        for (const QString &pair : stored.split(u' ', Qt::SkipEmptyParts))
            Store(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        auto window = StartWindow();
        SetInputs(*window, u"1"_s, type, frequencies);
        QLabel *line = window->Status->label();
        QTEST(line->text(), "line");
        QCOMPARE(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name), line->text());
        // A choice in the menu shows at once.
        window->Options->chooseStored({{OutputSetting::SampleRate, u"96000"_s}});
        QVERIFY2(line->text().contains(u" · 96 kHz · "_s), qPrintable(line->text()));

        QTest::mouseClick(line, Qt::LeftButton);
        QVERIFY(window->Options->isVisible());
        window->Options->close();
    }

    // Other Level… asks for any level; a quick choice typed checks its own item, any other level
    // checks Other Level…, which names it.
    void otherLevelTakesAnyLevel_data()
    {
        QTest::addColumn<QString>("stored"); // the Level in the settings at start-up
        QTest::addColumn<QString>("typed");  // the answer, and " RMS" for an RMS level; empty for Cancel
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("line");
        QTest::newRow("a peak level") << QString() << u"-4"_s << u"Other Level (-4 dBFS)…"_s << u"−4 dBFS peak ·"_s;
        QTest::newRow("an RMS level") << u"-6"_s << u"-14.5 RMS"_s << u"Other Level (-14.5 dBFS)…"_s
                                      << u"−14.5 dBFS RMS (AES17) ·"_s;
        QTest::newRow("a quick choice typed") << u"-4.5"_s << u"-20"_s << u"-20 dBFS"_s << u"−20 dBFS peak ·"_s;
        QTest::newRow("cancelled") << u"-0.01"_s << QString() << u"Other Level (-0.01 dBFS)…"_s
                                   << u"−0.01 dBFS peak ·"_s;
        QTest::newRow("a stored level out of range")
            << u"-120.5"_s << QString() << u"0 dBFS (Full Scale)"_s << u"0 dBFS peak (full scale) ·"_s;
    }

    void otherLevelTakesAnyLevel()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        if (!stored.isEmpty())
            Store(SettingsKey::Level, stored);
        RecordingDialogs dialogs;
        if (!typed.isEmpty())
            dialogs.levelAnswers.enqueue(
                {*OutputLevel::FromText(typed.section(u' ', 0, 0)), typed.endsWith(u"RMS"_s), {}});
        auto window = StartWindow();
        QMenu *level = MenuItem(*window, u"Level"_s)->menu();
        ItemStarting(*level, u"Other Level"_s)->trigger();
        QCOMPARE(dialogs.count(DialogCall::LevelInput), 1);
        QTEST(ItemStarting(*level, u"Other Level"_s)->actionGroup()->checkedAction()->text(), "checked");
        QFETCH(QString, line);
        QVERIFY2(window->Status->label()->text().startsWith(line), qPrintable(window->Status->label()->text()));
        // What is kept is what the command line makes the same tone from.
        OutputOptions same;
        for (const OutputSetting setting : {OutputSetting::Level, OutputSetting::LevelUnit})
            same.restore(setting, Stored(OutputRow(setting).key));
        QCOMPARE(window->Options->options(), same);
    }

    // At a calibrated output Other Level… also takes what a meter reads there: an RMS level, shown
    // on the status line both ways. The calibration is the output's own.
    void otherLevelTakesAMetersReading_data()
    {
        QTest::addColumn<QString>("fullScale"); // typed to Calibrate Output Level…
        QTest::addColumn<double>("reading");    // in dBu
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("line");
        QTest::newRow("+4 dBu, +18 dBu full scale")
            << u"+18 dBu"_s << 4.0 << QString() << u"−14 dBFS RMS (AES17) = +4.0 dBu ·"_s;
        // 1.228 V is +4.0026 dBu: -10 dBu lands on -14.00 dBFS, shown in volts as calibrated.
        QTest::newRow("full scale in volts")
            << u"1.228 V"_s << -10.0 << QString() << u"−14 dBFS RMS (AES17) = 245 mV ·"_s;
        QTest::newRow("above full scale")
            << u"+18 dBu"_s << 20.0 << u"At this output, Level takes +18.0 dBu down to -102.0 dBu."_s
            << u"0 dBFS peak (full scale) ·"_s;
        QTest::newRow("not calibrated") << QString() << 4.0 << UncalibratedLevelReminder
                                        << u"0 dBFS peak (full scale) ·"_s;
        QTest::newRow("a calibration not understood")
            << u"+18 dB"_s << 4.0 << u"Not understood: \"+18 dB\""_s << u"0 dBFS peak (full scale) ·"_s;
    }

    void otherLevelTakesAMetersReading()
    {
        QFETCH(QString, fullScale);
        QFETCH(double, reading);
        RecordingDialogs dialogs;
        auto window = StartWindow();
        QMenu *level = MenuItem(*window, u"Level"_s)->menu();
        if (!fullScale.isEmpty()) {
            dialogs.textAnswers.enqueue(fullScale);
            ItemStarting(*level, u"Calibrate Output Level"_s)->trigger();
        }
        dialogs.levelAnswers.enqueue({OutputLevel(), false, AnalogLevel{reading, AnalogUnit::DecibelsU}});
        ItemStarting(*level, u"Other Level"_s)->trigger();
        QFETCH(QString, told);
        QVERIFY2(dialogs.texts(DialogCall::Message).value(0).startsWith(told),
                 qPrintable(dialogs.texts(DialogCall::Message).value(0)));
        QFETCH(QString, line);
        QVERIFY2(window->Status->label()->text().startsWith(line), qPrintable(window->Status->label()->text()));
        // Kept in dBFS, as the command line makes the same tone from it.
        if (told.isEmpty())
            QCOMPARE(std::pair(Stored(u"Level"_s), Stored(u"LevelUnit"_s)), std::pair(u"-14"_s, u"RMS"_s));
    }

    // Opened on the level chosen, and choosing what it measures leaves it open for the level.
    void levelSubmenuOpensOnTheChoiceAndStaysForTheUnit()
    {
        Store(SettingsKey::Level, u"-20"_s);
        auto window = StartWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QMenu *level = MenuItem(*window, u"Level"_s)->menu();
        level->popup(window->mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitFor([&] { return level->activeAction() && level->activeAction()->text() == u"-20 dBFS"_s; },
                                2000));
        level->setActiveAction(level->actions()[1]); // RMS (AES17)
        QTest::keyClick(level, Qt::Key_Return);
        QCOMPARE(Stored(u"LevelUnit"_s), u"RMS"_s);
        QVERIFY(level->isVisible());
        level->close();
    }

    // Back where it was, when that is on a screen there is; else in the middle of the screen.
    void windowReturnsWhereItWas()
    {
        for (const auto &[stored, restored] : {std::pair{u"40,30"_s, true}, {u"5000,4000"_s, false}}) {
            Store(Settings::WindowPosition, stored);
            auto window = StartWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QCOMPARE(window->frameGeometry().topLeft() == QPoint(40, 30), restored);
            QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));
            window->move(60, 50);
            window->close();
            QCOMPARE(Stored(Settings::WindowPosition), u"60,50"_s);
        }
    }

    void optionsMenuOpensFromMouseAndKeyboard_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QKeySequence>("key"); // empty: right-click
        QTest::addColumn<bool>("opens");
        QTest::newRow("right-click on a button") << u"PushButton3"_s << QKeySequence() << true;
        QTest::newRow("right-click on a frame") << u"Frame2"_s << QKeySequence() << true;
        QTest::newRow("right-click on the list") << u"Combo1"_s << QKeySequence() << true;
        QTest::newRow("right-click on the window") << u"Form1"_s << QKeySequence() << true;
        QTest::newRow("right-click in a text field: its own menu") << u"Text1"_s << QKeySequence() << false;
        QTest::newRow("Menu key in a text field") << u"Text2"_s << QKeySequence(Qt::Key_Menu) << true;
        QTest::newRow("Shift+F10 in a text field") << u"Text1"_s << QKeySequence(Qt::SHIFT | Qt::Key_F10) << true;
        QTest::newRow("Menu key on a button") << u"PushButton4"_s << QKeySequence(Qt::Key_Menu) << true;
    }

    void optionsMenuOpensFromMouseAndKeyboard()
    {
        QFETCH(QString, target);
        QFETCH(QKeySequence, key);
        auto window = StartWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QWidget *widget = target == u"Form1"_s ? window.get() : window->findChild<QWidget *>(target);
        widget->setFocus();
        QWidget *opened = nullptr;
        // A text field's own menu runs its own loop until closed.
        QTimer::singleShot(100, [&] {
            opened = QApplication::activePopupWidget();
            if (opened)
                opened->close();
        });
        if (!key.isEmpty()) {
            QTest::keyClick(widget, key[0].key(), key[0].keyboardModifiers());
        } else {
            // What the platform sends on a right-click.
            QContextMenuEvent click(QContextMenuEvent::Mouse, {2, 2}, widget->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(widget, &click);
        }
        QVERIFY(QTest::qWaitFor([&] { return opened != nullptr; }, 2000));
        QTEST(opened == window->Options, "opens");
    }

    void arrowAndPageKeysStepAPlainFrequency_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("result");
        QTest::newRow("Up") << u"440"_s << QKeySequence(Qt::Key_Up) << u"441"_s;
        QTest::newRow("Shift+Down") << u"440"_s << QKeySequence(Qt::SHIFT | Qt::Key_Down) << u"439.9"_s;
        QTest::newRow("Ctrl+Up") << u"440,5"_s << QKeySequence(Qt::CTRL | Qt::Key_Up) << u"450,5"_s;
        QTest::newRow("Page Down") << u"441"_s << QKeySequence(Qt::Key_PageDown) << u"220.5"_s;
        QTest::newRow("a sweep is left alone") << u"300-3300"_s << QKeySequence(Qt::Key_Up) << u"300-3300"_s;
        QTest::newRow("tones together are left alone") << u"440 | 444"_s << QKeySequence(Qt::Key_Up) << u"440 | 444"_s;
    }

    void arrowAndPageKeysStepAPlainFrequency()
    {
        QFETCH(QString, text);
        QFETCH(QKeySequence, key);
        auto window = StartWindow();
        window->Text2->setText(text);
        QTest::keyClick(window->Text2, key[0].key(), key[0].keyboardModifiers());
        QTEST(window->Text2->text(), "result");
        QTEST(Stored(u"Text2"_s), "result");
    }

    // The menu makes its items as it first opens: they show the options as they stand then, restored
    // at start-up (a default stored outright as well as none) or chosen before it ever opened.
    void optionsMenuMadeAtFirstOpeningShowsTheOptions_data()
    {
        QTest::addColumn<QString>("stored"); // in the settings at start-up
        QTest::addColumn<QString>("chosen"); // before the menu first opens
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QStringList>("checked"); // in menu order, submenus included (output, then input device)
        QTest::addColumn<bool>("channels");       // whether the Channels items can be chosen
        const QStringList defaults{u"Peak"_s,
                                   u"0 dBFS (Full Scale)"_s,
                                   u"Mono"_s,
                                   u"None"_s,
                                   u"Nominal (ISO 266)"_s,
                                   u"Off"_s,
                                   u"48000 Hz"_s,
                                   u"32-bit"_s,
                                   u"System Default"_s,
                                   u"System Default"_s};
        QTest::newRow("nothing stored") << QString() << QString() << u"440"_s << defaults << true;
        QTest::newRow("the defaults stored") << u"Level=0 LevelUnit=Peak Channels=Mono SampleRate=48000 Burst=Off"_s
                                             << QString() << u"440"_s << defaults << true;
        QTest::newRow("restored") << u"Level=-20 LevelUnit=RMS Channels=Left LoopPreview=1"_s << QString() << u"440"_s
                                  << QStringList{u"Loop Preview"_s,  u"RMS (AES17)"_s,
                                                 u"-20 dBFS"_s,      u"Left Only"_s,
                                                 u"None"_s,          u"Nominal (ISO 266)"_s,
                                                 u"Off"_s,           u"48000 Hz"_s,
                                                 u"32-bit"_s,        u"System Default"_s,
                                                 u"System Default"_s}
                                  << true;
        QTest::newRow("chosen before, left | right")
            << u"Level=-4.5"_s << u"SampleRate=96000 SoftEdges=1"_s << u"440 | 444"_s
            << QStringList{u"Peak"_s,          u"Other Level (-4.5 dBFS)…"_s,
                           u"Mono"_s,          u"Soft Start and End (10 ms)"_s,
                           u"None"_s,          u"Nominal (ISO 266)"_s,
                           u"Off"_s,           u"96000 Hz"_s,
                           u"32-bit"_s,        u"System Default"_s,
                           u"System Default"_s}
            << false;
    }

    void optionsMenuMadeAtFirstOpeningShowsTheOptions()
    {
        QFETCH(QString, stored);
        QFETCH(QString, chosen);
        QFETCH(QString, frequencies);
        for (const QString &pair : stored.split(u' ', Qt::SkipEmptyParts))
            Store(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        auto window = StartWindow();
        window->Text2->setText(frequencies);
        QList<std::pair<OutputSetting, QString>> choices;
        for (const QString &pair : chosen.split(u' ', Qt::SkipEmptyParts)) {
            for (const OutputSettingRow &row : OutputSettingRows())
                if (row.key == pair.section(u'=', 0, 0))
                    choices.append({row.setting, pair.section(u'=', 1)});
        }
        window->Options->chooseStored(choices);
        const std::function<QStringList(const QMenu *)> checkedIn = [&](const QMenu *menu) {
            QStringList texts;
            for (const QAction *item : menu->actions())
                texts << (item->menu()        ? checkedIn(item->menu())
                          : item->isChecked() ? QStringList{item->text()}
                                              : QStringList());
            return texts;
        };
        QTEST(checkedIn(&OpenedOptions(*window)), "checked");
        // The layouts; Each Channel in Turn below them is for more than one channel only.
        const QList<QAction *> channels = MenuItem(*window, u"Channels"_s)
                                              ->menu()
                                              ->actions()
                                              .mid(0, OutputRow(OutputSetting::Channels).choices.size());
        QTEST(std::all_of(channels.begin(), channels.end(), [](const QAction *item) { return item->isEnabled(); }),
              "channels");
        QVERIFY(MenuItem(*window, u"Stop Sound"_s)->isEnabled()); // Esc works again once the menu has closed
    }

    // Left | right is stereo whatever is chosen, and the Channels items show it while the field
    // holds it, in any step; the status line says the file is stereo.
    void channelChoicesDoNotApplyToLeftAndRight_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<bool>("twoSides");
        QTest::newRow("left | right") << u"440 | 444"_s << true;
        QTest::newRow("tones together") << u"697 & 1209"_s << false;
        QTest::newRow("left | right in a step, unspaced") << u"440|880;500"_s << true;
        QTest::newRow("steps of one channel") << u"440; 880"_s << false;
    }

    void channelChoicesDoNotApplyToLeftAndRight()
    {
        QFETCH(QString, frequencies);
        QFETCH(bool, twoSides);
        auto window = StartWindow();
        window->Text2->setText(frequencies);
        window->Options->popup({0, 0});
        const QList<QAction *> items = MenuItem(*window, u"Channels"_s)
                                           ->menu()
                                           ->actions()
                                           .mid(0, OutputRow(OutputSetting::Channels).choices.size());
        window->Options->close();
        const bool enabled =
            std::all_of(items.begin(), items.end(), [](const QAction *item) { return item->isEnabled(); });
        QCOMPARE(enabled, !twoSides);
        const ToneReading reading = ReadTone(MakeToneRequest(u"1"_s, u"Sine (Default)"_s, frequencies), {});
        QCOMPARE(reading.tone.layout.channels, twoSides ? 2 : 1);
    }

    void closingEndsTheProgram()
    {
        auto window = StartWindow();
        int ended = 0;
        window->endProcess = [&] { ++ended; };
        window->show();
        window->close();
        QCOMPARE(ended, 1);
    }
};

QUORVANE_TEST_MAIN(Form1Test)
#include "tst_form1.moc"

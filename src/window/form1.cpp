// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up, closing, and the small input handlers: storing each edit, the sample data and the
// two tips.

#include "window/form1.h"

#include "core/failure.h"
#include "core/job/presets.h"
#include "core/job/tone_job.h"
#include "core/run/private_files.h"
#include "core/run/run_and_wait.h"
#include "core/run/tool_files.h"
#include "core/sound/playback.h"
#include "core/sox/synth_command.h"
#include "core/tone/frequency_step.h"
#include "core/tone/tone.h"
#include "core/tone/tone_request.h"
#include "hand_cursor.h"
#include "program_icon.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "services/guard.h"
#include "services/home_page.h"
#include "services/skin.h"
#include "settings/settings_store.h"
#include "window/input_store.h"
#include "window/options_menu.h"
#include "window/status_line.h"
#include "window/sweep_measurement.h"
#include "window/tone_maker.h"
#include "window/tone_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcWindow, "quorvane.window", QtWarningMsg)

void Form1::Form_Load()
{
    Guard g(Locations::FormLoad);
    g.step(100, [&] { ApplySkin(this); });
    g.step(104, [&] { setWindowTitle(ProgramName); });
    g.step(104, [&] {
        const QIcon icon = ProgramIcon();
        if (icon.isNull())
            throw Failure(u"The program icon cannot be loaded."_s);
        setWindowIcon(icon);
    });
    g.step(104, [&] { SetApplicationTitle(); });
    const QString cursorFile = QCoreApplication::applicationDirPath() + u"/HAND-M.CUR"_s;
    if (g.test(106, [&] { return FileExists(cursorFile); })) {
        g.step(108, [&] {
            const std::optional<QCursor> cursor = LoadCursorFile(cursorFile);
            if (!cursor)
                throw Failure(u"Invalid picture: %1"_s.arg(cursorFile));
            m_customPointerImage = cursor;
            m_customPointer = *cursor;
            qCInfo(lcWindow).noquote() << "Hand cursor loaded from" << cursorFile;
        });
    } else {
        qCInfo(lcWindow).noquote() << "No hand cursor at" << cursorFile;
    }
    g.step(110, [&] { OpenHomePageByChance(); });

    // Adding an item must not select it: the list has no selection until the stored one is set.
    for (qsizetype i = 0; i < WaveformLabels().size(); ++i) {
        g.step(128 + 2 * qint32(i), [&] {
            const QSignalBlocker quiet(Combo1);
            Combo1->addItem(WaveformLabels()[i]);
            Combo1->setCurrentIndex(-1);
        });
    }
    // The restored inputs, which their change handlers write straight back, reach the store in
    // one disk write (none when it holds them already) instead of one each.
    SettingsBatch writtenBack(Settings::App, Settings::Section);
    g.step(146, [&] {
        const QString stored = m_inputs->get(Settings::Combo1, Settings::Combo1Default);
        Combo1->setCurrentIndex(StoredListIndex(stored, Combo1->count()));
    });
    g.step(148, [&] { Text1->setText(m_inputs->get(Settings::Text1, Settings::Text1Default)); });
    g.step(150, [&] { Text2->setText(m_inputs->get(Settings::Text2, Settings::Text2Default)); });
    // Unknown values quietly mean the defaults: nothing here can fail.
    Options->restore();
    if (!writtenBack.commit())
        m_inputs->tellNotSaved();
    g.step(152, [&] { m_inputs->tellIfMovedAside(); });
    // Once, now that every input and option stands.
    Status->start();
    m_started = true;
    m_loopWasOn = Options->options().loopPreview();
}

void Form1::Form_Unload()
{
    if (m_ending)
        return;
    m_ending = true;
    storePosition();
    // Nobody could stop a tool left running once the window is gone, nor remove what a
    // deconvolution was writing; the file that a Save was writing beside the chosen name is removed:
    // the process may end before the Save does.
    StopRunningProgram();
    m_measurement->stop();
    if (m_live)
        StopPlayback();
    RemovePrivateFiles();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (endProcess)
        endProcess();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Form1::setVisible(bool visible)
{
    // Placed before it is first shown: a window moved before it is made is placed by its frame's
    // corner, which the window manager then keeps where it was asked. Moved once it is made, the
    // point would be taken for the inside's corner, before the window manager has added the frame
    // and told its size, and the window would come back a title bar higher each time.
    if (visible && !m_placed) {
        m_placed = true;
        placeWhereItWas();
        Status->start(); // a window shown without start-up still says what it makes
        m_started = true;
    }
    QWidget::setVisible(visible);
}

void Form1::placeWhereItWas()
{
    // Where it was last time, when the whole window still fits on a screen that is there.
    const QStringList stored = m_inputs->get(Settings::WindowPosition, QString()).split(u',');
    if (stored.size() == 2) {
        QRect frame = frameGeometry();
        frame.moveTopLeft({stored[0].toInt(), stored[1].toInt()});
        const QList<QScreen *> screens = QGuiApplication::screens();
        if (std::any_of(screens.begin(), screens.end(),
                        [&](const QScreen *screen) { return screen->availableGeometry().contains(frame); })) {
            move(frame.topLeft());
            return;
        }
    }
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Form1::storePosition()
{
    if (isVisible())
        m_inputs->save(Settings::WindowPosition, u"%1,%2"_s.arg(frameGeometry().x()).arg(frameGeometry().y()));
}

void Form1::Text1_Change()
{
    m_reminderWord.reset();
    // The live tone first: storing the edit writes to the disk.
    followLive();
    m_inputs->save(Settings::Text1, Text1->text());
}

void Form1::Text2_Change()
{
    m_reminderWord.reset();
    // The live tone first: storing the edit writes to the disk.
    followLive();
    m_inputs->save(Settings::Text2, Text2->text());
}

void Form1::Combo1_Click()
{
    followLive();
    m_inputs->save(Settings::Combo1, QString::number(Combo1->currentIndex()));
}

void Form1::Options_Change()
{
    const bool loop = Options->options().loopPreview();
    // Opened ahead, so that the first live tone sounds at the click.
    if (m_started && loop && !m_loopWasOn)
        PrepareLiveOutput();
    m_loopWasOn = loop;
    followLive();
}

void Form1::Combo1_Change()
{
    Combo1_Click();
}

void Form1::Text1_GotFocus()
{
    Text1->setSelection(0, int(Text1->text().size()));
}

void Form1::Text2_GotFocus()
{
    Text2->setSelection(0, int(Text2->text().size()));
}

void Form1::PushButton4_Click()
{
    Guard g(Locations::PushButton4Click);
    g.step(100, [&] { Text1->setText(Samples::Length); });
    g.step(102, [&] { Text2->setText(Samples::Frequencies); });
    g.step(104, [&] {
        // Choosing the item that is already chosen is still a choice: store it.
        if (Combo1->currentIndex() == Samples::WaveformIndex)
            Combo1_Click();
        else
            Combo1->setCurrentIndex(Samples::WaveformIndex);
    });
}

void Form1::LoadCalibrationNoise()
{
    ApplyPreset(BuiltInPresets().constFirst());
}

void Form1::ApplyPreset(const Preset &preset)
{
    // Never half: a preset that cannot be applied is not offered, and is not taken here either.
    if (!preset.usable())
        return;
    // The three inputs and every option reach the store in one disk write.
    SettingsBatch stored(Settings::App, Settings::Section);
    Text1->setText(preset.length);
    Text2->setText(preset.frequencies);
    if (Combo1->currentIndex() == preset.waveformIndex)
        Combo1_Click();
    else
        Combo1->setCurrentIndex(preset.waveformIndex);
    Options->choosePreset(preset.options);
    if (!stored.commit())
        m_inputs->tellNotSaved();
}

void Form1::ShowTone()
{
    if (!m_toneWindow) {
        m_toneWindow = new ToneWindow(this);
        if (m_lastShown)
            m_toneWindow->follow(*m_lastShown);
    }
    m_toneWindow->show();
    m_toneWindow->raise();
    m_toneWindow->activateWindow();
}

void Form1::PushButton1_Click()
{
    Guard g(Locations::PushButton1Click);
    g.step(100, [&] {
        CurrentDialogs().message(
            this,
            u"This is the frequency of audio in Hz. You can input a single value such as 5000 or a range like "
            "300-3300.\r\n\r\n"
            "A frequency may also be 1k (kilohertz), 440 Hz or 1.5 kHz, a note such as A4 or C#5, or %-12 (semitones "
            "from A4). A range sweeps from the first to the second: 300-3300 and 300/3300 exponentially, 300:3300 "
            "linearly, 300+3300 along a square law. Plain numbers after it are the offset, phase and shape.\r\n\r\n"
            "& joins tones that sound together (697 & 1209), | puts the left channel's before the right one's "
            "(440 | 444), and @ after a tone gives its level in dB below the loudest (60 & 7000@-12). ; separates "
            "steps that play one after another, each for the length (100; 1000; 10000). dtmf 123*# plays telephone "
            "keys, one a step, and twist 2 after them puts each key's high tone 2 dB above its low one. multitone 31 "
            "20-20000 fft 65536 plays 31 sines at once, spread evenly in log frequency from 20 Hz to 20 kHz, each on a "
            "bin of a 65536-point FFT; with a noise type, periodic 20-20000 fft 65536 repeats a noise every 65536 "
            "samples.\r\n\r\n"
            "Up and Down, or the mouse wheel, move a single frequency by 1 Hz (Shift: 0.1 Hz, Ctrl: 10 Hz); Page Up "
            "and Page Down move it an octave."_s);
    });
}

void Form1::PushButton6_Click()
{
    Guard g(Locations::PushButton6Click);
    g.step(100, [&] {
        CurrentDialogs().message(
            this, u"This is a length of audio in seconds. For example: 2\r\n\r\nNote: you can also input in this "
                  "format hh:mm:ss.frac like 00:05:30.0 which means 5 mins and 30 seconds."_s);
    });
}

void Form1::CopySoxCommand()
{
    // Whatever Preview would refuse has no command either: the same reminder, and nothing copied.
    if (const std::optional<ToneRefusal> reminder = m_toneMaker->reminder()) {
        showReminder(*reminder);
        return;
    }
    if (const std::optional<QString> none = NoCopyableCommand(m_toneMaker->checkedPlan())) {
        CurrentDialogs().message(this, *none);
        return;
    }
    QGuiApplication::clipboard()->setText(CopyableSoxCommand(m_toneMaker->checkedPlan()));
    Status->tell(u"Copied"_s);
}

void Form1::showReminder(const ToneRefusal &reminder)
{
    QLineEdit *field = !reminder.field ? nullptr : *reminder.field == ToneField::Length ? Text1 : Text2;
    const std::optional<FieldWord> &word = reminder.word;
    CurrentDialogs().message(this, reminder.quoted());
    if (!field)
        return;
    if (word)
        m_reminderWord = ReminderWord{field, int(word->start), int(word->text.size())};
    field->setFocus();
    // The window may not be active again yet, after the message: then the word is selected when
    // the focus arrives, after the field has selected all of itself.
    if (field->hasFocus())
        selectReminderWord(field);
}

void Form1::selectReminderWord(QLineEdit *field)
{
    if (!m_reminderWord || m_reminderWord->field != field)
        return;
    field->setSelection(m_reminderWord->start, m_reminderWord->length);
    m_reminderWord.reset();
}

void Form1::showWhetherPlaying()
{
    const bool playing = IsSoundPlaying();
    PushButton3->setText(playing ? StopToneCaption : u"Preview Tone"_s);
    QString words = m_playingWords;
    if (playing && m_turns) {
        const auto turn = qint64(double(PlayedMicroseconds()) / 1e6 / m_turns->second);
        words = SpeakerName(m_turns->first, int(turn % ChannelCount(m_turns->first))) + u" · "_s + words;
    }
    Status->setPlaying(playing ? words : QString());
    if (!playing) {
        m_turns.reset();
        m_soundWatch.stop();
        m_live = false;
        m_playingWords = PlayingText;
    }
}

bool Form1::Text2_StepKey(const QKeyEvent *key)
{
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    const double step = ctrl ? 10 : shift ? 0.1 : 1;
    std::optional<QString> stepped;
    switch (key->key()) {
    case Qt::Key_Up:
        stepped = SteppedFrequency(Text2->text(), 1, step);
        break;
    case Qt::Key_Down:
        stepped = SteppedFrequency(Text2->text(), 1, -step);
        break;
    case Qt::Key_PageUp:
        stepped = SteppedFrequency(Text2->text(), 2, 0);
        break;
    case Qt::Key_PageDown:
        stepped = SteppedFrequency(Text2->text(), 0.5, 0);
        break;
    default:
        break;
    }
    if (!stepped || key->modifiers() & Qt::AltModifier)
        return false;
    // Through the edit history, so that undo takes the step back; stored like any edit.
    Text2->selectAll();
    Text2->insert(*stepped);
    return true;
}

bool Form1::Text2_Wheel(const QWheelEvent *wheel)
{
    // Shift turns a wheel sideways on some desktops.
    const QPoint turned = wheel->angleDelta();
    m_wheelTurned += turned.y() != 0 ? turned.y() : turned.x();
    const int notches = m_wheelTurned / QWheelEvent::DefaultDeltasPerStep;
    m_wheelTurned %= QWheelEvent::DefaultDeltasPerStep;
    const QKeyEvent key(QEvent::KeyPress, notches > 0 ? Qt::Key_Up : Qt::Key_Down, wheel->modifiers());
    bool stepped = false;
    for (int notch = 0; notch < std::abs(notches); ++notch)
        stepped = Text2_StepKey(&key) || stepped;
    return stepped;
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched == Text1)
            Text1_GotFocus();
        else if (watched == Text2)
            Text2_GotFocus();
        if (watched == Text1 || watched == Text2)
            selectReminderWord(static_cast<QLineEdit *>(watched));
        return false;
    case QEvent::KeyPress:
        return watched == Text2 && Text2_StepKey(static_cast<QKeyEvent *>(event));
    case QEvent::Wheel:
        return watched == Text2 ? Text2_Wheel(static_cast<QWheelEvent *>(event)) : hoverEvent(watched, event);
    default:
        return hoverEvent(watched, event);
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "window/tone_maker.h"

#include <QCursor>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class InputStore;
struct Preset;
class OptionsMenu;
class QComboBox;
class QKeyEvent;
class QWheelEvent;
class QGroupBox;
class QLineEdit;
class QPushButton;
class StatusLine;
class SweepMeasurement;
class ToneMaker;
struct ToneRefusal;
class ToneWindow;

// What Preview Tone reads while its sound plays.
inline const QString StopToneCaption = QStringLiteral("Stop Tone");

// The program's one working window: three inputs, two commands, sample data and two tips.
// Handlers keep the names of the controls and events they answer (Text1_Change, ...).
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // The window-wide pointer: the ordinary arrow, the busy pointer of a running command, or the
    // hand over the push buttons.
    enum class PointerState
    {
        Default = 0,
        Busy = 11,
        Custom = 99
    };

    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The first show puts the window where it was last closed (see WindowPosition).
    void setVisible(bool visible) override;

    // Start-up: skin, caption, icon, title, hand cursor, home page chance, the waveform list and
    // the restored inputs. Runs before the window is first shown.
    void Form_Load();
    // Ends the program; a tool still running is stopped first.
    void Form_Unload();

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton6_Click();
    // From the options menu's presets: the standard speaker-calibration noise, inputs and options
    // at once.
    void LoadCalibrationNoise();
    // Puts in the preset's inputs and every option, as a person would, and stores them.
    void ApplyPreset(const Preset &preset);
    // Show the Tone…: opens the tone window (made on the first call) with the last tone made.
    void ShowTone();
    // Cancel beside a Save's or an impulse response's progress: stops the tool or the
    // deconvolution; the command then says "Cancelled.".
    void PushButton7_Click();
    // From the options menu: asks for a recording of the measurement sweep and its inverse filter,
    // and writes the impulse response beside the recording.
    void MakeImpulseResponse();
    // From the options menu: plays the measurement sweep, records the input meanwhile, and shows
    // the response.
    void Measure();
    // From the options menu: the command for the tone, when Preview would make it.
    void CopySoxCommand();

    void Text1_Change();
    void Text2_Change();
    void Combo1_Click();
    void Combo1_Change();
    void Text1_GotFocus();
    void Text2_GotFocus();

    void Form_MouseMove();
    void Frame1_MouseMove();
    void Frame2_MouseMove();
    void Frame3_MouseMove();
    void PushButton_MouseMove();

    // Up, Down, Page Up and Page Down in the frequency field; true when the key moved the number.
    bool Text2_StepKey(const QKeyEvent *key);
    // The mouse wheel over the frequency field steps it as Up and Down do, a step a notch.
    bool Text2_Wheel(const QWheelEvent *wheel);
    // An option or the output device changed.
    void Options_Change();

    PointerState pointerState() const { return m_pointerState; }
    void setPointerState(PointerState state);
    // The pointer that the custom state shows: the hand cursor file, or the platform's hand.
    const QCursor &customPointer() const { return m_customPointer; }
    bool hasCustomPointerImage() const { return m_customPointerImage.has_value(); }

    // True while Save or Preview runs.
    bool CommandBusy = false;

    // What ending the program does; tests replace it to watch instead of exiting.
    std::function<void()> endProcess;

    QLineEdit *Text1;
    QLineEdit *Text2;
    QComboBox *Combo1;
    QPushButton *PushButton1;
    QPushButton *PushButton2;
    QPushButton *PushButton3;
    QPushButton *PushButton4;
    QPushButton *PushButton6;
    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QGroupBox *Frame3;
    // Stop Sound, the output options and Copy SoX Command, on a right-click or the Menu key.
    OptionsMenu *Options;
    // The line under the buttons: what Preview and Save make, what plays, a Save's progress.
    StatusLine *Status;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void describeControls();
    bool hoverEvent(QObject *watched, QEvent *event);
    // Shows a reminder; one about a word of the length or the frequencies quotes the first word not
    // understood, and the focus then goes back to that field with the word selected.
    void showReminder(const ToneRefusal &reminder);
    // Selects the word that the last reminder quoted, once, when it is in this field.
    void selectReminderWord(QLineEdit *field);
    // Preview Tone reads Stop Tone while its sound plays, and the status line says so.
    void showWhetherPlaying();
    // With Loop Preview on, a steady tone plays live; false when the tone is none (it loops from the
    // tool's file).
    bool playLive();
    // While the tone plays live, every change of the inputs, the options or the output device is
    // handed to it at once; fields that make no tone that can play live leave the last one playing.
    void followLive();
    QString changeLive();
    void placeWhereItWas();
    void storePosition();

    std::unique_ptr<InputStore> m_inputs;
    std::unique_ptr<ToneMaker> m_toneMaker;
    std::unique_ptr<SweepMeasurement> m_measurement;
    ToneWindow *m_toneWindow = nullptr;
    // What the tone window shows when it opens: the last tone made, or a response made after it.
    std::optional<MadeTone> m_lastShown;
    PointerState m_pointerState = PointerState::Default;
    QCursor m_customPointer;
    std::optional<QCursor> m_customPointerImage;
    // The word a reminder quoted, to be selected when the focus is back in its field.
    struct ReminderWord
    {
        QLineEdit *field;
        int start;
        int length;
    };
    std::optional<ReminderWord> m_reminderWord;
    bool m_placed = false;
    bool m_ending = false;
    QTimer m_soundWatch;    // while a sound plays: when it ends
    QString m_playingWords; // what the status line says while the sound plays
    // While a preview of each channel in turn plays: its layout and how long each turn lasts, so
    // that the line can name the channel that sounds.
    std::optional<std::pair<ChannelMap, double>> m_turns;
    bool m_live = false;    // the live tone plays, and follows the inputs
    QString m_liveOutput;   // the output device it plays on
    bool m_started = false; // the inputs and options stand: start-up is over
    // Loop Preview as it stood at the last change of the options: the live output is opened ahead
    // when it is switched on, never at start-up.
    bool m_loopWasOn = false;
    int m_wheelTurned = 0; // eighths of a degree not yet stepped (a touchpad's small turns add up)
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/output_options.h"

#include <QCursor>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QKeyEvent;
class QMenu;
class QGroupBox;
class QLineEdit;
class QPushButton;
class Guard;
struct SynthRun;
struct ToneRequest;

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

    // The options menu: Stop Sound, the output options, Copy SoX Command.
    void ShowOptionsMenu(const QPoint &globalPosition);
    void StopSound();
    void CopySoxCommand();
    // Up, Down, Page Up and Page Down in the frequency field; true when the key moved the number.
    bool Text2_StepKey(const QKeyEvent *key);
    // What the options menu has chosen; Save and Preview make their tones with it.
    const OutputOptions &outputOptions() const { return m_outputOptions; }

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
    QMenu *OptionsMenu;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void saveInput(const QString &key, const QString &value);
    // Tells once that a damaged settings file was moved aside, and where.
    void tellIfSettingsMovedAside();
    // Tells once per run that the inputs cannot be saved.
    void inputsNotSaved();
    void showMessage(const QString &text, const QString &detail = {});
    bool hoverEvent(QObject *watched, QEvent *event);
    void buildOptionsMenu();
    void restoreOutputOptions();
    void showOutputOptions();
    void chooseOutputOption(OutputSetting setting, qsizetype choice);

    // The statements of one command that make a tone, with the line number each one reports.
    struct ToneLines
    {
        qint32 deploy;     // the first of the tool files' deployment lines
        qint32 toolPart;   // the tool's path
        qint32 outputPath; // the preview's path, or 0 when the command already has its output
        qint32 arguments;  // reading the inputs into the tool's arguments
        qint32 join;       // the whole command line
        qint32 run;        // running the tool until it ends
    };
    // Deploys the tool files, reads the inputs, builds the command and runs it. Shared by Save and
    // Preview, which keep their own line numbers; the caller removes the tool files and judges.
    SynthRun makeTone(Guard &guard, const ToneLines &lines, QString &outputPath);
    // Shows in the title how far the tone has got, once a run takes more than a second.
    std::function<void()> progressReporter(const QString &outputPath, const ToneRequest &request,
                                           const OutputOptions &options);
    // The three inputs as they stand now, as the tool will get them.
    ToneRequest currentRequest() const;
    // The reminder for a field that does not fit what the tool may be given, or nothing.
    std::optional<QString> grammarReminder() const;

    PointerState m_pointerState = PointerState::Default;
    QCursor m_customPointer;
    std::optional<QCursor> m_customPointerImage;
    bool m_settingsWarningShown = false;
    bool m_centred = false;
    bool m_ending = false;
    OutputOptions m_outputOptions;
    QAction *m_stopSound;
    std::array<QList<QAction *>, OutputSettingCount> m_optionActions; // per setting, its choices' items
};

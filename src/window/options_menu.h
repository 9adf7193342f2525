// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/job/presets.h"
#include "core/tone/analog_level.h"
#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QMenu>
#include <array>
#include <functional>

class InputStore;
struct LiveTone;
class OutputDeviceMenu;
class PresetsMenu;

// A reminder that names the setting that mends it ("... under Level.") with where that setting
// is: in this menu, and how it opens. Other reminders come back unchanged.
QString WithMenuAdvice(const QString &reminder);

// The window's options menu: Stop Sound, one item or submenu per output option, Presets and
// Copy SoX Command. It opens on a right-click anywhere in the window but the text fields (which keep their
// edit menu), and on the Menu key or Shift+F10 wherever the focus is; Esc stops the sound anywhere
// in the window. It restores the options at start-up and stores each choice the person makes. Its
// items are made when it first opens (aboutToShow).
class OptionsMenu : public QMenu
{
    Q_OBJECT

public:
    // The request is read when the command is copied, so that it is the one the fields show then.
    OptionsMenu(QWidget *window, InputStore &store, std::function<ToneRequest()> currentRequest);

    // The stored choices; a missing or unknown value means the default, without a word.
    void restore();
    // What is chosen now; Save and Preview make their tones with it.
    const OutputOptions &options() const { return m_options; }

    void stopSound();
    // Plays the preview where the Output Device submenu points, looping when chosen.
    void playPreview(const QString &path);
    // Plays the live tone there; false when it does not play.
    bool playLive(const LiveTone &tone);
    // Chooses these options as the person would, each by its stored value, and stores them.
    void chooseStored(const QList<std::pair<OutputSetting, QString>> &choices);
    // Chooses every option of the preset, and stores them.
    void choosePreset(const OutputOptions &options);
    // Reset Options to Defaults: every option, the output device too, back to its default.
    void resetToDefaults();
    // The output device chosen, by the name a person knows; empty for the system default.
    QString outputDeviceName() const;
    // The ids of the output and the input devices chosen; empty for the system's defaults.
    const QString &outputDevice() const;
    const QString &inputDevice() const;
    // What a full-scale sine reads at the output chosen, when the person has measured it.
    const std::optional<OutputCalibration> &calibration() const;

signals:
    // A preset from the Presets submenu: the window fills its inputs, then chooses the options.
    void presetChosen(const Preset &preset);
    // Show the Tone… (also Ctrl+I anywhere in the window): the window opens its tone window.
    void toneWindowRequested();
    // Make Impulse Response…: the window asks for a recording of the sweep and deconvolves it.
    void impulseResponseRequested();
    // Measure…: the window plays the measurement sweep, records it and deconvolves it.
    void measureRequested();
    // Copy SoX Command: the window checks the fields as Preview would, then copies.
    void copySoxCommandRequested();
    // A choice was made or restored.
    void optionsChanged();

private:
    // Every item and submenu, once, as the menu first opens.
    void addItems(QWidget *window);
    // In the menu itself, or in a submenu.
    void addOnOffItem(const OutputSettingRow &row, QMenu *menu = nullptr);
    void addSubmenu(const OutputSettingRow &row);
    void addChoices(QMenu *submenu, const OutputSettingRow &row);
    void choose(OutputSetting setting, qsizetype choice);
    // Other Level…: any level of the range, typed, and what it measures.
    void askForLevel();
    // Calibrate Output Level…: what a full-scale sine reads at the output chosen.
    void askForCalibration();
    // Keeps what is chosen now for the setting, and says that it changed.
    void store(OutputSetting setting);
    // The items' checks follow the options. Only a person's choice stores anything (triggered,
    // not toggled).
    void showChoices();

    InputStore &m_store;
    std::function<ToneRequest()> m_currentRequest;
    OutputOptions m_options;
    QAction *m_stopSound;
    QAction *m_showTone;
    OutputDeviceMenu *m_devices;
    OutputDeviceMenu *m_inputDevices;
    PresetsMenu *m_presets = nullptr; // made with the other items, as the menu first opens
    // Per setting, the items of its choices; an on/off setting has one item, checked when on. The
    // Level's end with Other Level…, at the choice of a level that is none of the quick choices.
    std::array<QList<QAction *>, OutputSettingCount> m_items;
    QAction *m_otherLevel = nullptr;
    // The calibration of the output it was read for: read again only when the output changes, as
    // the status line asks for it at every keystroke.
    mutable std::optional<QString> m_calibratedDevice;
    mutable std::optional<OutputCalibration> m_calibration;
};

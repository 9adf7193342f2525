// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plugins/plugin_interfaces.h"
#include "settings/settings_store.h"

#include <QHash>
#include <QMenu>
#include <QSet>
#include <QString>

class InputStore;
class QActionGroup;

// The options menu's "Output Device" submenu: "System Default", then every audio output there is,
// by its description, read afresh each time the submenu opens, so that a device plugged in later
// is there. The choice is stored under OutputDevice: empty for the default, else the output's id.
// The preview plays where it points; when that output has gone, on the default output, and the
// person is told so once per run for each output. Made for inputs, it is the "Input Device"
// submenu, which lists the inputs (the outputs' monitors too) and stores under InputDevice.
class OutputDeviceMenu : public QMenu
{
    Q_OBJECT

public:
    enum class Direction
    {
        Output,
        Input
    };
    OutputDeviceMenu(QWidget *window, InputStore &store, QWidget *parent, Direction direction = Direction::Output);

    // The stored choice; nothing stored means the default.
    void restore();
    // Chooses the system's default, as a person would, and stores it.
    void chooseDefault() { choose(QString()); }
    // The chosen output's id; empty for the system's default.
    const QString &chosen() const { return m_chosen; }
    // Plays a preview where the choice points. Nothing is said while the default is chosen, as
    // before there was a choice.
    void playPreview(const QString &path, bool loop);
    // Plays the live tone where the choice points (see PlayLiveTone), said as for a preview; false
    // when it does not play.
    bool playLive(const LiveTone &tone);
    // The chosen output as a person knows it: its description when it has been seen in this run.
    QString chosenName() const;

private:
    // Says when the sound could not start, or started on the default in place of a missing choice.
    void tellHowItStarted(PlaybackStart start);
    // Asking the audio server loads the player, so only an opening submenu does: a start of the
    // program never waits for it, and until then only the default is listed.
    void listOutputs(bool askServer);
    void choose(const QString &id);
    const QString &key() const
    {
        return m_direction == Direction::Input ? Settings::InputDevice : Settings::OutputDevice;
    }

    QWidget *m_window;
    InputStore &m_store;
    Direction m_direction;
    QActionGroup *m_group; // makes the items exclusive
    QString m_chosen;
    QHash<QString, QString> m_descriptions; // every output seen in this run, by id
    QSet<QString> m_toldMissing;
};

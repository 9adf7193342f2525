// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/job/presets.h"

#include <QMenu>
#include <functional>

// The options menu's "Presets" submenu: the built-in presets, then the user's in the order saved
// (read afresh each time it opens, so another running copy's are there too), then Save Current
// Settings as Preset…, Delete Preset and Reset Options to Defaults. A stored preset that cannot be
// applied is shown greyed, with the reason as its tip.
class PresetsMenu : public QMenu
{
    Q_OBJECT

public:
    // current gives the inputs and options as they stand, for saving them.
    PresetsMenu(QWidget *window, std::function<Preset()> current, QWidget *parent);

    // Lists the presets as they are stored now.
    void rebuild();
    // Save Current Settings as Preset…: asks for a name, and before replacing a preset of that name.
    void saveCurrent();
    // Delete Preset: asks first.
    void deletePreset(const QString &name);

signals:
    void presetChosen(const Preset &preset);
    void resetOptionsRequested();

private:
    QWidget *m_window;
    std::function<Preset()> m_current;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/presets_menu.h"

#include "services/dialogs.h"
#include "settings/preset_store.h"
#include "settings/settings_store.h"
#include "window/options_menu.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A name as an item's text: one line, and "&" shown rather than taken for a shortcut marker.
QString ItemText(const QString &name)
{
    return PresetDisplayName(name).replace(u'&', u"&&"_s);
}

} // namespace

PresetsMenu::PresetsMenu(QWidget *window, std::function<Preset()> current, QWidget *parent)
    : QMenu(u"Presets"_s, parent), m_window(window), m_current(std::move(current))
{
    setToolTipsVisible(true);
    connect(this, &QMenu::aboutToShow, this, &PresetsMenu::rebuild);
    rebuild();
}

void PresetsMenu::rebuild()
{
    // Later, not now: the item that asked for the rebuild may still be delivering its signal.
    for (QAction *item : actions()) {
        removeAction(item);
        if (QMenu *submenu = item->menu())
            submenu->deleteLater();
        else if (item->parent() == this)
            item->deleteLater();
    }
    const QList<Preset> presets = AvailablePresets();
    QList<Preset> stored;
    for (const Preset &preset : presets) {
        if (!preset.builtIn && stored.isEmpty())
            addSeparator();
        if (!preset.builtIn)
            stored.append(preset);
        QAction *item = addAction(ItemText(preset.name));
        item->setEnabled(preset.usable());
        item->setToolTip(preset.problem);
        connect(item, &QAction::triggered, this, [this, preset] { emit presetChosen(preset); });
    }
    addSeparator();
    addAction(u"Save Current Settings as Preset…"_s, this, &PresetsMenu::saveCurrent);
    QMenu *deleting = addMenu(u"Delete Preset"_s);
    deleting->setEnabled(!stored.isEmpty());
    for (const Preset &preset : std::as_const(stored))
        deleting->addAction(ItemText(preset.name), this, [this, name = preset.name] { deletePreset(name); });
    addAction(u"Reset Options to Defaults"_s, this, &PresetsMenu::resetOptionsRequested);
}

void PresetsMenu::saveCurrent()
{
    Preset preset = m_current();
    const std::optional<QString> typed =
        CurrentDialogs().textInput(m_window, u"Name of the preset (at most %1 characters):"_s.arg(MaxPresetNameLength));
    if (!typed)
        return;
    preset.name = typed->trimmed();
    if (const std::optional<QString> problem = PresetNameProblem(preset.name)) {
        CurrentDialogs().message(m_window, *problem);
        return;
    }
    // A preset is put in whole or not at all, so one that would make no tone is not kept.
    if (const std::optional<QString> problem = PresetToneProblem(preset)) {
        CurrentDialogs().message(m_window, WithMenuAdvice(*problem));
        return;
    }
    if (FindPreset(StoredPresets(), preset.name) &&
        !CurrentDialogs().question(m_window, u"A preset named \"%1\" exists. Replace it?"_s.arg(preset.name)))
        return;
    if (!StorePreset(preset))
        CurrentDialogs().message(m_window, u"The preset cannot be saved."_s,
                                 SettingsStoreProblem(Settings::App, Settings::Section));
    rebuild();
}

void PresetsMenu::deletePreset(const QString &name)
{
    if (!CurrentDialogs().question(m_window, u"Delete the preset \"%1\"?"_s.arg(PresetDisplayName(name))))
        return;
    if (!RemoveStoredPreset(name))
        CurrentDialogs().message(m_window, u"The preset cannot be deleted."_s,
                                 SettingsStoreProblem(Settings::App, Settings::Section));
    rebuild();
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/input_store.h"

#include "services/dialogs.h"
#include "settings/settings_store.h"

using namespace Qt::Literals::StringLiterals;

QString InputStore::get(const QString &key, const QVariant &defaultValue) const
{
    return GetSetting(Settings::App, Settings::Section, key, defaultValue);
}

void InputStore::save(const QString &key, const QString &value)
{
    const bool saved = SaveSetting(Settings::App, Settings::Section, key, value);
    tellIfMovedAside();
    if (!saved)
        tellNotSaved();
}

void InputStore::tellNotSaved()
{
    // Once per run: a warning on every keystroke would make the window unusable.
    if (m_toldNotSaved)
        return;
    m_toldNotSaved = true;
    CurrentDialogs().message(m_window, u"Your inputs cannot be saved, so they will not be remembered next time."_s,
                             SettingsStoreProblem(Settings::App, Settings::Section));
}

void InputStore::tellIfMovedAside()
{
    const QString movedTo = TakeMovedAsideSettingsFile();
    if (!movedTo.isEmpty())
        CurrentDialogs().message(m_window,
                                 u"Your saved inputs were damaged, so Quorvane starts again from the sample inputs. "
                                 "The old settings file was moved to %1."_s.arg(movedTo));
}

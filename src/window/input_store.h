// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QVariant>

class QWidget;

// The window's inputs and options in the settings store. Saving never interrupts the person more
// than once: when the store cannot be written they are told so once per run, and a damaged store
// that was moved aside is named once.
class InputStore
{
public:
    explicit InputStore(QWidget *window) : m_window(window) {}

    // The stored text of the key, or the default when it is absent.
    QString get(const QString &key, const QVariant &defaultValue) const;
    // Stores the value at once (or with the batch that start-up holds open).
    void save(const QString &key, const QString &value);
    // Tells once per run that the inputs cannot be saved, with the store's reason.
    void tellNotSaved();
    // Tells where a damaged settings file went, if one was moved aside since the last call.
    void tellIfMovedAside();

private:
    QWidget *m_window;
    bool m_toldNotSaved = false;
};

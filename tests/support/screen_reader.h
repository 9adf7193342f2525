// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAccessible>
#include <QMap>
#include <QString>

// What a screen reader should hear of the window: every control that takes the focus, by its
// name, with its role as AT-SPI names it. A name heard twice would leave one of them out.
inline const QMap<QString, QString> HeardControls{
    {QStringLiteral("Length of Audio (seconds/hh:mm:ss.frac)"), QStringLiteral("text")},
    {QStringLiteral("Explain the length"), QStringLiteral("push button")},
    {QStringLiteral("Frequencies (Hz)"), QStringLiteral("text")},
    {QStringLiteral("Explain the frequencies"), QStringLiteral("push button")},
    {QStringLiteral("Type"), QStringLiteral("combo box")},
    {QStringLiteral("Preview Tone"), QStringLiteral("push button")},
    {QStringLiteral("Save Tone As Audio File"), QStringLiteral("push button")},
    {QStringLiteral("Load Sample/Example Data"), QStringLiteral("push button")},
};

// How Preview and Save describe themselves: their tooltip.
inline const QString OptionsTip =
    QStringLiteral("Right-click for level, channels, sample rate and format. Esc stops the sound.");

// The AT-SPI name of the roles that the window's controls have in Qt.
inline QString AtspiRoleName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
        return QStringLiteral("text");
    case QAccessible::Button:
        return QStringLiteral("push button");
    case QAccessible::ComboBox:
        return QStringLiteral("combo box");
    default:
        return QString::number(role);
    }
}

#pragma once

#include <QString>
#include <QVariant>

// The names under which the window keeps its inputs, and what a first run starts from.
namespace Settings {
inline const QString App = QStringLiteral("Marrowick");
inline const QString Section = QStringLiteral("Quorvane");

inline const QString Combo1 = QStringLiteral("Combo1");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Text2 = QStringLiteral("Text2");

// Numbers stay numbers here; GetSetting hands them back as their decimal text.
inline const QVariant Combo1Default = 0;
inline const QVariant Text1Default = 3;
inline const QVariant Text2Default = QStringLiteral("300-3300");
} // namespace Settings

// The stored text of the key, even when it is empty. An absent key, or a store that cannot be
// read or makes no sense, gives the default as text. Never creates anything.
QString GetSetting(const QString &app, const QString &section, const QString &key, const QVariant &defaultValue);

// Stores the text exactly as given and writes it to disk at once. Returns false when it did not
// reach the disk; it never throws and never shows anything, so the caller decides what to tell.
bool SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value);

// The file that holds the section, for telling the user where saving failed.
QString SettingsFilePath(const QString &app, const QString &section);

#include "settings_store.h"

#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

QString GetSetting(const QString &app, const QString &section, const QString &key, const QVariant &defaultValue)
{
    // Organization = application name, application = section: the file becomes
    // <config folder>/Marrowick/Quorvane.conf.
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    // A damaged file counts as empty rather than as half a store.
    if (store.status() != QSettings::NoError || !store.contains(key))
        return defaultValue.toString();
    const QVariant value = store.value(key);
    // We always write plain strings, which the file quotes when they hold commas. A hand-edited
    // "300, 3300" without quotes comes back as a list; give it back as the text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.toString();
}

bool SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    store.setValue(key, value);
    store.sync();
    // A format error only says the old file was damaged; the sync has replaced it all the same.
    return store.status() != QSettings::AccessError;
}

QString SettingsFilePath(const QString &app, const QString &section)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, app, section).fileName();
}

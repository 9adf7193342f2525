#include "settings_store.h"

#include "failure.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// Whether the store's file may be opened: absent, or a regular file. Anything else in its place
// (a named pipe would block every read for ever) counts as a store that cannot be used.
// A lock file left empty by a program killed while taking it would make every later start wait
// until it is 30 s old; a live lock holds its owner's details, so an empty one is safe to drop.
// Where QSettings keeps a user's section (unless moved with QSettings::setPath), worked out
// without opening it.
QString DefaultStorePath(const QString &app, const QString &section)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + app + u'/' + section +
           u".conf"_s;
}

bool PrepareStore(const QString &app, const QString &section)
{
    const QString path = DefaultStorePath(app, section);
    const QFileInfo lock(path + u".lock"_s);
    if (lock.isFile() && lock.size() == 0)
        QFile::remove(lock.filePath());
    const QFileInfo file(path);
    return !file.exists() || file.isFile();
}

} // namespace

QString GetSetting(const QString &app, const QString &section, const QString &key, const QVariant &defaultValue)
{
    if (!PrepareStore(app, section))
        return defaultValue.toString();
    // Organization = application name, application = section: the file becomes
    // <config folder>/Marrowick/Quorvane.conf.
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    // A damaged file counts as empty rather than as half a store. An access error only says that
    // a write failed (a read-only folder, say): what was read is still good.
    if (store.status() == QSettings::FormatError || !store.contains(key))
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
    if (!PrepareStore(app, section))
        return false;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    store.setValue(key, value);
    store.sync();
    // A format error only says the old file was damaged; the sync has replaced it all the same.
    return store.status() != QSettings::AccessError;
}

QString SettingsFilePath(const QString &app, const QString &section)
{
    // Asking QSettings opens the store, which must not happen when it is not a file.
    if (!PrepareStore(app, section))
        return DefaultStorePath(app, section);
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, app, section).fileName();
}

int StoredListIndex(const QString &stored, int itemCount)
{
    bool isNumber = false;
    const int number = stored.trimmed().toInt(&isNumber);
    if (!isNumber)
        throw Failure(u"Type mismatch: the stored waveform \"%1\" is not a number."_s.arg(stored));
    if (number < -32768 || number > 32767)
        throw Failure(u"Overflow: the stored waveform %1 is out of range."_s.arg(stored));
    if (number < -1 || number >= itemCount)
        throw Failure(u"Invalid property value: the waveform list has no item %1."_s.arg(number));
    return number;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/settings_store.h"

#include "core/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A store larger than this was not written by the program: its three short inputs take a few
// dozen bytes. Read as it is, it would stall start-up and every keystroke.
constexpr qint64 MaxStoreSize = 1 << 20;

// How long start-up or a keystroke waits for a lock on the store that another program holds.
constexpr int LockWaitMs = 1000;

// Why the store could not be written at the last attempt, and where a damaged store went.
QString storeProblem;
QString movedAsideTo;

// A lock that could not be taken, and why: later saves give up at once instead of waiting again.
QString refusedLock;
QString refusedLockProblem;

// Where QSettings keeps a user's section (unless moved with QSettings::setPath), worked out
// without opening it.
QString DefaultStorePath(const QString &app, const QString &section)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + app + u'/' + section +
           u".conf"_s;
}

// QSettings waits for its lock file for as long as it takes, and so does the lock it takes on
// "<lock>.rmlock" to remove a stale one. A live lock is a regular file that holds its owner's
// details, so an empty one was left by a program killed while taking it. Any other kind of file
// there (a named pipe, a folder) would make every save wait for ever: ours is removed, another
// user's is left alone and the store is not written. True when saving may go on.
bool ClearLock(const QString &lockPath)
{
    const QByteArray name = QFile::encodeName(lockPath);
    struct stat status
    {
    };
    if (::lstat(name.constData(), &status) != 0)
        return true;
    if (S_ISREG(status.st_mode)) {
        if (status.st_size == 0 && status.st_uid == ::geteuid())
            ::unlink(name.constData());
        return true;
    }
    if (status.st_uid == ::geteuid() &&
        (S_ISDIR(status.st_mode) ? ::rmdir(name.constData()) : ::unlink(name.constData())) == 0)
        return true;
    const QString why = status.st_uid == ::geteuid() ? SystemError(errno) : u"it belongs to another user"_s;
    storeProblem = u"The settings lock file %1 is not a regular file and cannot be removed: %2."_s.arg(lockPath, why);
    return false;
}

// Whether the store's file may be opened: absent, or a regular file (a named pipe would block
// every read for ever). A file far too large to be ours is moved aside first, so nothing is lost.
bool StoreIsUsable(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return true;
    if (!file.isFile()) {
        storeProblem = u"The settings file %1 is not a regular file."_s.arg(path);
        return false;
    }
    if (file.size() <= MaxStoreSize)
        return true;
    const QString aside = path + u".damaged"_s;
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
        storeProblem =
            u"The settings file %1 is damaged and cannot be moved aside: %2."_s.arg(path, SystemError(errno));
        return false;
    }
    movedAsideTo = aside;
    return true;
}

enum class StoreAccess
{
    None,
    Read,
    ReadWrite
};

StoreAccess PrepareStore(const QString &app, const QString &section)
{
    const QString path = DefaultStorePath(app, section);
    if (!StoreIsUsable(path))
        return StoreAccess::None;
    const QString lock = path + u".lock"_s;
    return ClearLock(lock) && ClearLock(lock + u".rmlock"_s) ? StoreAccess::ReadWrite : StoreAccess::Read;
}

// Whether the store's lock can be had within LockWaitMs; it is let go at once, for QSettings to
// take when it writes. A lock of a live program that keeps it, one from another computer, or a
// stale one that cannot be removed would make QSettings wait for ever (or for half a minute).
bool LockCanBeTaken(const QString &app, const QString &section)
{
    const QString lockPath = DefaultStorePath(app, section) + u".lock"_s;
    if (refusedLock != lockPath) {
        QLockFile lock(lockPath);
        if (lock.tryLock(LockWaitMs)) {
            lock.unlock();
            return true;
        }
        // A lock file that cannot be made at all (no folder yet, a read-only one) makes QSettings
        // give up at once too, or make the folder first: only a lock that is there and stays waits.
        if (lock.error() != QLockFile::LockFailedError)
            return true;
        refusedLock = lockPath;
        refusedLockProblem =
            u"The settings lock file %1 is held by another program, or is left over and cannot be removed."_s.arg(
                lockPath);
    }
    storeProblem = refusedLockProblem;
    return false;
}

} // namespace

namespace {

// The key's text in an open store, or the default.
QString StoredText(const QSettings &store, const QString &key, const QVariant &defaultValue)
{
    if (!store.contains(key))
        return defaultValue.toString();
    const QVariant value = store.value(key);
    // We always write plain strings, which the file quotes when they hold commas. A hand-edited
    // "300, 3300" without quotes comes back as a list; give it back as the text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.toString();
}

SettingsBatch *openBatch = nullptr;

} // namespace

QString GetSetting(const QString &app, const QString &section, const QString &key, const QVariant &defaultValue)
{
    if (openBatch && openBatch->m_app == app && openBatch->m_section == section)
        return openBatch->read(key, defaultValue);
    // Reading takes no lock, so only the store itself matters here.
    if (PrepareStore(app, section) == StoreAccess::None)
        return defaultValue.toString();
    // Organization = application name, application = section: the file becomes
    // <config folder>/Marrowick/Quorvane.conf.
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    // A damaged file counts as empty rather than as half a store. An access error only says that
    // a write failed (a read-only folder, say): what was read is still good.
    if (store.status() == QSettings::FormatError)
        return defaultValue.toString();
    return StoredText(store, key, defaultValue);
}

bool SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value)
{
    storeProblem.clear();
    if (PrepareStore(app, section) != StoreAccess::ReadWrite)
        return false;
    if (openBatch && openBatch->m_app == app && openBatch->m_section == section) {
        openBatch->m_pending.removeIf([&](const auto &entry) { return entry.first == key; });
        openBatch->m_pending.append({key, value});
        return true;
    }
    if (!LockCanBeTaken(app, section))
        return false;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    store.setValue(key, value);
    store.sync();
    // A format error only says the old file was damaged; the sync has replaced it all the same.
    return store.status() != QSettings::AccessError;
}

SettingsBatch::SettingsBatch(QString app, QString section)
    : m_app(std::move(app)), m_section(std::move(section)), m_outer(std::exchange(openBatch, this))
{
}

QString SettingsBatch::read(const QString &key, const QVariant &defaultValue)
{
    // What is held back is not in the store yet: reads give what the store holds, as without a batch.
    if (!m_reader) {
        if (PrepareStore(m_app, m_section) == StoreAccess::None)
            return defaultValue.toString();
        m_reader = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, m_app, m_section);
    }
    // Start-up restores what a damaged line leaves readable: one bad line must not cost the inputs
    // around it. (QSettings reports the damage only to the first object that reads the file, which
    // this one is.)
    return StoredText(*m_reader, key, defaultValue);
}

SettingsBatch::~SettingsBatch()
{
    commit();
    openBatch = m_outer;
}

bool SettingsBatch::commit()
{
    const QList<std::pair<QString, QString>> pending = std::exchange(m_pending, {});
    if (pending.isEmpty())
        return true;
    storeProblem.clear();
    if (PrepareStore(m_app, m_section) != StoreAccess::ReadWrite)
        return false;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, m_app, m_section);
    // A damaged file is written anew, whatever it seems to hold.
    const bool damaged = store.status() == QSettings::FormatError;
    const auto isStored = [&](const std::pair<QString, QString> &entry) {
        const QVariant stored = store.value(entry.first);
        return stored.typeId() == QMetaType::QString && stored.toString() == entry.second;
    };
    if (!damaged && std::all_of(pending.begin(), pending.end(), isStored))
        return true;
    // Nothing is changed before the lock is known to be free: QSettings writes what changed when
    // it goes, taking the lock without a time limit.
    if (!LockCanBeTaken(m_app, m_section))
        return false;
    for (const auto &[key, value] : pending)
        store.setValue(key, value);
    store.sync();
    return store.status() != QSettings::AccessError;
}

QList<std::pair<QString, QHash<QString, QString>>> ReadSettingsSubgroups(const QString &app, const QString &section,
                                                                         const QString &group)
{
    QList<std::pair<QString, QHash<QString, QString>>> subgroups;
    // Not PrepareStore: a reader must leave a damaged store where it is.
    const QFileInfo file(DefaultStorePath(app, section));
    if (!file.isFile() || file.size() > MaxStoreSize)
        return subgroups;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    if (store.status() == QSettings::FormatError)
        return subgroups;
    store.beginGroup(group);
    for (const QString &name : store.childGroups()) {
        QHash<QString, QString> values;
        store.beginGroup(name);
        for (const QString &key : store.childKeys()) {
            const QVariant value = store.value(key);
            values.insert(key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(u", "_s)
                                                                        : value.toString());
        }
        store.endGroup();
        subgroups.append({name, values});
    }
    const auto order = [](const QString &name) {
        bool isNumber = false;
        const qlonglong number = name.toLongLong(&isNumber);
        return std::tuple(!isNumber, isNumber ? number : 0, name);
    };
    std::stable_sort(subgroups.begin(), subgroups.end(),
                     [&](const auto &a, const auto &b) { return order(a.first) < order(b.first); });
    return subgroups;
}

bool ReplaceSettingsGroup(const QString &app, const QString &section, const QString &group,
                          const QList<std::pair<QString, QString>> &values)
{
    storeProblem.clear();
    if (PrepareStore(app, section) != StoreAccess::ReadWrite || !LockCanBeTaken(app, section))
        return false;
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, section);
    store.remove(group);
    for (const auto &[key, value] : values)
        store.setValue(group + u'/' + key, value);
    store.sync();
    return store.status() != QSettings::AccessError;
}

QString SettingsFilePath(const QString &app, const QString &section)
{
    // Asking QSettings opens the store, which must not happen when it is not a file.
    if (PrepareStore(app, section) == StoreAccess::None)
        return DefaultStorePath(app, section);
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, app, section).fileName();
}

int StoredListIndex(const QString &stored, int itemCount)
{
    bool isNumber = false;
    const int number = stored.trimmed().toInt(&isNumber);
    if (!isNumber)
        throw Failure(u"Type mismatch: the stored waveform \"%1\" is not a number."_s.arg(ShortenedForMessage(stored)));
    if (number < -32768 || number > 32767)
        throw Failure(u"Overflow: the stored waveform %1 is out of range."_s.arg(ShortenedForMessage(stored)));
    if (number < -1 || number >= itemCount)
        throw Failure(u"Invalid property value: the waveform list has no item %1."_s.arg(number));
    return number;
}

QString SettingsStoreProblem(const QString &app, const QString &section)
{
    if (!storeProblem.isEmpty())
        return storeProblem;
    return u"The settings file %1 cannot be written."_s.arg(SettingsFilePath(app, section));
}

QString TakeMovedAsideSettingsFile()
{
    return std::exchange(movedAsideTo, QString());
}

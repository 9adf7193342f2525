// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/temp_folder.h"

#include "core/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QtGlobal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcWorkFolder, "quorvane.workfolder", QtWarningMsg)

namespace {

// A folder that a crashed program left is removed by a later one only once it is this old: a
// program that has just made its folder takes the lock on it a moment later.
constexpr int AbandonedAfterSeconds = 10;

QString ProblemWithStatus(const struct stat &status)
{
    if (S_ISLNK(status.st_mode))
        return u"it is a link"_s;
    if (!S_ISDIR(status.st_mode))
        return u"it is not a folder"_s;
    return OwnershipProblem(status, S_IRWXG | S_IRWXO);
}

// Takes our own folder at the path as it is, tightening a mode that lets others read it. A folder
// that others could write to is refused: whatever is in it may have been put there by them, even
// a folder under a tool file's name that we could never remove. Anything else there is refused
// too. Works on the opened folder, so nothing can be swapped in between.
QString TakeAsPrivate(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // A link gives ENOTDIR or ELOOP, as the kernel likes: say what is really there.
        struct stat status
        {
        };
        return ::lstat(name.constData(), &status) == 0 ? ProblemWithStatus(status) : SystemError(error);
    }
    struct stat status
    {
    };
    QString problem;
    if (::fstat(fd, &status) != 0) {
        problem = SystemError(errno);
    } else if (status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH))) {
        problem = u"other users could have put things in it"_s;
    } else if (status.st_uid == ::geteuid() && (status.st_mode & 07777) != 0700) {
        if (::fchmod(fd, 0700) == 0)
            qCInfo(lcWorkFolder).noquote() << u"Made %1 private to this user"_s.arg(folder);
        else
            problem = u"its mode cannot be tightened: "_s + SystemError(errno);
    } else {
        problem = ProblemWithStatus(status);
    }
    ::close(fd);
    return problem;
}

// Opens the folder and takes a lock on it that lasts as long as the descriptor: a folder that
// nobody holds belongs to no running program. -1 when it cannot be opened or someone holds it.
int LockFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Removes the folders "<prefix>XXXXXX" in the parent that programs of this user left when they
// crashed or were killed: our own private folders that no running program holds.
void RemoveAbandoned(const QString &parent, const QString &prefix)
{
    const QStringList names = QDir(parent).entryList(
        {prefix + u"??????"_s}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString folder = parent + u'/' + name;
        const int fd = LockFolder(folder);
        if (fd < 0)
            continue;
        struct stat status
        {
        };
        if (::fstat(fd, &status) == 0 && OwnershipProblem(status, S_IRWXG | S_IRWXO).isEmpty() &&
            std::time(nullptr) - status.st_mtime > AbandonedAfterSeconds) {
            qCInfo(lcWorkFolder).noquote() << u"Removing %1, left by a program that has ended"_s.arg(folder);
            QDir(folder).removeRecursively();
        }
        ::close(fd);
    }
}

// This running program's own working folder, which no other program shares. It goes when the
// program ends (or when the temporary folder changes); one left by a crash goes at a later start.
struct OwnFolder
{
    QString base;
    QString folder;
    int lock = -1;

    OwnFolder() = default;
    OwnFolder(const OwnFolder &) = delete;
    OwnFolder &operator=(const OwnFolder &) = delete;
    ~OwnFolder() { release(); }

    void take(const QString &forBase, const QString &made)
    {
        base = forBase;
        folder = made;
        lock = LockFolder(made);
    }

    void release()
    {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
        if (lock >= 0)
            ::close(lock);
        base.clear();
        folder.clear();
        lock = -1;
    }
};
OwnFolder own;

// Why no working folder can be made in the temporary folder, for one message instead of one per
// file; and what was last logged, so that each reason is logged once.
QString unusableReason;
QString loggedReason;

// Records why the temporary folder cannot be used and returns the name all the same, so that
// anything written into it fails with the system's own reason.
QString Unusable(const QString &base, const QString &name, int error)
{
    unusableReason = u"The temporary folder %1 cannot be used: %2."_s.arg(base, SystemError(error));
    if (std::exchange(loggedReason, unusableReason) != unusableReason)
        qCWarning(lcWorkFolder).noquote() << unusableReason;
    return name;
}

} // namespace

QString OwnershipProblem(const struct stat &status, unsigned othersMayNot)
{
    if (status.st_uid != ::geteuid())
        return u"it belongs to another user"_s;
    if (status.st_mode & othersMayNot)
        return othersMayNot & (S_IRGRP | S_IROTH) ? u"other users have access to it"_s : u"other users may change it"_s;
    return {};
}

QString TempFolder()
{
    for (const char *variable : {"TEMP", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(variable);
        // A relative folder would move with the current folder, and one that starts with "-"
        // would reach the tool as an option.
        if (!value.isEmpty())
            return value.startsWith(u'/') ? value : QDir::currentPath() + u'/' + value;
    }
    return u"/tmp"_s;
}

QString PrivateFolderProblem(const QString &folder)
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0)
        return SystemError(errno);
    return ProblemWithStatus(status);
}

QString WorkFolder()
{
    const QString base = TempFolder();
    if (own.base == base && PrivateFolderProblem(own.folder).isEmpty())
        return own.folder;
    own.release();
    unusableReason.clear();

    const QString name = base + u"/quorvane-"_s + QString::number(::geteuid());
    const int made = ::mkdir(QFile::encodeName(name).constData(), 0700) == 0 ? 0 : errno;
    if (made != 0 && made != EEXIST)
        return Unusable(base, name, made);
    const QString problem = TakeAsPrivate(name);
    if (problem.isEmpty()) {
        RemoveAbandoned(name, u"run-"_s);
        QByteArray pattern = QFile::encodeName(name + u"/run-XXXXXX"_s);
        if (!::mkdtemp(pattern.data()))
            return Unusable(base, name, errno);
        own.take(base, QFile::decodeName(pattern));
        return own.folder;
    }

    RemoveAbandoned(base, QFileInfo(name).fileName() + u'-');
    QByteArray pattern = QFile::encodeName(name + u"-XXXXXX"_s);
    if (!::mkdtemp(pattern.data())) {
        const int error = errno;
        throw Failure(u"No private working folder can be made in %1: %2 cannot be used (%3), and a new one cannot be "
                      "made (%4)."_s.arg(base, name, problem, SystemError(error)));
    }
    own.take(base, QFile::decodeName(pattern));
    qCWarning(lcWorkFolder).noquote() << u"%1 cannot be used (%2), so this run works in %3"_s.arg(name, problem,
                                                                                                  own.folder);
    return own.folder;
}

QString WorkFolderProblem()
{
    try {
        WorkFolder();
    } catch (const std::exception &failure) {
        return DescribeException(failure);
    }
    return unusableReason;
}

QString PreviewPath()
{
    return WorkFolder() + u"/preview.wav"_s;
}

QString FreshPreviewPath()
{
    QString path = PreviewPath();
    ::unlink(QFile::encodeName(path).constData());
    return path;
}

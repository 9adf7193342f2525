// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/output_target.h"

#include "core/failure.h"
#include "core/run/private_files.h"
#include "core/run/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The tool and the program reach the private folder in a shared folder through this link, made in
// the program's own working folder under the folder's name. Empty, with the reason in problem,
// when it cannot be made.
QString LinkToPrivateFolder(const QString &privateFolder, int fd, QString &problem)
{
    if (!(problem = WorkFolderProblem()).isEmpty())
        return {};
    QString link = WorkFolder() + u'/' + QFileInfo(privateFolder).fileName();
    const QByteArray target = "/proc/self/fd/" + QByteArray::number(fd);
    ::unlink(QFile::encodeName(link).constData());
    if (::symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
        return link;
    const int error = errno;
    problem = u"Cannot write in %1: %2"_s.arg(WorkFolder(), SystemError(error));
    return {};
}

// The program's own working folder (where a preview is made) goes with all in it when the program
// ends, or at a later start: nothing in it needs tracking.
bool IsWorkFolder(const QString &folder)
{
    return WorkFolderProblem().isEmpty() && QDir::cleanPath(folder) == QDir::cleanPath(WorkFolder());
}

// The private folder is still at its name: nobody has moved it away or put anything in its place.
bool StillAtItsName(const OutputTarget &target)
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    return ::fstat(target.privateFolderFd, &held) == 0 &&
           ::lstat(QFile::encodeName(target.privateFolder).constData(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// The folder that the private file's name is looked up in: the one held open, or any.
int FolderFd(const OutputTarget &target)
{
    return target.privateFolderFd >= 0 ? target.privateFolderFd : AT_FDCWD;
}

// The private file's name as FolderFd() takes it.
QByteArray FileName(const OutputTarget &target)
{
    return QFile::encodeName(target.privateFolderFd >= 0 ? target.privateName
                                                         : target.privateFolder + u'/' + target.privateName);
}

// Ends the target: the private file is put in place or removed; its folder goes too, while it is
// still ours, and is no longer tracked.
void Release(OutputTarget &target)
{
    ForgetPrivateFolder(target.privateFolder);
    if (target.privateFolderFd < 0 || StillAtItsName(target))
        ::rmdir(QFile::encodeName(target.privateFolder).constData());
    if (target.privateFolderFd >= 0) {
        if (const QString link = QFileInfo(target.writePath).path(); link != target.privateFolder)
            ::unlink(QFile::encodeName(link).constData());
        ::close(target.privateFolderFd);
    }
    target.privateFolder.clear();
    target.privateFolderFd = -1;
}

// Renames the private file over the chosen name; false with errno set when it cannot be.
bool PutInPlace(const OutputTarget &target)
{
    const int folder = FolderFd(target);
    const QByteArray from = FileName(target);
    const QByteArray to = QFile::encodeName(target.chosenPath);
    // The file replaces one that had this mode: it keeps it.
    if (target.keptMode >= 0 && ::fchmodat(folder, from.constData(), mode_t(target.keptMode), 0) != 0)
        return false;
    if (!target.nameWasFree)
        return ::renameat(folder, from.constData(), AT_FDCWD, to.constData()) == 0;
    // What someone else put at the name in the meantime stays as it is.
    if (::renameat2(folder, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system that cannot: a hard link does not replace either.
    if (errno != EINVAL || ::linkat(folder, from.constData(), AT_FDCWD, to.constData(), 0) != 0)
        return false;
    ::unlinkat(folder, from.constData(), 0);
    return true;
}

} // namespace

bool IsSharedFolder(const QString &folder)
{
    // Group write covers POSIX ACLs too: with an ACL the group bits are its mask, the most that any
    // named user or group may do. The sticky bit keeps others from removing a file of ours, not from
    // putting a link where there is none yet, so it does not matter here. A folder of another user
    // is theirs to change (root's excepted: root may change anything anywhere anyway).
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(folder).constData(), &status) == 0 &&
           ((status.st_mode & (S_IWGRP | S_IWOTH)) || (status.st_uid != ::geteuid() && status.st_uid != 0));
}

std::optional<QString> OutputNameReminder(const QString &chosenPath)
{
    const QString suffix = QFileInfo(chosenPath).suffix().toLower();
    // The extension names the format, and the tool knows no other way to tell it.
    if (suffix.isEmpty())
        return u"\"%1\" has no extension, which names the format: add one, such as .wav or .flac."_s.arg(
            QFileInfo(chosenPath).fileName());
    // The tool takes a name ending so as a list of files to read and write, whatever it holds.
    if (suffix != u"m3u"_s && suffix != u"pls"_s)
        return std::nullopt;
    return u"A .%1 file is a playlist, not a sound format: choose a name that ends in a sound format's extension, such "
           "as .wav or .flac."_s.arg(QFileInfo(chosenPath).suffix());
}

bool NeedsNoGlob(const QString &path)
{
    return path.contains(u'*') || path.contains(u'?') || path.contains(u'[') || path.contains(u'\\');
}

// NOLINTNEXTLINE(readability-function-size): the refusals of a chosen path, in the order they are checked.
OutputTarget PrepareOutputTarget(const QString &chosenPath)
{
    OutputTarget target;
    target.chosenPath = chosenPath;
    target.writePath = chosenPath;
    const QFileInfo chosen(chosenPath);
    const QString folder = chosen.absolutePath();
    const bool shared = IsSharedFolder(folder);

    struct stat status
    {
    };
    const bool exists = ::lstat(QFile::encodeName(chosenPath).constData(), &status) == 0;
    if (shared && exists && S_ISLNK(status.st_mode)) {
        target.reminder = u"%1 is a link, and other users may add and remove files in %2: Quorvane never writes "
                          "through a link there, since someone else may have put it there to have a file of yours "
                          "overwritten. Choose another name."_s.arg(chosenPath, folder);
        return target;
    }
    if (shared && exists && status.st_uid != ::geteuid()) {
        target.reminder = u"%1 belongs to another user, and other users may add and remove files in %2: Quorvane "
                          "never replaces another user's file there. Choose another name."_s.arg(chosenPath, folder);
        return target;
    }
    // A device or a named pipe is written as it is: a rename would put a file in its place. The
    // same for whatever a link leads to in the person's own folder.
    struct stat followed
    {
    };
    const bool leadsSomewhere = exists && ::stat(QFile::encodeName(chosenPath).constData(), &followed) == 0;
    if (leadsSomewhere && (S_ISLNK(status.st_mode) || !S_ISREG(followed.st_mode)))
        return target;
    // A file that may not be written is not replaced behind its back.
    if (leadsSomewhere && ::access(QFile::encodeName(chosenPath).constData(), W_OK) != 0) {
        target.problem = u"Cannot write %1: %2"_s.arg(chosenPath, SystemError(errno));
        return target;
    }

    QByteArray pattern = QFile::encodeName(folder + u"/.quorvane-XXXXXX"_s);
    if (!::mkdtemp(pattern.data())) {
        // In a folder of one's own where no new file may be made, the tool writes the file itself,
        // as it always could.
        if (!shared && leadsSomewhere)
            return target;
        target.problem = u"Cannot write in %1: %2"_s.arg(folder, SystemError(errno));
        return target;
    }
    target.privateFolder = QFile::decodeName(pattern);
    // The same extension, so that the tool writes the same format.
    target.privateName = chosen.suffix().isEmpty() ? u"tone"_s : u"tone."_s + chosen.suffix();
    target.writePath = target.privateFolder + u'/' + target.privateName;
    if (!IsWorkFolder(folder))
        TrackPrivateFolder(target.privateFolder, target.privateName);
    if (leadsSomewhere)
        target.keptMode = int(followed.st_mode & 07777);
    if (!shared)
        return target;
    target.nameWasFree = !exists;
    target.privateFolderFd = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // Still the folder just made, not one that someone put in its place in the meantime.
    struct stat made
    {
    };
    const bool ours = target.privateFolderFd >= 0 && ::fstat(target.privateFolderFd, &made) == 0 &&
                      made.st_uid == ::geteuid() && S_ISDIR(made.st_mode) && (made.st_mode & 077) == 0;
    const QString link =
        ours ? LinkToPrivateFolder(target.privateFolder, target.privateFolderFd, target.problem) : QString();
    if (link.isEmpty()) {
        if (target.problem.isEmpty())
            target.problem = u"Cannot write in %1: %2"_s.arg(folder, SystemError(errno));
        DiscardOutputTarget(target);
        return target;
    }
    target.writePath = link + u'/' + target.privateName;
    return target;
}

QString CommitOutputTarget(OutputTarget &target)
{
    if (!target.viaPrivateFile())
        return {};
    if (PutInPlace(target)) {
        Release(target);
        return {};
    }
    const QString failure = SystemError(errno);
    DiscardOutputTarget(target);
    return u"The tone cannot be put at %1: %2"_s.arg(target.chosenPath, failure);
}

void DiscardOutputTarget(OutputTarget &target)
{
    if (!target.viaPrivateFile())
        return;
    ::unlinkat(FolderFd(target), FileName(target).constData(), 0);
    Release(target);
}

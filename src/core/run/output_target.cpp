// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/output_target.h"

#include "core/failure.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

bool IsSharedFolder(const QString &folder)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(folder).constData(), &status) == 0 && (status.st_mode & S_ISVTX) &&
           (status.st_mode & S_IWOTH);
}

} // namespace

std::optional<QString> OutputNameReminder(const QString &chosenPath)
{
    // The tool takes a name ending so as a list of files to read and write, whatever it holds.
    const QString suffix = QFileInfo(chosenPath).suffix().toLower();
    if (suffix != u"m3u"_s && suffix != u"pls"_s)
        return std::nullopt;
    return u"A .%1 file is a playlist, not a sound format: choose a name that ends in a sound format's extension, such "
           "as .wav or .flac."_s.arg(QFileInfo(chosenPath).suffix());
}

bool NeedsNoGlob(const QString &path)
{
    return path.contains(u'*') || path.contains(u'?') || path.contains(u'[') || path.contains(u'\\');
}

OutputTarget PrepareOutputTarget(const QString &chosenPath)
{
    OutputTarget target{chosenPath, chosenPath, {}};
    const QFileInfo chosen(chosenPath);
    const QString folder = chosen.absolutePath();
    const bool shared = IsSharedFolder(folder);

    struct stat status
    {
    };
    const bool exists = ::lstat(QFile::encodeName(chosenPath).constData(), &status) == 0;
    if (shared) {
        QString what;
        if (exists && S_ISLNK(status.st_mode))
            what = u"a link"_s;
        else if (exists && status.st_uid != ::geteuid())
            what = u"another user's file"_s;
        if (!what.isEmpty()) {
            target.problem = u"%1 is %2, in a folder that all users share (%3): Quorvane does not write through "
                             "links or into other users' files there."_s.arg(chosenPath, what, folder);
            return target;
        }
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

    // The same extension, so that the tool writes the same format.
    const QString suffix = chosen.suffix().isEmpty() ? QString() : u'.' + chosen.suffix();
    QByteArray pattern = QFile::encodeName(folder + u"/.quorvane-XXXXXX"_s + suffix);
    const int fd = ::mkostemps(pattern.data(), int(QFile::encodeName(suffix).size()), O_CLOEXEC);
    if (fd < 0) {
        // In a folder of one's own where no new file may be made, the tool writes the file itself,
        // as it always could.
        if (!shared && leadsSomewhere)
            return target;
        target.problem = u"Cannot write in %1: %2"_s.arg(folder, SystemError(errno));
        return target;
    }
    // The mode the file had, or the one the tool would have given a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, leadsSomewhere ? (followed.st_mode & 07777) : (0666 & ~mask));
    ::close(fd);
    target.writePath = QFile::decodeName(pattern);
    return target;
}

QString CommitOutputTarget(const OutputTarget &target)
{
    if (!target.viaPrivateFile())
        return {};
    if (::rename(QFile::encodeName(target.writePath).constData(), QFile::encodeName(target.chosenPath).constData()) ==
        0)
        return {};
    QString problem = u"The tone cannot be put at %1: %2"_s.arg(target.chosenPath, SystemError(errno));
    DiscardOutputTarget(target);
    return problem;
}

void DiscardOutputTarget(const OutputTarget &target)
{
    if (target.viaPrivateFile())
        ::unlink(QFile::encodeName(target.writePath).constData());
}

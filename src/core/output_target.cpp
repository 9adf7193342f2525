// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/output_target.h"

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

OutputTarget PrepareOutputTarget(const QString &chosenPath)
{
    OutputTarget target{chosenPath, chosenPath, {}};
    const QFileInfo chosen(chosenPath);
    const QString folder = chosen.path();
    if (!IsSharedFolder(folder))
        return target;

    struct stat status
    {
    };
    const bool exists = ::lstat(QFile::encodeName(chosenPath).constData(), &status) == 0;
    QString what;
    if (exists && S_ISLNK(status.st_mode))
        what = u"a link"_s;
    else if (exists && status.st_uid != ::geteuid())
        what = u"another user's file"_s;
    if (!what.isEmpty())
        target.problem = u"%1 is %2, in a folder that all users share (%3): Quorvane does not write through links "
                         "or into other users' files there."_s.arg(chosenPath, what, folder);
    // Our own named pipe or device there stays as it is: only we can replace it.
    if (!target.problem.isEmpty() || (exists && !S_ISREG(status.st_mode)))
        return target;

    // The same extension, so that the tool writes the same format.
    const QString suffix = chosen.suffix().isEmpty() ? QString() : u'.' + chosen.suffix();
    QByteArray pattern = QFile::encodeName(folder + u"/.quorvane-XXXXXX"_s + suffix);
    const int fd = ::mkostemps(pattern.data(), int(QFile::encodeName(suffix).size()), O_CLOEXEC);
    if (fd < 0) {
        target.problem = u"Cannot write in %1: %2"_s.arg(folder, SystemError(errno));
        return target;
    }
    // The mode the tool would have given a file of its own.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
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

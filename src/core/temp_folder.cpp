// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/temp_folder.h"

#include "core/failure.h"

#include <QFile>
#include <QLoggingCategory>
#include <QtGlobal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcWorkFolder, "quorvane.workfolder", QtWarningMsg)

namespace {

QString ProblemWithStatus(const struct stat &status)
{
    if (S_ISLNK(status.st_mode))
        return u"it is a link"_s;
    if (!S_ISDIR(status.st_mode))
        return u"it is not a folder"_s;
    return OwnershipProblem(status, S_IRWXG | S_IRWXO);
}

// Takes our own folder at the path as it is, tightening a mode that lets others in; anything else
// there is refused. Works on the opened folder, so nothing can be swapped in between.
QString TakeAsPrivate(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP)
            return u"it is a link"_s;
        return error == ENOTDIR ? u"it is not a folder"_s : SystemError(error);
    }
    struct stat status
    {
    };
    QString problem;
    if (::fstat(fd, &status) != 0) {
        problem = SystemError(errno);
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

// The fresh folder made for this run because the usual name was taken, for one base.
struct FreshFolder
{
    QString base;
    QString folder;
};
FreshFolder fresh;

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
        QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
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
    // Once the usual name was found taken, this run keeps to its fresh folder.
    if (fresh.base == base && PrivateFolderProblem(fresh.folder).isEmpty())
        return fresh.folder;

    QString name = base + u"/quorvane-"_s + QString::number(::geteuid());
    const int made = ::mkdir(QFile::encodeName(name).constData(), 0700) == 0 ? 0 : errno;
    if (made != 0 && made != EEXIST) {
        // Nothing is at the name (an existing one gives EEXIST first), so writes into it fail too.
        static QString reported;
        if (std::exchange(reported, name) != name)
            qCWarning(lcWorkFolder).noquote()
                << u"Cannot make the working folder %1: %2"_s.arg(name, SystemError(made));
        return name;
    }
    const QString problem = TakeAsPrivate(name);
    if (problem.isEmpty())
        return name;

    QByteArray pattern = QFile::encodeName(name + u"-XXXXXX"_s);
    if (!::mkdtemp(pattern.data())) {
        const int error = errno;
        throw Failure(u"No private working folder can be made in %1: %2 cannot be used (%3), and a new one cannot be "
                      "made (%4)."_s.arg(base, name, problem, SystemError(error)));
    }
    fresh = {base, QFile::decodeName(pattern)};
    qCWarning(lcWorkFolder).noquote() << u"%1 cannot be used (%2), so this run works in %3"_s.arg(name, problem,
                                                                                                  fresh.folder);
    return fresh.folder;
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

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/tool_files.h"

#include "core/failure.h"
#include "core/run/temp_folder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// Lets the window repaint and take input between the slow file operations of a command.
void PumpEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Why the opened file may not be used as a tool file, or an empty text when it may.
QString ProblemWithOpenedCopy(int fd, const QByteArray &bytes, bool mustBeExecutable)
{
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0)
        return SystemError(errno);
    if (!S_ISREG(status.st_mode))
        return u"it is not a regular file"_s;
    if (QString problem = OwnershipProblem(status, S_IWGRP | S_IWOTH); !problem.isEmpty())
        return problem;
    if (mustBeExecutable && !(status.st_mode & S_IXUSR))
        return u"it is not executable"_s;
    if (status.st_size != bytes.size())
        return u"its content differs from the program's own copy"_s;
    QByteArray content(bytes.size(), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::pread(fd, content.data() + done, size_t(content.size() - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return u"it cannot be read"_s;
        done += n;
    }
    if (content != bytes)
        return u"its content differs from the program's own copy"_s;
    return {};
}

int OpenWithoutFollowing(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

void WriteAll(int fd, const QByteArray &bytes, const QString &path)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Failure(u"Cannot write %1: %2"_s.arg(path, SystemError(errno)));
        done += n;
    }
}

} // namespace

QString ToolPath(const ToolFile &row)
{
    return WorkFolder() + u'/' + QString::fromUtf16(row.fileName);
}

QByteArray LoadToolResource(int resourceId)
{
    QFile resource(u":/tools/"_s + QString::number(resourceId));
    if (!resource.open(QIODevice::ReadOnly))
        throw Failure(u"The program holds no tool file number %1."_s.arg(resourceId));
    return resource.readAll();
}

bool FileExists(const QString &path)
{
    struct stat status
    {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool IsTrustedCopy(const QString &path, const QByteArray &bytes, bool mustBeExecutable)
{
    FileDescriptor fd(OpenWithoutFollowing(path));
    return fd.get() >= 0 && ProblemWithOpenedCopy(fd.get(), bytes, mustBeExecutable).isEmpty();
}

void WriteResourceFile(const QByteArray &bytes, const QString &path, bool executable)
{
    PumpEvents();
    // Never write through whatever is at the path (it may be another user's file or a link to
    // one): make a private file beside it and rename it over the name.
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? u"."_s : path.left(slash);
    QByteArray pattern = QFile::encodeName(folder + u"/.quorvane-XXXXXX"_s);
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0)
        throw Failure(u"Cannot write %1: %2"_s.arg(path, SystemError(errno)));
    try {
        WriteAll(fd.get(), bytes, path);
        if (::fchmod(fd.get(), executable ? 0700 : 0600) != 0 || ::close(fd.release()) != 0)
            throw Failure(u"Cannot write %1: %2"_s.arg(path, SystemError(errno)));
        if (::rename(pattern.constData(), QFile::encodeName(path).constData()) != 0)
            throw Failure(u"Cannot write %1: %2"_s.arg(path, SystemError(errno)));
    } catch (...) {
        ::unlink(pattern.constData());
        throw;
    }
}

void ForceDeleteFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // The forced deletion also removes files marked read-only: the owner's write permission
    // and the immutable and append-only attributes are cleared first, where the system lets us.
    FileDescriptor fd(OpenWithoutFollowing(path));
    if (fd.get() >= 0) {
        int flags = 0;
        if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL))) {
            flags &= ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
            ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags);
        }
        struct stat status
        {
        };
        if (::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode))
            ::fchmod(fd.get(), (status.st_mode & 07777) | S_IWUSR);
    }
    if (::unlink(name.constData()) != 0)
        throw Failure(u"Cannot delete %1: %2"_s.arg(path, SystemError(errno)));
}

void DeleteFileQuiet(const QString &path)
{
    PumpEvents();
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return;
    try {
        ForceDeleteFile(path);
    } catch (const std::exception &) {
        // Left in place on purpose: the next command uses or replaces it.
    }
}

void DeployToolFiles(CommandSteps &steps, qint32 firstLine)
{
    // A temporary folder that cannot be used is told once, by the run that then cannot start,
    // rather than once for every file.
    if (!WorkFolderProblem().isEmpty())
        return;
    for (size_t row = 0; row < ToolFiles.size(); ++row) {
        const ToolFile &file = ToolFiles[row];
        const qint32 line = firstLine + 6 * qint32(row);
        QByteArray bytes;
        bool writeNeeded = true;
        steps.step(line, [&] { bytes = LoadToolResource(file.resourceId); });
        if (steps.test(line + 2,
                       [&] { return writeNeeded = !IsTrustedCopy(ToolPath(file), bytes, file.executable); })) {
            if (steps.test(line + 4, [&] { return writeNeeded; }))
                steps.step(line + 4, [&] { WriteResourceFile(bytes, ToolPath(file), file.executable); });
        }
    }
}

void RemoveToolFiles(CommandSteps &steps, qint32 firstLine)
{
    for (size_t row = 0; row < ToolFiles.size(); ++row)
        steps.step(firstLine + 2 * qint32(row), [&] { DeleteFileQuiet(ToolPath(ToolFiles[row])); });
}

void CheckTrustedTool(int openedFile)
{
    const QString problem = ProblemWithOpenedCopy(openedFile, LoadToolResource(ToolFiles[0].resourceId), true);
    if (!problem.isEmpty())
        throw Failure(u"The sound tool in %1 was not started: %2."_s.arg(WorkFolder(), problem));
}

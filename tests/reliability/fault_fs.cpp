// SPDX-License-Identifier: GPL-3.0-or-later

#include "fault_fs.h"

#include <QFile>
#include <QFileDevice>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace FaultFs {

namespace {

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void Tell(QString *why, const QString &text)
{
    if (why)
        *why = text;
}

} // namespace

bool SetImmutable(const QString &folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

bool PrivateMounts(QString *why)
{
    static int state = 0; // 0 not tried, 1 inside, -1 impossible
    static QString reason;
    if (state == 0) {
        // Only this thread moves to the new namespace; the tests and the tool run on it.
        if (::unshare(CLONE_NEWNS) != 0) {
            reason = u"cannot make a private mount namespace: "_s + SystemError();
            state = -1;
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            reason = u"cannot make the mounts private: "_s + SystemError();
            state = -1;
        } else {
            state = 1;
        }
    }
    Tell(why, reason);
    return state == 1;
}

bool MountSmall(const QString &folder, qint64 bytes, QString *why)
{
    if (!PrivateMounts(why))
        return false;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0) {
        Tell(why, u"cannot mount a small file system: "_s + SystemError());
        return false;
    }
    return true;
}

bool Unmount(const QString &folder)
{
    return ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH) == 0;
}

QString MakeReadOnly(const QString &folder, QString *why)
{
    const QByteArray path = QFile::encodeName(folder);
    if (PrivateMounts()) {
        if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0) {
            if (::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0)
                return u"read-only mount"_s;
            Unmount(folder);
        }
    }
    if (SetImmutable(folder, true))
        return u"immutable attribute"_s;
    if (::geteuid() != 0 && QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        return u"permissions"_s;
    Tell(why, u"no way to make a folder read-only here (no mounts, no immutable attribute, running as root)"_s);
    return {};
}

void MakeWritable(const QString &folder, const QString &how)
{
    if (how == u"read-only mount"_s)
        Unmount(folder);
    else if (how == u"immutable attribute"_s)
        SetImmutable(folder, false);
    else if (how == u"permissions"_s)
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace FaultFs

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/private_files.h"

#include "core/run/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcPrivateFiles, "quorvane.privatefiles", QtWarningMsg)

namespace {

// More than one command writes at a time only when the tone window saves a picture during a Save.
constexpr int MostTracked = 4;
constexpr std::array StopSignals{SIGTERM, SIGHUP, SIGINT};
// A record that is not locked and says nothing yet is one being made, or one whose program died
// while making it: only after this long is it the latter.
constexpr int RecordMadeWithinSeconds = 10;

// Kept in place, in fixed buffers, for the signal handler: it may only unlink what is there.
struct Tracked
{
    volatile std::sig_atomic_t used = 0;
    int recordFd = -1;
    std::array<char, PATH_MAX> folder{};
    std::array<char, PATH_MAX> file{}; // in the folder
    std::array<char, PATH_MAX> record{};
};
std::array<Tracked, MostTracked> tracked;
std::array<struct sigaction, StopSignals.size()> previousActions{};
bool catching = false;

extern "C" void RemoveTrackedAndStop(int signal)
{
    for (const Tracked &file : tracked) {
        if (!file.used)
            continue;
        ::unlink(file.file.data());
        ::rmdir(file.folder.data());
        if (file.record[0] != '\0')
            ::unlink(file.record.data());
    }
    // Taken once (SA_RESETHAND): raised again, the signal ends the program as it would have done,
    // with the status that tells a shell which signal it was. The tool dies with the program.
    ::raise(signal);
}

bool IsOurHandler(int signal)
{
    struct sigaction current
    {
    };
    return ::sigaction(signal, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
           current.sa_handler == RemoveTrackedAndStop;
}

// Catches the stop signals while a private file is written. A signal that is ignored (nohup) or
// that the program handles itself (Ctrl+C while --play plays) is left as it is: the program then
// ends its command in order, which removes the file anyway.
void CatchStopSignals(bool catchThem)
{
    if (catchThem == catching)
        return;
    catching = catchThem;
    for (size_t i = 0; i < StopSignals.size(); ++i) {
        const int signal = StopSignals[i];
        if (!catchThem) {
            if (IsOurHandler(signal))
                ::sigaction(signal, &previousActions[i], nullptr);
            continue;
        }
        if (::sigaction(signal, nullptr, &previousActions[i]) != 0 || (previousActions[i].sa_flags & SA_SIGINFO) ||
            previousActions[i].sa_handler != SIG_DFL)
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = RemoveTrackedAndStop;
        sigemptyset(&action.sa_mask);
        for (const int other : StopSignals)
            sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

bool CopyInto(std::array<char, PATH_MAX> &buffer, const QByteArray &text)
{
    if (text.size() >= qsizetype(buffer.size()))
        return false;
    std::memcpy(buffer.data(), text.constData(), size_t(text.size()) + 1);
    return true;
}

bool WriteAll(int fd, const QByteArray &data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += std::max<ssize_t>(n, 0);
    }
    return true;
}

// Makes the folder and those above it that are missing, private as the base directory rules ask.
void MakePrivatePath(const QByteArray &folder)
{
    for (qsizetype slash = folder.indexOf('/', 1);; slash = folder.indexOf('/', slash + 1)) {
        ::mkdir(folder.left(slash < 0 ? folder.size() : slash).constData(), 0700);
        if (slash < 0)
            return;
    }
}

// The records' folder, made when missing; empty when it is not this user's alone (others could
// then remove or plant records), and nothing is recorded.
QString RecordFolder()
{
    QString folder = PrivateFileRecords();
    MakePrivatePath(QFile::encodeName(folder));
    if (const QString problem = PrivateFolderProblem(folder); !problem.isEmpty()) {
        qCWarning(lcPrivateFiles).noquote()
            << u"%1 cannot hold the records of files being saved (%2): a file left by a kill will stay."_s.arg(folder,
                                                                                                               problem);
        return {};
    }
    return folder;
}

// Writes the record of the private folder (its device, inode and path), locked before anything is
// in it, and kept locked until the folder is forgotten. It is not synced to the disk: that would
// wait for the disk to take the whole of an earlier Save's tone. The file systems that Linux
// journals put the record on the disk no later than the folder made just before it, and the tone
// written into the folder only after both; what a power cut takes from the record, it takes from
// the folder too.
void WriteRecord(Tracked &file, const QByteArray &path)
{
    struct stat status
    {
    };
    const QString folder = RecordFolder();
    QByteArray record = QFile::encodeName(folder + u"/save-XXXXXX"_s);
    if (folder.isEmpty() || ::lstat(path.constData(), &status) != 0 || record.size() >= PATH_MAX)
        return;
    const int recordFd = ::mkostemp(record.data(), O_CLOEXEC);
    if (recordFd < 0)
        return;
    const QByteArray content =
        QByteArray::number(quint64(status.st_dev)) + ' ' + QByteArray::number(quint64(status.st_ino)) + '\n' + path;
    if (::flock(recordFd, LOCK_EX) != 0 || !WriteAll(recordFd, content)) {
        ::unlink(record.constData());
        ::close(recordFd);
        return;
    }
    CopyInto(file.record, record);
    file.recordFd = recordFd;
}

void DropRecord(Tracked &file)
{
    if (file.recordFd < 0)
        return;
    ::unlink(file.record.data());
    ::close(file.recordFd);
    file.recordFd = -1;
    file.record[0] = '\0';
}

// ".quorvane-" and six letters or digits: the name that mkdtemp gives a private folder.
bool IsPrivateFolderName(const QByteArray &name)
{
    static const QByteArray prefix = ".quorvane-";
    constexpr qsizetype Random = 6;
    return name.startsWith(prefix) && name.size() == prefix.size() + Random &&
           std::all_of(name.begin() + prefix.size(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Removes this user's files in the folder (only files: a private folder holds one) and then the
// folder, never following a link.
void RemoveFolderAndFiles(int parent, const QByteArray &name)
{
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (DIR *entries = ::fdopendir(fd)) {
        while (const dirent *entry = ::readdir(entries)) {
            struct stat status
            {
            };
            if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
                status.st_uid == ::geteuid())
                ::unlinkat(fd, entry->d_name, 0);
        }
        ::closedir(entries);
    } else {
        ::close(fd);
    }
    ::unlinkat(parent, name.constData(), AT_REMOVEDIR);
}

// Removes the folder that the record names if it is still that private folder, with its file.
// False when the record says nothing readable.
bool RemoveRecordedFolder(const QByteArray &content)
{
    const qsizetype lineEnd = content.indexOf('\n');
    const QList<QByteArray> numbers = content.left(lineEnd).split(' ');
    bool deviceRead = false;
    bool inodeRead = false;
    const quint64 device = numbers.value(0).toULongLong(&deviceRead);
    const quint64 inode = numbers.value(1).toULongLong(&inodeRead);
    const QByteArray path = content.mid(lineEnd + 1);
    if (lineEnd < 0 || numbers.size() != 2 || !deviceRead || !inodeRead || !path.startsWith('/'))
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    const QByteArray folderPath = slash == 0 ? QByteArray("/") : path.left(slash);
    const int folder = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!IsPrivateFolderName(name) || folder < 0)
        return true;
    // Looked at and removed in the one folder opened, without following a link at the name.
    struct stat status
    {
    };
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::geteuid() && quint64(status.st_dev) == device && quint64(status.st_ino) == inode) {
        RemoveFolderAndFiles(folder, name);
        qCInfo(lcPrivateFiles).noquote() << u"Removed %1, left by a Save that was stopped"_s.arg(
            QFile::decodeName(path));
    }
    ::close(folder);
    return true;
}

} // namespace

QString PrivateFileRecords()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules ignore a relative path.
    if (!state.startsWith(u'/'))
        state = QDir::homePath() + u"/.local/state"_s;
    return state + u"/quorvane"_s;
}

void TrackPrivateFolder(const QString &folder, const QString &fileName)
{
    const auto file = std::find_if(tracked.begin(), tracked.end(), [](const Tracked &each) { return !each.used; });
    if (file == tracked.end() || !CopyInto(file->folder, QFile::encodeName(folder)) ||
        !CopyInto(file->file, QFile::encodeName(folder + u'/' + fileName)))
        return;
    WriteRecord(*file, QFile::encodeName(folder));
    // The handler sees the slot only once the path in it is whole.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    file->used = 1;
    CatchStopSignals(true);
}

void ForgetPrivateFolder(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    for (Tracked &file : tracked) {
        if (file.used && name == file.folder.data()) {
            file.used = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            DropRecord(file);
        }
    }
    if (std::none_of(tracked.begin(), tracked.end(), [](const Tracked &each) { return each.used; }))
        CatchStopSignals(false);
}

void RemovePrivateFiles()
{
    for (Tracked &file : tracked) {
        if (file.used) {
            ::unlink(file.file.data());
            ::rmdir(file.folder.data());
            ForgetPrivateFolder(QFile::decodeName(file.folder.data()));
        }
    }
}

void RemoveLeftoverPrivateFiles()
{
    const QString folder = PrivateFileRecords();
    if (!PrivateFolderProblem(folder).isEmpty())
        return;
    const QStringList names =
        QDir(folder).entryList({u"save-??????"_s}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names) {
        const QByteArray record = QFile::encodeName(folder + u'/' + name);
        const int fd = ::open(record.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A running program holds the lock on its records.
        struct stat status
        {
        };
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid()) {
            QByteArray content(PATH_MAX + 64, '\0');
            const ssize_t read = ::read(fd, content.data(), size_t(content.size()));
            content.truncate(std::max<ssize_t>(read, 0));
            if (RemoveRecordedFolder(content) || std::time(nullptr) - status.st_mtime > RecordMadeWithinSeconds)
                ::unlink(record.constData());
        }
        ::close(fd);
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound_file.h"

#include <QFile>
#include <QLibrary>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// libsndfile, loaded on the first check rather than linked: with the eight codec libraries it
// brings, linking it cost every start of the program about 3 ms under X.
struct SndFileLibrary
{
    decltype(&sf_open_fd) open = nullptr;
    decltype(&sf_command) command = nullptr;
    decltype(&sf_close) close = nullptr;
};

const SndFileLibrary *SndFile()
{
    static const SndFileLibrary library = [] {
        QLibrary sndfile(QStringLiteral("sndfile"), 1);
        SndFileLibrary functions;
        functions.open = reinterpret_cast<decltype(&sf_open_fd)>(sndfile.resolve("sf_open_fd"));
        functions.command = reinterpret_cast<decltype(&sf_command)>(sndfile.resolve("sf_command"));
        functions.close = reinterpret_cast<decltype(&sf_close)>(sndfile.resolve("sf_close"));
        return functions;
    }();
    return library.open && library.command && library.close ? &library : nullptr;
}

} // namespace

std::optional<SoundFileInfo> ReadSoundFileInfo(const QString &path)
{
    const SndFileLibrary *sndfile = SndFile();
    if (!sndfile)
        return std::nullopt;
    // Opened without blocking and checked first: a named pipe at the path would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<SoundFileInfo> result;
    struct stat status
    {
    };
    SF_INFO info{};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        if (SNDFILE *file = sndfile->open(fd, SFM_READ, &info, SF_FALSE)) {
            SF_FORMAT_INFO container{};
            container.format = info.format & SF_FORMAT_TYPEMASK;
            sndfile->command(file, SFC_GET_FORMAT_INFO, &container, sizeof container);
            result = SoundFileInfo{qint64(info.frames), info.samplerate, info.channels, info.format,
                                   QString::fromUtf8(container.name ? container.name : "")};
            sndfile->close(file);
        }
    }
    ::close(fd);
    return result;
}

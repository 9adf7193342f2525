// SPDX-License-Identifier: GPL-3.0-or-later

// The sound file reader: what a written file holds, as libsndfile reads it.

#include "core/plugins.h"

#include <QFile>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

class SoundFileReader final : public QObject, public SoundFilePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_SOUND_FILE_PLUGIN_IID)
    Q_INTERFACES(SoundFilePlugin)

public:
    std::optional<SoundFileInfo> read(const QString &path) const override
    {
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
            if (SNDFILE *file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE)) {
                SF_FORMAT_INFO container{};
                container.format = info.format & SF_FORMAT_TYPEMASK;
                sf_command(file, SFC_GET_FORMAT_INFO, &container, sizeof container);
                result = SoundFileInfo{qint64(info.frames), info.samplerate, info.channels, info.format,
                                       QString::fromUtf8(container.name ? container.name : "")};
                sf_close(file);
            }
        }
        ::close(fd);
        return result;
    }
};

#include "sound_file_plugin.moc"

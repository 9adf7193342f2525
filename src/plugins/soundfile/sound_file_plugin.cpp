// SPDX-License-Identifier: GPL-3.0-or-later

// The sound file reader: what a written file holds, as libsndfile reads it.

#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "core/plugins/regular_file.h"

#include <sndfile.h>

class SoundFileReader final : public QObject, public SoundFilePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_SOUND_FILE_PLUGIN_IID)
    Q_INTERFACES(SoundFilePlugin)

public:
    std::optional<SoundFileInfo> read(const QString &path) const override
    {
        const int fd = OpenRegularFile(path);
        if (fd < 0)
            return std::nullopt;
        std::optional<SoundFileInfo> result;
        SF_INFO info{};
        if (SNDFILE *file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE)) {
            SF_FORMAT_INFO container{};
            container.format = info.format & SF_FORMAT_TYPEMASK;
            sf_command(file, SFC_GET_FORMAT_INFO, &container, sizeof container);
            result = SoundFileInfo{qint64(info.frames), info.samplerate, info.channels, info.format,
                                   QString::fromUtf8(container.name ? container.name : "")};
            sf_close(file);
        }
        ::close(fd);
        return result;
    }
};

#include "sound_file_plugin.moc"

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound_file.h"

#include "core/plugins.h"

std::optional<SoundFileInfo> ReadSoundFileInfo(const QString &path)
{
    if (const SoundFilePlugin *reader = ProgramPluginAs<SoundFilePlugin>(SoundFilePluginFile))
        return reader->read(path);
    return std::nullopt;
}

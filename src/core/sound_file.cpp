// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound_file.h"

#include "core/failure.h"
#include "core/plugins.h"

using namespace Qt::Literals::StringLiterals;

std::optional<SoundFileInfo> ReadSoundFileInfo(const QString &path)
{
    if (const SoundFilePlugin *reader = ProgramPluginAs<SoundFilePlugin>(SoundFilePluginFile))
        return reader->read(path);
    return std::nullopt;
}

ToneAnalysis AnalyseSoundFile(const QString &path, const AnalysisHooks &hooks)
{
    const ToneViewPlugin *analyser = ProgramPluginAs<ToneViewPlugin>(ToneViewPluginFile);
    if (!analyser)
        throw Failure(u"The part of the program that reads tones (%1) is missing."_s.arg(ToneViewPluginFile));
    return analyser->analyse(path, hooks);
}

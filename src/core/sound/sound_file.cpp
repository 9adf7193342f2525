// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sound/sound_file.h"

#include "core/failure.h"
#include "core/plugins/plugin_loader.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

// libsndfile's codes (SF_FORMAT_TYPEMASK and SF_FORMAT_SUBMASK of sndfile.h), which the core
// reads without linking the library.
QString ContainerName(const SoundFileInfo &file)
{
    switch (file.format & 0x0FFF0000) {
    case 0x010000: // WAV
    case 0x130000: // WAVEX, the extensible wave header of files with more bits or channels
        return u"WAV"_s;
    case 0x020000:
        return u"AIFF"_s;
    case 0x030000:
        return u"AU"_s;
    case 0x170000:
        return u"FLAC"_s;
    case 0x200000:
        return (file.format & 0xFFFF) == 0x0060   ? u"Ogg Vorbis"_s
               : (file.format & 0xFFFF) == 0x0064 ? u"Ogg Opus"_s
                                                  : u"Ogg"_s;
    default:
        return file.formatName;
    }
}

// The bit depth of the samples as stored; nothing for a compressed encoding, which keeps none.
std::optional<QString> StoredDepth(int format)
{
    switch (format & 0xFFFF) {
    case 0x0001: // signed 8-bit
    case 0x0005: // unsigned 8-bit
        return u"8-bit"_s;
    case 0x0002:
        return u"16-bit"_s;
    case 0x0003:
        return u"24-bit"_s;
    case 0x0004:
        return u"32-bit"_s;
    case 0x0006:
        return u"32-bit float"_s;
    case 0x0007:
        return u"64-bit float"_s;
    default:
        return std::nullopt;
    }
}

QString Duration(double seconds)
{
    // Milliseconds, unless the tone is shorter than a hundredth of a second.
    return (seconds >= 0.01 || seconds == 0 ? QString::number(seconds, 'f', 3) : QString::number(seconds, 'g', 3)) +
           u" s"_s;
}

} // namespace

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

QString KiloHertz(int sampleRate)
{
    return QString::number(sampleRate / 1000.0, 'g', 6) + u" kHz"_s;
}

QString DescribeWrittenFile(const QString &path, const SoundFileInfo &written, const ChosenLayout &chosen)
{
    const QString format = ContainerName(written);
    const std::optional<QString> depth = StoredDepth(written.format);
    QString channels = written.channels == 1   ? u"mono"_s
                       : written.channels == 2 ? u"stereo"_s
                                               : u"%1 channels"_s.arg(written.channels);
    if (!chosen.layout.isEmpty())
        channels = u"%1 (%2)"_s.arg(chosen.layout, channels);
    if (chosen.inTurn)
        channels += u", each channel in turn"_s;
    QStringList parts{format, KiloHertz(written.sampleRate), depth.value_or(u"compressed"_s), channels,
                      Duration(written.seconds())};
    parts.removeAll(QString());
    QString line = QFileInfo(path).fileName() + u" — "_s + parts.join(u", "_s);
    if (chosen.samples)
        line += u" (%1 samples)"_s.arg(*chosen.samples);
    if (!chosen.signal.isEmpty())
        line += u"; "_s + chosen.signal;
    QStringList kept;
    if (depth && *depth != chosen.depth)
        kept << u"%1, not the %2 chosen"_s.arg(*depth, chosen.depth);
    if (chosen.sampleRate > 0 && written.sampleRate != chosen.sampleRate)
        kept << u"%1, not the %2 chosen"_s.arg(KiloHertz(written.sampleRate), KiloHertz(chosen.sampleRate));
    if (!kept.isEmpty())
        line += u"; %1 keeps %2."_s.arg(format.isEmpty() ? u"this format"_s : format, kept.join(u" and "_s));
    return line;
}

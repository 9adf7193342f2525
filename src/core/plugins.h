// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/playback.h"
#include "core/sound_file.h"
#include "core/tone_analyser.h"

#include <QObject>
#include <QString>
#include <QtPlugin>
#include <memory>
#include <optional>

class QPaintDevice;
class QSize;

// The parts of the program that are loaded late, as Qt plugins from beside the program: the
// player, which brings Qt Multimedia, on the first sound; the sound file reader, which brings
// libsndfile and its codecs, on the first check of a written tone; the tone window's reader and
// analyser, which bring libsndfile, FFTW and Qt SVG, when the window first opens. Linked in, they would cost
// every start of the program their loading time.

// The player's engine, made by the player plugin.
class PlaybackEngine : public QObject
{
public:
    using QObject::QObject;

    // See PlayWaveFileOn.
    virtual PlaybackStart play(const QString &path, const QString &outputId, bool synchronous, bool loop) = 0;
    // Why the last play failed, in words.
    virtual QString failure() const = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual QList<AudioOutput> outputs() = 0;
};

// What the player plugin offers.
class PlaybackPlugin
{
public:
    virtual ~PlaybackPlugin() = default;
    // Makes the engine as a child of parent.
    virtual PlaybackEngine *createEngine(QObject *parent) = 0;
};

// What the sound file plugin offers.
class SoundFilePlugin
{
public:
    virtual ~SoundFilePlugin() = default;
    // See ReadSoundFileInfo.
    virtual std::optional<SoundFileInfo> read(const QString &path) const = 0;
};

// What the window plugin offers: the whole window program, run from main() when the program is
// started without arguments. Apart, it keeps Qt Widgets out of the command line's process.
class WindowPlugin
{
public:
    virtual ~WindowPlugin() = default;
    // Makes the QApplication and the window, and runs until the window is closed.
    virtual int run(int &argc, char **argv) = 0;
};

#define QUORVANE_WINDOW_PLUGIN_IID "example.quorvane.WindowPlugin/1.0"

// What the tone window's plugin offers.
class ToneViewPlugin
{
public:
    virtual ~ToneViewPlugin() = default;
    // See AnalyseSoundFile.
    virtual ToneAnalysis analyse(const QString &path, const AnalysisHooks &hooks) const = 0;
    // A paint device that writes what is painted on it to an SVG file when the painting ends.
    virtual std::unique_ptr<QPaintDevice> svgFile(const QString &path, const QSize &size,
                                                  const QString &title) const = 0;
};

#define QUORVANE_PLAYBACK_PLUGIN_IID "example.quorvane.PlaybackPlugin/3.0"
#define QUORVANE_SOUND_FILE_PLUGIN_IID "example.quorvane.SoundFilePlugin/1.0"
Q_DECLARE_INTERFACE(WindowPlugin, QUORVANE_WINDOW_PLUGIN_IID)
Q_DECLARE_INTERFACE(PlaybackPlugin, QUORVANE_PLAYBACK_PLUGIN_IID)
#define QUORVANE_TONE_VIEW_PLUGIN_IID "example.quorvane.ToneViewPlugin/1.0"
Q_DECLARE_INTERFACE(SoundFilePlugin, QUORVANE_SOUND_FILE_PLUGIN_IID)
Q_DECLARE_INTERFACE(ToneViewPlugin, QUORVANE_TONE_VIEW_PLUGIN_IID)

// The plugins' file names, looked for beside the program.
inline const QString WindowPluginFile = QStringLiteral("quorvane-window.so");
inline const QString PlaybackPluginFile = QStringLiteral("quorvane-playback.so");
inline const QString SoundFilePluginFile = QStringLiteral("quorvane-soundfile.so");
inline const QString ToneViewPluginFile = QStringLiteral("quorvane-toneview.so");

// The plugin of that file name beside the program, loaded on the first call and kept; null when
// it is missing or cannot be loaded (the reason is logged once). Tests and benchmarks, which run
// from folders of their own, name the build's folder in QUORVANE_PLUGIN_DIR; nothing else is
// searched, so the program never loads code from a folder fixed at build time. The window's
// plugin is loaded before there is an application object: then the program's folder is the one
// the kernel names for the running executable. Safe to call from
// any thread (the tone window analyses on one of its own).
QObject *ProgramPlugin(const QString &fileName);

template<class Interface> Interface *ProgramPluginAs(const QString &fileName)
{
    return qobject_cast<Interface *>(ProgramPlugin(fileName));
}

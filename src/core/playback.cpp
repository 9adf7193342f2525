// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/playback.h"

#include "core/playback_engine.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QLoggingCategory>
#include <QPointer>
#include <QStringList>

Q_LOGGING_CATEGORY(lcPlayback, "quorvane.playback", QtWarningMsg)

namespace {

QPointer<PlaybackEngine> engine;
bool moduleMissing = false;

// The module beside the program, where it is installed and where the build puts it. Tests and
// benchmarks, which run from folders of their own, name the build's folder in
// QUORVANE_PLAYBACK_DIR; nothing else is searched, so the program never loads code from a folder
// fixed at build time.
PlaybackEngine *TheEngine()
{
    if (engine || moduleMissing || !QCoreApplication::instance())
        return engine;
    const QString name = QString::fromLatin1(PlaybackModuleName);
    QStringList folders{QCoreApplication::applicationDirPath()};
    if (const QString named = qEnvironmentVariable("QUORVANE_PLAYBACK_DIR"); !named.isEmpty())
        folders.append(named);
    for (const QString &folder : std::as_const(folders)) {
        QLibrary module(folder + u'/' + name);
        const auto make = reinterpret_cast<MakePlaybackEngineFunction>(module.resolve(MakePlaybackEngineSymbol));
        if (make) {
            engine = make(QCoreApplication::instance());
            return engine;
        }
        qCInfo(lcPlayback).noquote() << "No player module:" << module.errorString();
    }
    qCWarning(lcPlayback).noquote() << "The player module" << name << "is missing: no sound can be played.";
    moduleMissing = true;
    return nullptr;
}

} // namespace

bool PlayWaveFile(const QString &path, bool synchronous, bool loop)
{
    PlaybackEngine *player = TheEngine();
    return player && player->play(path, synchronous, loop);
}

void StopPlayback()
{
    if (engine)
        engine->stop();
}

bool IsSoundPlaying()
{
    return engine && engine->isPlaying();
}

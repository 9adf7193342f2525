// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>

// Finds and loads the plugins that plugin_interfaces.h describes.

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

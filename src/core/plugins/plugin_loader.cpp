// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/plugins/plugin_loader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QPluginLoader>
#include <QStringList>

Q_LOGGING_CATEGORY(lcPlugins, "quorvane.plugins", QtWarningMsg)

QObject *ProgramPlugin(const QString &fileName)
{
    // Each plugin is looked for once: a missing one stays missing for the rest of the run.
    static QHash<QString, QObject *> loaded;
    static QMutex loading;
    const QMutexLocker lock(&loading);
    if (const auto found = loaded.constFind(fileName); found != loaded.cend())
        return *found;
    QStringList folders{QCoreApplication::instance()
                            ? QCoreApplication::applicationDirPath()
                            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2)};
    if (const QString named = qEnvironmentVariable("QUORVANE_PLUGIN_DIR"); !named.isEmpty())
        folders.append(named);
    QObject *instance = nullptr;
    for (const QString &folder : std::as_const(folders)) {
        // Never unloaded: what it made lives until the program ends.
        QPluginLoader loader(folder + u'/' + fileName);
        instance = loader.instance();
        if (instance)
            break;
        qCInfo(lcPlugins).noquote() << "No plugin:" << loader.errorString();
    }
    if (!instance)
        qCWarning(lcPlugins).noquote() << "The plugin" << fileName << "is missing or cannot be loaded.";
    loaded.insert(fileName, instance);
    return instance;
}

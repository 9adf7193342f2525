// SPDX-License-Identifier: GPL-3.0-or-later

#include "sandbox.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUuid>

namespace TestSandbox {

namespace {
QTemporaryDir *sandbox = nullptr;

QString MakeFolder(const QString &name)
{
    QString path = sandbox->filePath(name);
    QDir().mkpath(path);
    return path;
}
} // namespace

void Prepare()
{
    if (sandbox)
        return;
    // Removed by Remove() only: it must outlive every test object.
    sandbox = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/quorvane-test-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", MakeFolder(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", MakeFolder(QStringLiteral("state")).toLocal8Bit());
    const QString runtime = MakeFolder(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    FreshTempFolder();
}

QString Root()
{
    return sandbox ? sandbox->path() : QString();
}

QString NewFolder()
{
    return MakeFolder(QStringLiteral("temp-") + QUuid::createUuid().toString(QUuid::Id128));
}

QString FreshTempFolder()
{
    QString folder = NewFolder();
    qputenv("TEMP", folder.toLocal8Bit());
    qputenv("TMPDIR", folder.toLocal8Bit());
    return folder;
}

} // namespace TestSandbox

void TestSandbox::Remove()
{
    delete sandbox;
    sandbox = nullptr;
}

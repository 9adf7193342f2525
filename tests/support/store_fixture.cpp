// SPDX-License-Identifier: GPL-3.0-or-later

#include "store_fixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace StoreFixture {

void ClearStore()
{
    const QString file = SettingsFilePath(Settings::App, Settings::Section);
    QFile::remove(file);
    QDir(file).removeRecursively();
}

void Store(const QString &key, const QString &value)
{
    QVERIFY(SaveSetting(Settings::App, Settings::Section, key, value));
}

QString Stored(const QString &key)
{
    return GetSetting(Settings::App, Settings::Section, key, QStringLiteral("<absent>"));
}

} // namespace StoreFixture

#pragma once

#include "form1.h"
#include "recording_dialogs.h"
#include "settings_store.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <memory>

// Helpers shared by the window tests: a fresh store, a window started as the program starts it.
namespace WindowFixture {

inline void ClearStore()
{
    const QString file = SettingsFilePath(Settings::App, Settings::Section);
    QFile::remove(file);
    QDir(file).removeRecursively();
}

inline void Store(const QString &key, const QString &value)
{
    QVERIFY(SaveSetting(Settings::App, Settings::Section, key, value));
}

inline QString Stored(const QString &key)
{
    return GetSetting(Settings::App, Settings::Section, key, QStringLiteral("<absent>"));
}

// A window after start-up, as main() makes it (not shown unless asked).
inline std::unique_ptr<Form1> StartWindow()
{
    auto window = std::make_unique<Form1>();
    window->endProcess = [] {};
    window->Form_Load();
    return window;
}

} // namespace WindowFixture

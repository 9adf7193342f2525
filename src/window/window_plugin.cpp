// SPDX-License-Identifier: GPL-3.0-or-later

// The window program as a plugin (quorvane-window.so), loaded by main() only when there are no
// arguments: a command-line run never loads Qt Widgets, and starts as fast as Qt Core allows.

#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "window/form1.h"

#include <QApplication>

class WindowProgram final : public QObject, public WindowPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_WINDOW_PLUGIN_IID)
    Q_INTERFACES(WindowPlugin)

public:
    int run(int &argc, char **argv) override
    {
        QApplication app(argc, argv);
        // Lets a Wayland shell match the window to its menu entry and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("example.quorvane.Quorvane"));
        Form1 window;
        window.Form_Load();
        window.show();
        return QApplication::exec();
    }
};

#include "window_plugin.moc"

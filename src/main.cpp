// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/command_line.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // With arguments the program works without its window (and without a display).
    if (argc > 1)
        return RunCommandLine(argc, argv);
    QApplication app(argc, argv);
    // Lets a Wayland shell match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quorvane.Quorvane"));
    Form1 window;
    window.Form_Load();
    window.show();
    return app.exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Lets a Wayland shell match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quorvane.Quorvane"));
    Form1 window;
    window.Form_Load();
    window.show();
    return app.exec();
}

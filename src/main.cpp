// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/command_line.h"
#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/private_files.h"

#include <QtGlobal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Whatever a Save of an earlier run was writing when it was killed, or the machine stopped.
    RemoveLeftoverPrivateFiles();
    // With arguments the program works without its window (and without a display).
    if (argc > 1)
        return RunCommandLine(argc, argv);
    // Without a display the window cannot open, and Qt would abort with a message about its plugins.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("quorvane: there is no display to open the window on; to make a tone without it, see "
                   "\"quorvane --help\".\n",
                   stderr);
        return ExitCode::BadCommandLine;
    }
    WindowPlugin *window = ProgramPluginAs<WindowPlugin>(WindowPluginFile);
    if (!window) {
        std::fputs("quorvane: the window (quorvane-window.so beside the program) cannot be loaded.\n", stderr);
        return ExitCode::Failed;
    }
    return window->run(argc, argv);
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/run/private_files.h"
#include "core/sound/plugin_interfaces.h"
#include "core/sound/plugin_loader.h"
#include "services/command_line.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // Whatever a Save of an earlier run was writing when it was killed, or the machine stopped.
    RemoveLeftoverPrivateFiles();
    // With arguments the program works without its window (and without a display).
    if (argc > 1)
        return RunCommandLine(argc, argv);
    WindowPlugin *window = ProgramPluginAs<WindowPlugin>(WindowPluginFile);
    if (!window) {
        std::fputs("quorvane: the window (quorvane-window.so beside the program) cannot be loaded.\n", stderr);
        return ExitCode::Failed;
    }
    return window->run(argc, argv);
}

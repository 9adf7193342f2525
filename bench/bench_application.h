// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "bench_support.h"
#include "services/home_page.h"
#include "window/form1.h"

#include <QApplication>
#include <QUrl>

// The application of a benchmark that drives the window: in a sandbox of its own, offscreen unless
// a display is chosen, and never opening the home page.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv) : QApplication((Prepare(), argc), argv)
    {
        SetHomePageChance({{}, [](const QUrl &) { return true; }});
    }

private:
    static void Prepare()
    {
        Bench::PrepareSandbox();
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

// Loads and shows the window as the program does, without ending the process when it closes.
inline void StartWindow(Form1 &window)
{
    window.endProcess = [] {};
    window.Form_Load();
    window.show();
}

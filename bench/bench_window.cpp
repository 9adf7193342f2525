// SPDX-License-Identifier: GPL-3.0-or-later

// The program as main() makes it, for the start-up and memory benchmarks. The real program
// takes no arguments and says nothing about itself; this copy does the same start-up and can
// tell the moment its window is shown, and save a tone on its own.
//
//   bench_window             start as the program does and run until closed
//   bench_window --startup   print "SHOWN <monotonic ns> <length>|<frequencies>|<type index>" at the first
//                            event-loop pass after the window is shown, then end; before it a line
//                            "PARTS <main> <QApplication> <Form1> <Form_Load> <show>": when each began or
//                            ended, in monotonic ns
//   bench_window --memory <path>
//                            start, save the stored inputs to <path>, print "PEAK_KIB <n> <result>"

#include "answering_dialogs.h"
#include "bench_support.h"
#include "services/home_page.h"
#include "window/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

int main(int argc, char *argv[])
{
    const qint64 mainStarted = MonotonicNs();
    QApplication app(argc, argv);
    const qint64 applicationMade = MonotonicNs();
    // The one difference from the program: the home page, if drawn, is not handed to a browser.
    SetHomePageChance({{}, [](const QUrl &) { return true; }});
    Form1 window;
    const qint64 windowMade = MonotonicNs();
    window.Form_Load();
    const qint64 loaded = MonotonicNs();
    window.show();
    const qint64 shownCalled = MonotonicNs();

    const QStringList arguments = app.arguments();
    if (arguments.value(1) == u"--startup"_s) {
        QTimer::singleShot(0, &app, [&] {
            const qint64 shown = MonotonicNs();
            Say(u"PARTS %1 %2 %3 %4 %5"_s.arg(mainStarted)
                    .arg(applicationMade)
                    .arg(windowMade)
                    .arg(loaded)
                    .arg(shownCalled));
            Say(u"SHOWN %1 %2|%3|%4"_s.arg(shown)
                    .arg(window.Text1->text(), window.Text2->text())
                    .arg(window.Combo1->currentIndex()));
            std::_Exit(EXIT_SUCCESS);
        });
    } else if (arguments.value(1) == u"--memory"_s) {
        QTimer::singleShot(0, &app, [&] {
            AnsweringDialogs dialogs;
            dialogs.nextAnswer = arguments.value(2);
            window.PushButton2->click();
            // The first line only: "Done.", not the line under it that says what was written.
            Say(u"PEAK_KIB %1 %2"_s.arg(PeakResidentKiB())
                    .arg(dialogs.messages.join(u" / "_s).section(u"\r\n"_s, 0, 0)));
            std::_Exit(EXIT_SUCCESS);
        });
    }
    return app.exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later

// The smallest Qt Widgets program with a window like the program's: the baseline of the
// start-up and memory benchmarks.
//
//   bench_minimal                 show the window and run until closed
//   bench_minimal --startup       print "SHOWN <monotonic ns>" at the first event-loop pass after showing
//   bench_minimal --memory <ms>   show, run <ms> milliseconds, print "PEAK_KIB <n>"

#include "bench_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(u"minimal"_s);
    window.setFixedSize(536, 291);
    auto *field = new QLineEdit(u"3"_s, &window);
    field->setGeometry(24, 60, 457, 23);
    window.show();

    const QStringList arguments = app.arguments();
    if (arguments.value(1) == u"--startup"_s) {
        QTimer::singleShot(0, &app, [] {
            Say(u"SHOWN %1"_s.arg(MonotonicNs()));
            std::_Exit(EXIT_SUCCESS);
        });
    } else if (arguments.value(1) == u"--memory"_s) {
        QTimer::singleShot(arguments.value(2).toInt(), &app, [] {
            Say(u"PEAK_KIB %1"_s.arg(PeakResidentKiB()));
            std::_Exit(EXIT_SUCCESS);
        });
    }
    return app.exec();
}

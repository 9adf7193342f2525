// SPDX-License-Identifier: GPL-3.0-or-later

// The tone window on a long tone: how soon the first picture shows after Show the Tone, how long
// the whole analysis takes, how much memory it adds to the idle program, and how long the main
// window goes without handling events meanwhile. The baseline is one plain read of the whole file
// with libsndfile, which any view of the whole file needs at least.

#include "answering_dialogs.h"
#include "bench_application.h"
#include "bench_support.h"
#include "services/home_page.h"
#include "window/form1.h"
#include "window/options_menu.h"
#include "window/tone_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <sndfile.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

[[noreturn]] void Fail(const QString &why)
{
    Say(u"bench_tone: "_s + why);
    std::exit(EXIT_FAILURE);
}

qint64 ResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The baseline: the whole file read once, in blocks of floats, as plainly as libsndfile allows,
// finding its peak on the way (a check on the window's).
double PlainReadMs(const QString &path, float &peak)
{
    const qint64 start = MonotonicNs();
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        Fail(u"libsndfile cannot open "_s + path);
    std::vector<float> block(65536 * std::size_t(info.channels));
    peak = 0;
    while (const sf_count_t read = sf_readf_float(file, block.data(), 65536)) {
        for (std::size_t i = 0; i < std::size_t(read) * std::size_t(info.channels); ++i)
            peak = std::max(peak, std::abs(block[i]));
    }
    sf_close(file);
    return Ms(MonotonicNs() - start);
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);

    Say(u"\n== 8. The tone window on a 10-minute, 192 kHz, stereo tone"_s);
    Form1 window;
    StartWindow(window);
    window.Text1->setText(u"600"_s);
    window.Combo1->setCurrentIndex(0);
    window.Text2->setText(u"997"_s);
    window.Options->chooseStored({{OutputSetting::SampleRate, u"192000"_s}, {OutputSetting::Channels, u"Both"_s}});
    const QString path = SandboxRoot() + u"/long tone.wav"_s;
    {
        AnsweringDialogs dialogs;
        dialogs.nextAnswer = path;
        window.PushButton2->click();
        // "Done." and, under it, what was written.
        if (dialogs.messages.size() != 1 || dialogs.messages[0].section(u"\r\n"_s, 0, 0) != u"Done."_s)
            Fail(u"the Save command said "_s + dialogs.messages.join(u" / "_s));
    }
    float plainPeak = 0;
    const double plainRead = PlainReadMs(path, plainPeak);
    QCoreApplication::processEvents();
    const qint64 idleKiB = ResidentKiB();

    // A zero timer fires once in every pass of the main window's event loop.
    qint64 lastPass = MonotonicNs();
    double longestGap = 0;
    QTimer passes;
    QObject::connect(&passes, &QTimer::timeout, [&] {
        const qint64 now = MonotonicNs();
        longestGap = std::max(longestGap, Ms(now - lastPass));
        lastPass = now;
    });

    QList<double> firstPicture;
    QList<double> wholeAnalysis;
    const int repeats = Repeats(5);
    for (int i = 0; i < repeats; ++i) {
        ToneWindow *tone = window.findChild<ToneWindow *>();
        qint64 first = 0;
        qint64 whole = 0;
        QMetaObject::Connection shown;
        const qint64 start = MonotonicNs();
        lastPass = start;
        passes.start(0);
        if (!tone) {
            window.ShowTone(); // opens on the tone just saved
            tone = window.findChild<ToneWindow *>();
        } else {
            tone->follow(tone->shownTone().value()); // the same tone again, as a new Save would
        }
        shown = QObject::connect(tone, &ToneWindow::pictureShown, [&] {
            const qint64 now = MonotonicNs();
            if (!first)
                first = now;
            if (tone->analysis()->wholeFileRead)
                whole = now;
        });
        while (!whole) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (Ms(MonotonicNs() - start) > 60000)
                Fail(u"the tone window showed nothing within a minute"_s);
        }
        passes.stop();
        QObject::disconnect(shown);
        firstPicture.append(Ms(first - start));
        wholeAnalysis.append(Ms(whole - start));
    }
    const double peakGrowthMiB = double(PeakResidentKiB() - idleKiB) / 1024;

    Say(u"   first picture %1 ms, whole analysis %2 ms (medians of %3); plain read of the file %4 ms; ratios %5 and %6"_s
            .arg(Median(firstPicture), 0, 'f', 1)
            .arg(Median(wholeAnalysis), 0, 'f', 1)
            .arg(repeats)
            .arg(plainRead, 0, 'f', 1)
            .arg(Median(firstPicture) / plainRead, 0, 'f', 3)
            .arg(Median(wholeAnalysis) / plainRead, 0, 'f', 3));
    const double windowPeak = window.findChild<ToneWindow *>()->analysis()->figures[0].peakDbfs;
    Say(u"   peak level: the window's %1 dBFS, the plain read's %2 dBFS"_s.arg(windowPeak, 0, 'f', 2)
            .arg(20 * std::log10(plainPeak), 0, 'f', 2));
    Say(u"   memory: idle program %1 MiB, peak %2 MiB over it; longest gap of the main window's event loop %3 ms"_s
            .arg(double(idleKiB) / 1024, 0, 'f', 1)
            .arg(peakGrowthMiB, 0, 'f', 1)
            .arg(longestGap, 0, 'f', 1));
    PrintVerdict(u"Tone window, first picture"_s,
                 u"%1 ms (ratio %2 to one plain read of the file)"_s.arg(Median(firstPicture), 0, 'f', 0)
                     .arg(Median(firstPicture) / plainRead, 0, 'f', 3),
                 u"<= 1000 ms"_s, Median(firstPicture) <= 1000);
    PrintVerdict(u"Tone window, memory"_s,
                 u"peak %1 MiB over the idle program's %2 MiB"_s.arg(peakGrowthMiB, 0, 'f', 1)
                     .arg(double(idleKiB) / 1024, 0, 'f', 1),
                 u"<= 100 MB"_s, peakGrowthMiB * 1.048576 <= 100);
    PrintVerdict(u"Tone window, main window"_s, u"longest gap %1 ms while analysing"_s.arg(longestGap, 0, 'f', 1),
                 u"<= 120 ms"_s, longestGap <= 120);
    return EXIT_SUCCESS;
}

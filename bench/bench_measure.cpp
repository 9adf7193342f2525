// SPDX-License-Identifier: GPL-3.0-or-later

// Make Impulse Response on a 60 s, 96 kHz, stereo recording of a 10 s measurement sweep: how long
// it takes from the choice of the files to the message, and how much memory it adds to the idle
// program. The baseline is one plain read of the recording with libsndfile. Then, on the private
// audio server (QUORVANE_BENCH_SINK), Measure… of a 10 s sweep at 48 kHz through the sink's
// monitor: how long it takes beyond the sweep's own file, whose length is its baseline.

#include "answering_dialogs.h"
#include "bench_application.h"
#include "bench_support.h"
#include "core/plan/sweep_plan.h"
#include "core/tone/tone.h"
#include "services/home_page.h"
#include "window/form1.h"
#include "window/options_menu.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <random>
#include <sndfile.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

constexpr int Rate = 96000;
constexpr sf_count_t Seconds = 60;

[[noreturn]] void Fail(const QString &why)
{
    Say(u"bench_measure: "_s + why);
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

std::vector<float> ReadMono(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        Fail(u"libsndfile cannot open "_s + path);
    std::vector<float> interleaved(std::size_t(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    std::vector<float> mono(std::size_t(info.frames));
    for (std::size_t i = 0; i < mono.size(); ++i)
        mono[i] = interleaved[i * std::size_t(info.channels)];
    return mono;
}

// A room as a recording hears it: the sweep twice (at 2 s and 31 s), a little later on the right,
// over faint noise.
void WriteRecording(const QString &path, const std::vector<float> &sweep)
{
    std::vector<float> frames(std::size_t(Rate * Seconds * 2));
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0, 1e-4f);
    for (auto &sample : frames)
        sample = noise(random);
    for (const std::size_t start : {std::size_t(2 * Rate), std::size_t(31 * Rate)}) {
        for (std::size_t i = 0; i < sweep.size() && start + i + 48 < frames.size() / 2; ++i) {
            frames[2 * (start + i)] += 0.5f * sweep[i];
            frames[2 * (start + i + 48) + 1] += 0.4f * sweep[i];
        }
    }
    SF_INFO info{0, Rate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file || sf_writef_float(file, frames.data(), Rate * Seconds) != Rate * Seconds)
        Fail(u"the recording could not be written"_s);
    sf_close(file);
}

double PlainReadMs(const QString &path)
{
    const qint64 start = MonotonicNs();
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        Fail(u"libsndfile cannot open "_s + path);
    std::vector<float> block(65536 * std::size_t(info.channels));
    while (sf_readf_float(file, block.data(), 65536) > 0) {
    }
    sf_close(file);
    return Ms(MonotonicNs() - start);
}

// Measure… of the preset's sweep at 48 kHz, played on the server's null sink and recorded from its
// monitor: the time from the command to its message, less the sweep's file (sweep and silence).
void MeasureThroughTheLoop(Form1 &window, AnsweringDialogs &dialogs)
{
    Say(u"\n== 9b. Measure… of a 10 s sweep at 48 kHz, through a null sink's monitor"_s);
    if (qEnvironmentVariableIsEmpty("QUORVANE_BENCH_SINK")) {
        Say(u"   not measured: no private audio server"_s);
        return;
    }
    window.Options->chooseStored({{OutputSetting::SampleRate, u"48000"_s}, {OutputSetting::Level, u"-6"_s}});
    emit window.Options->aboutToShow(); // its items are made as it first opens
    for (QAction *item : window.Options->actions()) {
        if (item->text() != u"Input Device"_s)
            continue;
        emit item->menu()->aboutToShow();
        for (QAction *input : item->menu()->actions()) {
            if (input->text() == u"Monitor of Null Output"_s)
                input->trigger(); // the sink it plays on
        }
    }
    const OutputOptions &options = window.Options->options();
    const MeasurementSweep sweep =
        DesignRequestedSweep(ReadTone(MakeToneRequest(u"10"_s, u"Sine (Default)"_s, u"20-20000"_s), options).tone,
                             options)
            .sweep.value();
    const double fileSeconds = double(sweep.totalSamples()) / sweep.sampleRate;
    QList<double> beyond;
    for (int i = 0; i < Repeats(3); ++i) {
        // A folder for each: the files are named by the second.
        const QString folder = SandboxRoot() + u"/measured-%1"_s.arg(i);
        QDir().mkpath(folder);
        dialogs.reset();
        dialogs.openAnswers = {folder};
        const qint64 start = MonotonicNs();
        window.Measure();
        beyond.append(Ms(dialogs.resultAt - start) - 1000 * fileSeconds);
        if (dialogs.messages.size() != 1 || !dialogs.messages[0].startsWith(u"Done."_s))
            Fail(u"Measure… said "_s + dialogs.messages.join(u" / "_s));
    }
    Say(u"   %1 ms beyond the sweep's %2 s (median of %3; from %4 to %5 ms)"_s.arg(Median(beyond), 0, 'f', 0)
            .arg(fileSeconds, 0, 'f', 3)
            .arg(beyond.size())
            .arg(*std::min_element(beyond.begin(), beyond.end()), 0, 'f', 0)
            .arg(Max(beyond), 0, 'f', 0));
    Say(u"   %1"_s.arg(QString(dialogs.messages.value(0)).section(u"\r\n"_s, 1, 1)));
    PrintVerdict(u"Measure…, beyond the sweep"_s, u"%1 ms"_s.arg(Median(beyond), 0, 'f', 0), u"<= 2000 ms"_s,
                 Median(beyond) <= 2000);
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);

    Say(u"\n== 9. Make Impulse Response on a 60 s, 96 kHz, stereo recording of a 10 s sweep"_s);
    Form1 window;
    StartWindow(window);
    window.Text1->setText(u"10"_s);
    window.Combo1->setCurrentIndex(0);
    window.Text2->setText(u"20-20000"_s);
    window.Options->chooseStored({{OutputSetting::MeasurementSweep, u"1"_s}, {OutputSetting::SampleRate, u"96000"_s}});
    const QString sweep = SandboxRoot() + u"/sweep.wav"_s;
    const QString inverse = SandboxRoot() + u"/sweep-inverse.wav"_s;
    const QString recording = SandboxRoot() + u"/room.wav"_s;
    AnsweringDialogs dialogs;
    dialogs.nextAnswer = sweep;
    window.PushButton2->click();
    if (dialogs.messages.size() != 1 || !QFile::exists(inverse))
        Fail(u"the Save command said "_s + dialogs.messages.join(u" / "_s));
    WriteRecording(recording, ReadMono(sweep));
    const double plainRead = PlainReadMs(recording);
    QCoreApplication::processEvents();
    const qint64 idleKiB = ResidentKiB();

    QList<double> times;
    const int repeats = Repeats(5);
    for (int i = 0; i < repeats; ++i) {
        dialogs.reset();
        dialogs.openAnswers = {recording, inverse};
        const qint64 start = MonotonicNs();
        window.MakeImpulseResponse();
        times.append(Ms(MonotonicNs() - start));
        if (dialogs.messages.size() != 1 || !dialogs.messages[0].startsWith(u"Done."_s))
            Fail(u"Make Impulse Response said "_s + dialogs.messages.join(u" / "_s));
    }
    const double growthMiB = double(PeakResidentKiB() - idleKiB) / 1024;
    Say(u"   %1 ms (median of %2); plain read of the recording %3 ms; ratio %4"_s.arg(Median(times), 0, 'f', 1)
            .arg(repeats)
            .arg(plainRead, 0, 'f', 1)
            .arg(Median(times) / plainRead, 0, 'f', 2));
    Say(u"   %1"_s.arg(QString(dialogs.messages.value(0)).replace(u"\r\n"_s, u" "_s)));
    Say(u"   memory: idle program %1 MiB, peak %2 MiB over it"_s.arg(double(idleKiB) / 1024, 0, 'f', 1)
            .arg(growthMiB, 0, 'f', 1));
    PrintVerdict(
        u"Make Impulse Response, time"_s,
        u"%1 ms (ratio %2 to one plain read)"_s.arg(Median(times), 0, 'f', 0).arg(Median(times) / plainRead, 0, 'f', 2),
        u"<= 2000 ms"_s, Median(times) <= 2000);
    PrintVerdict(u"Make Impulse Response, memory"_s,
                 u"peak %1 MiB over the idle program's %2 MiB"_s.arg(growthMiB, 0, 'f', 1)
                     .arg(double(idleKiB) / 1024, 0, 'f', 1),
                 u"<= 200 MB"_s, growthMiB * 1.048576 <= 200);
    MeasureThroughTheLoop(window, dialogs);
    return EXIT_SUCCESS;
}

// SPDX-License-Identifier: GPL-3.0-or-later

// The Save command against the bare tool: what the command adds to the tool's own time, how
// long the window goes without handling events while a long tone is made, what writing and
// removing the five tool files costs per command, and what alias-free shapes and steps cost.

#include "answering_dialogs.h"
#include "bench_application.h"
#include "bench_support.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "core/sox/synth_command.h"
#include "core/tone/output_options.h"
#include "services/home_page.h"
#include "tool_run.h"
#include "window/form1.h"
#include "window/options_menu.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

constexpr int PollCycleMs = 100;
constexpr int Frequency = 1000;

struct SaveRun
{
    double ms = 0;         // from the chosen name to the result
    double longestGap = 0; // between two event-loop passes, in that time
    bool done = false;
};

class CommandBench
{
public:
    CommandBench()
    {
        outputs = SandboxRoot() + u"/outputs"_s;
        QDir().mkpath(outputs);
        sox = QStandardPaths::findExecutable(u"sox"_s);
        window.endProcess = [] {};
        window.Form_Load();
        window.show();
        window.Combo1->setCurrentIndex(0);
        window.Text2->setText(QString::number(Frequency));
        // A zero timer fires once in every pass of the event loop, also in the command's own passes.
        connect();
    }

    // The bare tool: spawn and wait, nothing else.
    double direct(int seconds)
    {
        const QString path = outputs + u"/direct.wav"_s;
        const qint64 start = MonotonicNs();
        const int status = SpawnAndWait(sox, {u"-r"_s, u"48000"_s, u"-n"_s, path, u"synth"_s, QString::number(seconds),
                                              u"sine"_s, QString::number(Frequency)});
        const double ms = Ms(MonotonicNs() - start);
        if (status != 0)
            fail(u"the bare tool ended with status %1"_s.arg(status));
        QFile::remove(path);
        return ms;
    }

    // One sine of this length (in seconds, as the tool reads it) by the bare tool.
    double directSine(const QString &length)
    {
        const QString path = outputs + u"/direct.wav"_s;
        const qint64 start = MonotonicNs();
        const int status = SpawnAndWait(
            sox, {u"-r"_s, u"48000"_s, u"-n"_s, path, u"synth"_s, length, u"sine"_s, QString::number(Frequency)});
        const double ms = Ms(MonotonicNs() - start);
        if (status != 0)
            fail(u"the bare tool ended with status %1"_s.arg(status));
        QFile::remove(path);
        return ms;
    }

    // The tone that the window's inputs and options describe now, made by the bare tool: the time
    // on the clock, and the tool's processor time (user and system) when cpuMs is given.
    double directOfWindow(double *cpuMs = nullptr)
    {
        const QString path = outputs + u"/direct.wav"_s;
        const ToneRequest request =
            MakeToneRequest(window.Text1->text(), window.Combo1->currentText(), window.Text2->text());
        const OutputOptions options = window.Options->options();
        const SynthArgumentPart part =
            BuildSynthArgumentPart(path, PlanTone(ReadTone(request, options).tone, options), ToolPath(ToolFiles[0]));
        const qint64 start = MonotonicNs();
        // Only failures on the terminal: the divide effect that alias-free sweeps use is marked
        // experimental, and the tool says so on every run.
        const int status = SpawnAndWait(sox, QStringList{u"-V1"_s} + part.arguments, cpuMs);
        const double ms = Ms(MonotonicNs() - start);
        if (status != 0)
            fail(u"the bare tool ended with status %1 for %2"_s.arg(status).arg(part.text));
        QFile::remove(path);
        return ms;
    }

    // Chooses the time between steps for the next tones.
    void setStepPause(const QString &seconds) { window.Options->chooseStored({{OutputSetting::StepPause, seconds}}); }

    // Chooses a waveform, a frequency and the alias-free option for the next tones.
    void setTone(int waveform, const QString &frequency, bool aliasFree)
    {
        window.Combo1->setCurrentIndex(waveform);
        window.Text2->setText(frequency);
        window.Options->chooseStored({{OutputSetting::AliasFree, aliasFree ? u"1"_s : u"0"_s}});
    }

    void setLength(int seconds) { window.Text1->setText(QString::number(seconds)); }

    void setSampleRate(int rate) { window.Options->chooseStored({{OutputSetting::SampleRate, QString::number(rate)}}); }

    SaveRun save(int seconds)
    {
        const QString path = outputs + u"/saved.wav"_s;
        window.Text1->setText(QString::number(seconds));
        dialogs.reset();
        dialogs.nextAnswer = path;
        passes.clear();
        window.PushButton2->click();
        SaveRun run;
        // "Done." and, under it, what was written.
        run.done = dialogs.messages.size() == 1 && dialogs.messages[0].section(u"\r\n"_s, 0, 0) == u"Done."_s &&
                   dialogs.errorReports.isEmpty();
        if (!run.done)
            fail(u"the Save command said %1 (%2)"_s.arg(dialogs.messages.join(u" / "_s), dialogs.details.join(u' ')));
        run.ms = Ms(dialogs.resultAt - dialogs.chosenAt);
        run.longestGap = longestGap(dialogs.chosenAt, dialogs.resultAt);
        QFile::remove(path);
        return run;
    }

    // The event loop as the design wants it while a tool runs: one pass, then 100 ms of sleep.
    double idealLongestGap(int cycles)
    {
        passes.clear();
        const qint64 start = MonotonicNs();
        for (int i = 0; i < cycles; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(PollCycleMs);
        }
        QCoreApplication::processEvents();
        return longestGap(start, MonotonicNs());
    }

private:
    void connect()
    {
        QObject::connect(&pass, &QTimer::timeout, [this] { passes.append(MonotonicNs()); });
        pass.start(0);
    }

    double longestGap(qint64 from, qint64 to) const
    {
        qint64 previous = from;
        qint64 longest = 0;
        for (qint64 moment : passes) {
            if (moment < from || moment > to)
                continue;
            longest = std::max(longest, moment - previous);
            previous = moment;
        }
        return Ms(std::max(longest, to - previous));
    }

    [[noreturn]] static void fail(const QString &why)
    {
        Say(u"bench_command: "_s + why);
        std::exit(EXIT_FAILURE);
    }

    QString outputs;
    QString sox;
    AnsweringDialogs dialogs;
    Form1 window;
    QTimer pass;
    QList<qint64> passes;
};

void CommandOverhead(CommandBench &bench)
{
    Say(u"\n== 1. Command overhead: Save (chosen name to result) against the bare tool (spawn and wait)"_s);
    Say(u"   Medians over pairs of runs made one right after the other, so a drift of the shared machine"_s);
    Say(u"   hits both sides of a pair alike."_s);
    Say(u"   tone     pairs   bare tool   Save        Save - tool   ratio   beyond one poll cycle"_s);
    QList<double> longestGaps;
    for (const auto &[seconds, repeats] : {std::pair{1, Repeats(21)}, {60, Repeats(9)}, {600, Repeats(7)}}) {
        QList<double> bare;
        QList<double> saved;
        QList<double> differences;
        QList<double> ratios;
        bench.direct(seconds); // warms the page cache and the tool
        bench.save(seconds);
        for (int i = 0; i < repeats; ++i) {
            // Alternate the order within the pairs as well.
            double tool = 0;
            SaveRun run;
            if (i % 2) {
                tool = bench.direct(seconds);
                run = bench.save(seconds);
            } else {
                run = bench.save(seconds);
                tool = bench.direct(seconds);
            }
            bare.append(tool);
            saved.append(run.ms);
            differences.append(run.ms - tool);
            ratios.append(run.ms / tool);
            if (seconds == 600)
                longestGaps.append(run.longestGap);
        }
        const double ratio = Median(ratios);
        const double overhead = Median(differences);
        const double beyond = overhead - PollCycleMs;
        Say(u"   %1 s   %2   %3 ms   %4 ms   %5 ms   %6   %7 ms   (Save - tool from %8 to %9 ms)"_s.arg(seconds, 5)
                .arg(repeats, 5)
                .arg(Median(bare), 9, 'f', 1)
                .arg(Median(saved), 9, 'f', 1)
                .arg(overhead, 9, 'f', 1)
                .arg(ratio, 6, 'f', 3)
                .arg(beyond, 8, 'f', 1)
                .arg(*std::min_element(differences.begin(), differences.end()), 0, 'f', 1)
                .arg(Max(differences), 0, 'f', 1));
        if (seconds == 600)
            PrintVerdict(u"Command overhead, 600 s tone"_s,
                         u"ratio %1 (Save %2 ms, tool %3 ms)"_s.arg(ratio, 0, 'f', 3)
                             .arg(Median(saved), 0, 'f', 0)
                             .arg(Median(bare), 0, 'f', 0),
                         u"ratio <= 1.05"_s, ratio <= 1.05);
        if (seconds == 1)
            PrintVerdict(u"Command overhead, 1 s tone"_s,
                         u"%1 ms beyond one poll cycle (Save %2 ms, tool %3 ms, ratio %4)"_s.arg(beyond, 0, 'f', 1)
                             .arg(Median(saved), 0, 'f', 1)
                             .arg(Median(bare), 0, 'f', 1)
                             .arg(ratio, 0, 'f', 1),
                         u"<= 15 ms beyond one poll cycle"_s, beyond <= 15);
    }

    Say(u"\n== 3. Responsiveness: longest gap between two event-loop passes during a 600 s Save"_s);
    const double ideal = bench.idealLongestGap(20);
    const double worst = Max(longestGaps);
    Say(u"   Save: median of the longest gaps %1 ms, worst %2 ms over %3 runs; ideal 100 ms poll loop: %4 ms; ratio %5"_s
            .arg(Median(longestGaps), 0, 'f', 1)
            .arg(worst, 0, 'f', 1)
            .arg(longestGaps.size())
            .arg(ideal, 0, 'f', 1)
            .arg(worst / ideal, 0, 'f', 3));
    PrintVerdict(u"Responsiveness, 600 s tone"_s,
                 u"longest gap %1 ms (ideal poll loop %2 ms, ratio %3)"_s.arg(worst, 0, 'f', 1)
                     .arg(ideal, 0, 'f', 1)
                     .arg(worst / ideal, 0, 'f', 3),
                 u"<= 120 ms"_s, worst <= 120);
}

// The work is the tool's processor time (user and system) per second of sound: the machine is
// shared, and the time on the clock also holds the waits for a core.
void AliasFreeCost(CommandBench &bench)
{
    Say(u"\n== 7. Alias-free shapes: Save of 10 s alias-free against Save of the plain shape"_s);
    Say(u"   Medians over pairs made one right after the other; the bare tool's times beside them, and its"_s);
    Say(u"   processor time (user + sys) per second of sound for the alias-free shape."_s);
    Say(u"   shape      frequency   Save plain   Save alias-free   ratio   tool plain   tool alias-free   ratio   work per s of sound"_s);
    const QStringList names{u"sine"_s, u"square"_s, u"triangle"_s, u"sawtooth"_s, u"trapezium"_s, u"exp"_s};
    double worstRatioAt3150 = 0;
    double mostWork = 0;
    QString dearest;
    const int repeats = Repeats(5);
    for (const QString &frequency : {u"110"_s, u"3150"_s, u"20"_s, u"20:20000"_s}) {
        for (const int waveform : {1, 2, 3}) {
            if (frequency.startsWith(u"20"_s) && waveform != 3)
                continue;
            QList<double> plain;
            QList<double> aliasFree;
            QList<double> plainTool;
            QList<double> aliasFreeTool;
            QList<double> aliasFreeCpu;
            for (int i = 0; i < repeats; ++i) {
                for (const bool on : {i % 2 == 0, i % 2 != 0}) {
                    bench.setTone(waveform, frequency, on);
                    (on ? aliasFree : plain).append(bench.save(10).ms);
                    double cpu = 0;
                    (on ? aliasFreeTool : plainTool).append(bench.directOfWindow(&cpu));
                    if (on)
                        aliasFreeCpu.append(cpu);
                }
            }
            const double ratio = Median(aliasFree) / Median(plain);
            const double toolRatio = Median(aliasFreeTool) / Median(plainTool);
            const double work = Median(aliasFreeCpu) / 1000 / 10;
            if (frequency == u"3150"_s)
                worstRatioAt3150 = std::max(worstRatioAt3150, ratio);
            if (work > mostWork) {
                mostWork = work;
                dearest = u"%1 %2 Hz at 48 kHz"_s.arg(names[waveform], frequency);
            }
            Say(u"   %1 %2 Hz  %3 ms   %4 ms   %5   %6 ms   %7 ms   %8   %9 s"_s.arg(names[waveform], -9)
                    .arg(frequency, 8)
                    .arg(Median(plain), 9, 'f', 1)
                    .arg(Median(aliasFree), 14, 'f', 1)
                    .arg(ratio, 6, 'f', 2)
                    .arg(Median(plainTool), 9, 'f', 1)
                    .arg(Median(aliasFreeTool), 14, 'f', 1)
                    .arg(toolRatio, 6, 'f', 2)
                    .arg(work, 6, 'f', 3));
        }
    }

    // The dearest tones: the highest frequency of a sweep sets how finely it must be made.
    Say(u"\n   Sweeps from 20 Hz to 20 kHz, 4 s, alias-free: the bare tool's processor time per second of sound,"_s);
    Say(u"   median of %1 runs"_s.arg(Repeats(3)));
    Say(u"   shape      rate        20:20000   20+20000   20/20000   20-20000"_s);
    bench.setLength(4);
    for (const int waveform : {1, 2, 3, 4, 5}) {
        for (const int rate : {44100, 48000, 96000}) {
            bench.setSampleRate(rate);
            QString line = u"   %1 %2 Hz"_s.arg(names[waveform], -9).arg(rate, 6);
            for (const QString &sweep : {u"20:20000"_s, u"20+20000"_s, u"20/20000"_s, u"20-20000"_s}) {
                bench.setTone(waveform, sweep, true);
                QList<double> cpu;
                for (int i = 0; i < Repeats(3); ++i) {
                    double ms = 0;
                    bench.directOfWindow(&ms);
                    cpu.append(ms);
                }
                const double work = Median(cpu) / 1000 / 4;
                if (work > mostWork) {
                    mostWork = work;
                    dearest = u"%1 %2 Hz at %3 Hz"_s.arg(names[waveform], sweep).arg(rate);
                }
                line += u"   %1 s"_s.arg(work, 6, 'f', 3);
            }
            Say(line);
        }
    }
    bench.setSampleRate(48000);
    bench.setTone(0, u"1000"_s, false);
    PrintVerdict(u"Alias-free Save at 3150 Hz"_s, u"at most %1 times the plain Save"_s.arg(worstRatioAt3150, 0, 'f', 2),
                 u"<= 3"_s, worstRatioAt3150 <= 3);
    PrintVerdict(u"Alias-free work per second"_s,
                 u"at most %1 s of processor time per second of sound (%2)"_s.arg(mostWork, 0, 'f', 3).arg(dearest),
                 u"<= 0.2 s"_s, mostWork <= 0.2);
}

void StepsCost(CommandBench &bench)
{
    Say(u"\n== 8. Steps: Save of the 31 third-octave steps (1 s each, 0.5 s pauses) against the bare tool"_s);
    Say(u"   making one 46.5 s sine; medians over pairs made one right after the other."_s);
    const QString thirdOctaves = u"20; 25; 31.5; 40; 50; 63; 80; 100; 125; 160; 200; 250; 315; 400; 500; 630; 800; "
                                 "1000; 1250; 1600; 2000; 2500; 3150; 4000; 5000; 6300; 8000; 10000; 12500; 16000; "
                                 "20000"_s;
    bench.setTone(0, thirdOctaves, false);
    bench.setStepPause(u"0.5"_s);
    QList<double> saved;
    QList<double> bare;
    QList<double> ratios;
    bench.save(1);
    for (int i = 0; i < Repeats(9); ++i) {
        const double run = bench.save(1).ms;
        const double tool = bench.directSine(u"46.5"_s);
        saved.append(run);
        bare.append(tool);
        ratios.append(run / tool);
    }
    bench.setStepPause(u"0"_s);
    bench.setTone(0, u"1000"_s, false);
    const double ratio = Median(ratios);
    Say(u"   Save %1 ms, bare tool %2 ms, ratio %3"_s.arg(Median(saved), 0, 'f', 1)
            .arg(Median(bare), 0, 'f', 1)
            .arg(ratio, 0, 'f', 3));
    PrintVerdict(u"Save of 31 steps"_s,
                 u"ratio %1 (Save %2 ms, one 46.5 s sine %3 ms)"_s.arg(ratio, 0, 'f', 3)
                     .arg(Median(saved), 0, 'f', 0)
                     .arg(Median(bare), 0, 'f', 0),
                 u"ratio <= 1.5"_s, ratio <= 1.5);
}

void DeploymentCost()
{
    Say(u"\n== 5. Deployment cost: writing and removing the five tool files, per command"_s);
    qint64 bytes = 0;
    QList<QByteArray> contents;
    for (const ToolFile &row : ToolFiles) {
        contents.append(LoadToolResource(row.resourceId));
        bytes += contents.last().size();
    }
    QList<double> deploy;
    QList<double> remove;
    QList<double> plain;
    const int repeats = Repeats(41);
    for (int i = 0; i < repeats; ++i) {
        const qint64 start = MonotonicNs();
        ToolRun::Deploy();
        const qint64 deployed = MonotonicNs();
        ToolRun::Remove();
        const qint64 removed = MonotonicNs();
        deploy.append(Ms(deployed - start));
        remove.append(Ms(removed - deployed));
        for (const QString &name : QDir(WorkFolder()).entryList(QDir::Files | QDir::Hidden)) {
            Say(u"bench_command: %1 was left in the working folder"_s.arg(name));
            std::exit(EXIT_FAILURE);
        }

        // The same bytes written and removed the plain way, as a baseline.
        const qint64 plainStart = MonotonicNs();
        for (size_t row = 0; row < ToolFiles.size(); ++row) {
            QFile file(ToolPath(ToolFiles[row]));
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(contents[qsizetype(row)]) != contents[qsizetype(row)].size())
                std::exit(EXIT_FAILURE);
        }
        for (const ToolFile &row : ToolFiles)
            QFile::remove(ToolPath(row));
        plain.append(Ms(MonotonicNs() - plainStart));
    }
    const double total = Median(deploy) + Median(remove);
    Say(u"   bytes written per command: %1 (%2 files)"_s.arg(bytes).arg(ToolFiles.size()));
    Say(u"   deploy %1 ms + remove %2 ms = %3 ms (median of %4); plain write and delete of the same bytes %5 ms; ratio %6"_s
            .arg(Median(deploy), 0, 'f', 2)
            .arg(Median(remove), 0, 'f', 2)
            .arg(total, 0, 'f', 2)
            .arg(repeats)
            .arg(Median(plain), 0, 'f', 2)
            .arg(total / Median(plain), 0, 'f', 2));
    PrintVerdict(u"Deployment cost"_s,
                 u"%1 bytes, %2 ms per command (ratio %3 to a plain write and delete)"_s.arg(bytes)
                     .arg(total, 0, 'f', 2)
                     .arg(total / Median(plain), 0, 'f', 2),
                 u"(figure only)"_s, true);
}

} // namespace

int main(int argc, char *argv[])
{
    BenchApplication app(argc, argv);

    CommandBench bench;
    CommandOverhead(bench);
    DeploymentCost();
    AliasFreeCost(bench);
    StepsCost(bench);
    return EXIT_SUCCESS;
}

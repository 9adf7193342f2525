// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up and memory of the program as a process, each against the minimal Qt Widgets
// program (bench_minimal) measured in the same run.
//
// Start-up is measured from just before the process is started to the moment its window is
// shown with the inputs restored:
// - offscreen, by the program's copy (bench_window), which does what main() does and reports the
//   first event-loop pass after showing; the real program cannot report anything offscreen;
// - under X (DISPLAY set, e.g. the Xvfb that run-benchmarks starts), from outside: the moment the
//   X server maps a top-level window with the expected title. This works for the real program,
//   unchanged, as well as for the copy and the minimal program.
// The inputs are restored before the window is shown, so a shown window has them.

#include "bench_support.h"
#include "services/home_page.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTime>
#include <cstdlib>
#include <cstring>
#include <poll.h>

#ifdef QUORVANE_BENCH_HAVE_XCB
#include <xcb/xcb.h>
#endif

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

const QString RealProgram = QStringLiteral(QUORVANE_PROGRAM);
const QString WindowCopy = QStringLiteral(QUORVANE_BENCH_WINDOW);
const QString Minimal = QStringLiteral(QUORVANE_BENCH_MINIMAL);

// The inputs the window must show: stored before every start.
const QString StoredLength = u"2,5"_s;
const QString StoredFrequencies = u"440-880"_s;
const QString StoredType = u"3"_s;

// The start-up aim: at most this many times the minimal program's time, offscreen and under X.
constexpr double StartupAim = 1.15;
const QString StartupAimText = u"<= 1.15"_s;

[[noreturn]] void Fail(const QString &why)
{
    Say(u"bench_process: "_s + why);
    std::exit(EXIT_FAILURE);
}

QProcessEnvironment Environment(const QString &platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, platform);
    return environment;
}

// Runs a program that reports itself with a last line "<key> <value> ..." and returns its words;
// earlier lines go to *before.
QStringList RunReporting(const QString &program, const QStringList &arguments, const QString &platform,
                         qint64 *startedAt = nullptr, QStringList *before = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(Environment(platform));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 start = MonotonicNs();
    process.start(program, arguments);
    if (!process.waitForFinished(120'000) || process.exitCode() != 0)
        Fail(u"%1 %2 did not end well: %3"_s.arg(program, arguments.join(u' '), process.errorString()));
    if (startedAt)
        *startedAt = start;
    QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed().split(u'\n');
    const QString last = lines.takeLast();
    if (before)
        *before = lines;
    return last.split(u' ');
}

// Waits while the program's one-in-a-hundred home page draw would come up in the next seconds:
// the real program would then try to open a browser before its window shows.
void AvoidHomePageSeconds()
{
    const auto draw = DefaultHomePageChance().draw;
    for (;;) {
        const int now = QTime(0, 0).secsTo(QTime::currentTime());
        bool clear = true;
        for (int ahead = 0; ahead < 4; ++ahead)
            clear = clear && draw(quint32(now + ahead)) != HomePageDraw;
        if (clear)
            return;
        QThread::msleep(1000);
    }
}

struct StartupFigures
{
    double program = 0;
    double minimal = 0;
};

void ReportStartup(const QString &how, const QString &programName, const QList<double> &program,
                   const QList<double> &minimal)
{
    const double ratio = Median(program) / Median(minimal);
    Say(u"   %1: %2 %3 ms, minimal %4 ms (medians of %5), ratio %6"_s.arg(how, programName)
            .arg(Median(program), 0, 'f', 1)
            .arg(Median(minimal), 0, 'f', 1)
            .arg(program.size())
            .arg(ratio, 0, 'f', 3));
}

void OffscreenStartup()
{
    QList<double> copy;
    QList<double> minimal;
    RunReporting(WindowCopy, {u"--startup"_s}, u"offscreen"_s); // warm-up
    RunReporting(Minimal, {u"--startup"_s}, u"offscreen"_s);
    const QString expected = u"%1|%2|%3"_s.arg(StoredLength, StoredFrequencies, StoredType);
    // Process start to main(), QApplication, Form1, Form_Load, show(), to the first event-loop pass.
    QList<QList<double>> parts(6);
    for (int i = 0, repeats = Repeats(15); i < repeats; ++i) {
        qint64 start = 0;
        QStringList before;
        const QStringList shown = RunReporting(WindowCopy, {u"--startup"_s}, u"offscreen"_s, &start, &before);
        if (shown.value(0) != u"SHOWN"_s || shown.mid(2).join(u' ') != expected)
            Fail(u"the window did not show the stored inputs %1: %2"_s.arg(expected, shown.join(u' ')));
        copy.append(Ms(shown.value(1).toLongLong() - start));
        const QStringList moments = before.value(0).split(u' ');
        qint64 previous = start;
        for (qsizetype part = 0; part < parts.size(); ++part) {
            const qint64 moment =
                part + 1 < parts.size() ? moments.value(part + 1).toLongLong() : shown.value(1).toLongLong();
            parts[part].append(Ms(moment - previous));
            previous = moment;
        }
        const QStringList minimalShown = RunReporting(Minimal, {u"--startup"_s}, u"offscreen"_s, &start);
        minimal.append(Ms(minimalShown.value(1).toLongLong() - start));
    }
    ReportStartup(u"offscreen"_s, u"program (bench_window)"_s, copy, minimal);
    Say(u"   offscreen parts of the program (medians): to main() %1 ms, QApplication %2 ms, Form1 %3 ms, "
        "Form_Load %4 ms, show() %5 ms, to the first event pass %6 ms"_s.arg(Median(parts[0]), 0, 'f', 1)
            .arg(Median(parts[1]), 0, 'f', 1)
            .arg(Median(parts[2]), 0, 'f', 1)
            .arg(Median(parts[3]), 0, 'f', 1)
            .arg(Median(parts[4]), 0, 'f', 1)
            .arg(Median(parts[5]), 0, 'f', 1));
    const double ratio = Median(copy) / Median(minimal);
    PrintVerdict(u"Start-up, offscreen"_s,
                 u"ratio %1 (%2 ms against %3 ms)"_s.arg(ratio, 0, 'f', 3)
                     .arg(Median(copy), 0, 'f', 1)
                     .arg(Median(minimal), 0, 'f', 1),
                 StartupAimText, ratio <= StartupAim);
}

#ifdef QUORVANE_BENCH_HAVE_XCB

// Watches the X server for top-level windows being mapped.
class MapWatcher
{
public:
    bool open()
    {
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection))
            return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&screens);
        root = screens.data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
        netWmName = atom("_NET_WM_NAME");
        utf8String = atom("UTF8_STRING");
        xcb_flush(connection);
        return true;
    }

    ~MapWatcher()
    {
        if (connection)
            xcb_disconnect(connection);
    }

    // Forgets the events of earlier programs.
    void drain()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            std::free(event);
    }

    // The moment a window with this title was mapped, or 0 when none was within the time.
    qint64 waitForMap(const QString &title, int timeoutMs)
    {
        const qint64 deadline = MonotonicNs() + qint64(timeoutMs) * 1'000'000;
        for (;;) {
            xcb_generic_event_t *event = xcb_poll_for_event(connection);
            if (!event) {
                const qint64 left = deadline - MonotonicNs();
                if (left <= 0 || xcb_connection_has_error(connection))
                    return 0;
                pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
                ::poll(&descriptor, 1, int(left / 1'000'000) + 1);
                continue;
            }
            const qint64 now = MonotonicNs();
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = mapped ? reinterpret_cast<xcb_map_notify_event_t *>(event)->window : 0;
            std::free(event);
            if (mapped && titleOf(window) == title)
                return now;
        }
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    QString titleOf(xcb_window_t window)
    {
        for (const auto &[property, type] : {std::pair{netWmName, utf8String}, {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}}) {
            xcb_get_property_reply_t *reply = xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, window, property, type, 0, 256), nullptr);
            QString title;
            if (reply && xcb_get_property_value_length(reply) > 0)
                title = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply)),
                                          xcb_get_property_value_length(reply));
            std::free(reply);
            if (!title.isEmpty())
                return title;
        }
        return {};
    }

    xcb_connection_t *connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
};

// Process start to the window mapped, in milliseconds.
double TimeToMap(MapWatcher &watcher, const QString &program, const QString &title)
{
    if (program == RealProgram)
        AvoidHomePageSeconds();
    watcher.drain();
    QProcess process;
    process.setProcessEnvironment(Environment(u"xcb"_s));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 start = MonotonicNs();
    process.start(program, {});
    const qint64 mapped = watcher.waitForMap(title, 30'000);
    process.kill();
    process.waitForFinished(10'000);
    if (!mapped)
        Fail(u"no window \"%1\" of %2 appeared"_s.arg(title, program));
    return Ms(mapped - start);
}

void XStartup()
{
    MapWatcher watcher;
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !watcher.open()) {
        Say(u"   under X: skipped (no X display; run-benchmarks starts Xvfb when it is installed)"_s);
        PrintVerdict(u"Start-up, under X"_s, u"not measured (no X display)"_s, StartupAimText, false);
        return;
    }
    QList<double> real;
    QList<double> copy;
    QList<double> minimal;
    TimeToMap(watcher, RealProgram, u"Quorvane"_s); // warm-up
    TimeToMap(watcher, Minimal, u"minimal"_s);
    for (int i = 0, repeats = Repeats(11); i < repeats; ++i) {
        real.append(TimeToMap(watcher, RealProgram, u"Quorvane"_s));
        copy.append(TimeToMap(watcher, WindowCopy, u"Quorvane"_s));
        minimal.append(TimeToMap(watcher, Minimal, u"minimal"_s));
    }
    ReportStartup(u"under X"_s, u"real program"_s, real, minimal);
    ReportStartup(u"under X"_s, u"program (bench_window)"_s, copy, minimal);
    const double ratio = Median(real) / Median(minimal);
    PrintVerdict(u"Start-up, under X"_s,
                 u"ratio %1 (real program %2 ms against %3 ms)"_s.arg(ratio, 0, 'f', 3)
                     .arg(Median(real), 0, 'f', 1)
                     .arg(Median(minimal), 0, 'f', 1),
                 StartupAimText, ratio <= StartupAim);
}

#else

void XStartup()
{
    Say(u"   under X: skipped (built without xcb)"_s);
    PrintVerdict(u"Start-up, under X"_s, u"not measured (built without xcb)"_s, StartupAimText, false);
}

#endif

void Memory()
{
    Say(u"\n== 4. Memory: peak resident size during a 600 s Save, against the minimal program"_s);
    if (!SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"600"_s) ||
        !SaveSetting(Settings::App, Settings::Section, Settings::Text2, u"1000"_s) ||
        !SaveSetting(Settings::App, Settings::Section, Settings::Combo1, u"0"_s))
        Fail(u"cannot store the inputs"_s);
    const QString output = SandboxRoot() + u"/memory.wav"_s;
    QList<double> program;
    QList<double> minimal;
    for (int i = 0, repeats = Repeats(3); i < repeats; ++i) {
        const QStringList saved = RunReporting(WindowCopy, {u"--memory"_s, output}, u"offscreen"_s);
        if (saved.value(0) != u"PEAK_KIB"_s || saved.value(2) != u"Done."_s)
            Fail(u"the 600 s Save did not succeed: "_s + saved.join(u' '));
        QFile::remove(output);
        program.append(saved.value(1).toDouble() / 1024);
        minimal.append(RunReporting(Minimal, {u"--memory"_s, u"2000"_s}, u"offscreen"_s).value(1).toDouble() / 1024);
    }
    const double difference = Median(program) - Median(minimal);
    Say(u"   program %1 MiB, minimal %2 MiB (medians of %3): +%4 MiB, ratio %5"_s.arg(Median(program), 0, 'f', 1)
            .arg(Median(minimal), 0, 'f', 1)
            .arg(program.size())
            .arg(difference, 0, 'f', 1)
            .arg(Median(program) / Median(minimal), 0, 'f', 3));
    PrintVerdict(u"Memory, 600 s Save"_s,
                 u"+%1 MiB (%2 against %3 MiB, ratio %4)"_s.arg(difference, 0, 'f', 1)
                     .arg(Median(program), 0, 'f', 1)
                     .arg(Median(minimal), 0, 'f', 1)
                     .arg(Median(program) / Median(minimal), 0, 'f', 3),
                 u"<= +25 MB"_s, difference * 1.048576 <= 25);
}

} // namespace

int main(int argc, char *argv[])
{
    PrepareSandbox();
    QCoreApplication app(argc, argv);
    if (!SaveSetting(Settings::App, Settings::Section, Settings::Text1, StoredLength) ||
        !SaveSetting(Settings::App, Settings::Section, Settings::Text2, StoredFrequencies) ||
        !SaveSetting(Settings::App, Settings::Section, Settings::Combo1, StoredType))
        Fail(u"cannot store the inputs"_s);

    Say(u"\n== 2. Start-up: process start to the window shown with the inputs restored"_s);
    OffscreenStartup();
    XStartup();
    Memory();
    return EXIT_SUCCESS;
}

// SPDX-License-Identifier: GPL-3.0-or-later

// Preview latency: from the click on Preview Tone to the first sound at the private null sink's
// monitor, against paplay of the same ready file. Both sound in one recording, so the recorder's
// own delay, whatever it is, cancels:
//
//   extra = (click to sound) - (paplay start to sound)
//         = (onset of the preview - onset of paplay in the recording) + (paplay start - click)
//
// Needs the private audio server that run-benchmarks starts (PULSE_SERVER and QUORVANE_BENCH_SINK).
//
//   bench_preview            the Preview command, first click after start-up and repeated clicks,
//                            and the live tone (10)
//   bench_preview --engines  also the players alone, each handed the ready file, against paplay

#include "answering_dialogs.h"
#include "bench_support.h"
#include "core/live/live_renderer.h"
#include "core/run/temp_folder.h"
#include "play_file.h"
#include "services/home_page.h"
#include "window/form1.h"

#include <QApplication>
#include <QAudioOutput>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <sndfile.h>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace Bench;

namespace {

constexpr int PollCycleMs = 100;
constexpr double AimBeyondPollMs = 30;
constexpr int RecordRate = 48000;
// The null sink's monitor is exactly silent between sounds.
constexpr float Loud = 0.05f;

[[noreturn]] void Fail(const QString &why)
{
    Say(u"bench_preview: "_s + why);
    std::exit(EXIT_FAILURE);
}

// Lets events run for a while, as a person waiting would.
void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Records the sink's monitor, mono float at the sink's rate.
class Recording
{
public:
    explicit Recording(QString file) : m_file(std::move(file))
    {
        m_process.start(u"parecord"_s, {u"--device="_s + qEnvironmentVariable("QUORVANE_BENCH_SINK") + u".monitor"_s,
                                        u"--latency-msec=10"_s, u"--rate=%1"_s.arg(RecordRate), u"--channels=1"_s,
                                        u"--format=float32le"_s, u"--file-format=wav"_s, m_file});
        if (!m_process.waitForStarted(5000) ||
            !WaitFor([this] { return QFileInfo(m_file).size() > 100 + RecordRate / 5 * 4; }, 5000))
            Fail(u"parecord does not record: "_s + m_process.errorString());
    }

    std::vector<float> stop()
    {
        Wait(200); // the last sound reaches the monitor a little later
        m_process.terminate();
        m_process.waitForFinished(5000);
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(m_file).constData(), SFM_READ, &info);
        if (!file)
            Fail(u"cannot read the recording: %1"_s.arg(QString::fromUtf8(sf_strerror(nullptr))));
        std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
        samples.resize(size_t(sf_readf_float(file, samples.data(), info.frames)) * size_t(info.channels));
        sf_close(file);
        QFile::remove(m_file);
        return samples;
    }

private:
    QString m_file;
    QProcess m_process;
};

// The first loud sample, and the first loud one after at least 0.1 s of silence that follows it.
std::pair<qsizetype, qsizetype> TwoOnsets(const std::vector<float> &samples)
{
    const auto loud = [&](size_t i) { return std::abs(samples[i]) > Loud; };
    size_t first = 0;
    while (first < samples.size() && !loud(first))
        ++first;
    size_t quiet = 0;
    for (size_t i = first; i < samples.size(); ++i) {
        if (!loud(i)) {
            ++quiet;
        } else {
            if (quiet >= RecordRate / 10)
                return {qsizetype(first), qsizetype(i)};
            quiet = 0;
        }
    }
    return {-1, -1};
}

// One trial: start the sound under test, wait for its end, then paplay the same file; returns
// how much later the sound under test sounded than paplay's, in milliseconds.
double ExtraOverPaplay(const QString &file, const std::function<void()> &startSound,
                       const std::function<bool()> &soundEnded)
{
    Recording recording(SandboxRoot() + u"/heard.wav"_s);
    Wait(100);
    const qint64 clicked = MonotonicNs();
    startSound();
    if (!WaitFor(soundEnded, 10000))
        Fail(u"the sound under test did not end"_s);
    Wait(300);
    QProcess paplay;
    const qint64 started = MonotonicNs();
    paplay.start(u"paplay"_s, {file});
    if (!paplay.waitForFinished(10000) || paplay.exitCode() != 0)
        Fail(u"paplay failed: "_s + QString::fromLocal8Bit(paplay.readAllStandardError()));
    const auto [tested, reference] = TwoOnsets(recording.stop());
    if (tested < 0)
        Fail(u"the recording does not hold two sounds"_s);
    return double(tested - reference) * 1000 / RecordRate + Ms(started - clicked);
}

void Report(const QString &what, const QList<double> &extras)
{
    Say(u"   %1: %2 ms later than paplay (median of %3; from %4 to %5 ms)"_s.arg(what)
            .arg(Median(extras), 0, 'f', 1)
            .arg(extras.size())
            .arg(*std::min_element(extras.begin(), extras.end()), 0, 'f', 1)
            .arg(Max(extras), 0, 'f', 1));
}

void PreviewLatency()
{
    Say(u"\n== 6. Preview latency: click on Preview Tone to the first sound at the sink, against paplay"_s);
    AnsweringDialogs dialogs;
    Form1 window;
    window.endProcess = [] {};
    window.Form_Load();
    window.show();
    window.Text1->setText(u"1"_s);
    window.Combo1->setCurrentIndex(0);
    window.Text2->setText(u"1000"_s);
    const QString preview = PreviewPath();
    const auto click = [&] { window.PushButton3->click(); };
    const auto ended = [] { return !IsSoundPlaying(); };

    // A new user's first preview: the player is loaded on this click.
    const double first = ExtraOverPaplay(preview, click, ended);
    if (!dialogs.messages.isEmpty() || !dialogs.errorReports.isEmpty())
        Fail(u"the Preview command said "_s + (dialogs.messages + dialogs.errorReports).join(u" / "_s));
    Say(u"   first preview after start-up: %1 ms later than paplay, %2 ms beyond one poll cycle"_s.arg(first, 0, 'f', 1)
            .arg(first - PollCycleMs, 0, 'f', 1));
    QList<double> extras;
    for (int i = 0, repeats = Repeats(9); i < repeats; ++i)
        extras.append(ExtraOverPaplay(preview, click, ended));
    Report(u"later previews"_s, extras);
    const double beyond = Median(extras) - PollCycleMs;
    Say(u"   beyond one poll cycle: %1 ms (the tool takes a few ms of that)"_s.arg(beyond, 0, 'f', 1));
    PrintVerdict(u"Preview latency"_s,
                 u"%1 ms beyond one poll cycle (%2 ms over paplay; first preview %3 ms beyond)"_s.arg(beyond, 0, 'f', 1)
                     .arg(Median(extras), 0, 'f', 1)
                     .arg(first - PollCycleMs, 0, 'f', 1),
                 u"<= %1 ms beyond one poll cycle"_s.arg(AimBeyondPollMs), beyond <= AimBeyondPollMs);
}

// The other candidate: one QMediaPlayer made at start and kept, warmed by one sound, handed each
// file anew (a player given the source it already has ignores it, so the source is cleared first).
class WarmMediaPlayer
{
public:
    WarmMediaPlayer()
    {
        player.setAudioOutput(&output);
        QObject::connect(&player, &QMediaPlayer::playbackStateChanged, [this](QMediaPlayer::PlaybackState state) {
            started = started || state == QMediaPlayer::PlayingState;
        });
    }

    void play(const QString &file)
    {
        started = false;
        player.setSource(QUrl());
        player.setSource(QUrl::fromLocalFile(file));
        player.play();
    }

    // The state turns to playing a while after play(); until then the sound has not ended.
    bool ended() const { return started && player.playbackState() != QMediaPlayer::PlayingState; }

private:
    bool started = false;
    QAudioOutput output;
    QMediaPlayer player;
};

void Engines()
{
    Say(u"\n== 6b. Players alone: the ready file handed to the player, to the first sound, against paplay"_s);
    const QString file = SandboxRoot() + u"/ready.wav"_s;
    if (SpawnAndWait(u"/usr/bin/sox"_s,
                     {u"-r"_s, u"48000"_s, u"-n"_s, file, u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s}) != 0)
        Fail(u"sox cannot make the ready file"_s);
    const int repeats = Repeats(9);

    QList<double> sink;
    PlayWaveFile(file, true); // loaded and warm
    for (int i = 0; i < repeats; ++i)
        sink.append(ExtraOverPaplay(
            file, [&] { PlayWaveFile(file, false); }, [] { return !IsSoundPlaying(); }));
    Report(u"PlayWaveFile (the program's player)"_s, sink);

    WarmMediaPlayer warm;
    warm.play(file);
    WaitFor([&] { return warm.ended(); }, 10000);
    QList<double> media;
    for (int i = 0; i < repeats; ++i)
        media.append(ExtraOverPaplay(
            file, [&] { warm.play(file); }, [&] { return warm.ended(); }));
    Report(u"QMediaPlayer kept and warm"_s, media);
}

// The processor time of the calling thread, in seconds.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

LiveTone Sine(double frequency, double gain = 1)
{
    return {RecordRate, 1, {{LivePeriodic{ShapeKind::Sine, {}, frequency, false}, {gain}}}};
}

// The renderer's processor time for a second of sound, in blocks of 5 ms as the server asks for
// them: the median of several runs of 20 s, as a share of one core.
double RendererShare(const LiveTone &tone)
{
    constexpr qsizetype Block = RecordRate / 200;
    std::vector<float> block(size_t(Block * tone.channels));
    QList<double> shares;
    for (int run = 0, runs = Repeats(5); run < runs; ++run) {
        LiveRenderer renderer(tone.sampleRate, tone.channels);
        renderer.setTone(tone);
        const double start = ThreadCpuSeconds();
        for (qsizetype done = 0; done < 20 * qsizetype(RecordRate); done += Block)
            renderer.render(block.data(), Block);
        shares.append((ThreadCpuSeconds() - start) / 20);
    }
    return Median(shares);
}

// Waits until the live tone has played this many frames since its latest change.
void PlayFor(qint64 frames)
{
    if (!WaitFor(
            [&] {
                const LiveStatistics now = LiveToneStatistics();
                return now.changeFrame >= 0 && now.frames >= now.changeFrame + frames;
            },
            20000))
        Fail(u"the live tone does not play"_s);
}

void LiveToneFigures()
{
    Say(u"\n== 10. Live tone: the renderer's work, the start against paplay, the edit to sound, underruns"_s);
    // The renderer's work.
    const double sine = RendererShare(Sine(1000));
    LiveTone squares{RecordRate, 1, {}};
    for (int k = 0; k < 16; ++k)
        squares.sources.push_back({LivePeriodic{ShapeKind::Square, {}, 110 * std::pow(2, k / 4.0), true}, {1.0 / 16}});
    const double sixteen = RendererShare(squares);
    Say(u"   processor time per second of sound: a sine %1 %, 16 alias-free squares (110 to 1480 Hz) %2 % of a core"_s
            .arg(100 * sine, 0, 'f', 3)
            .arg(100 * sixteen, 0, 'f', 3));
    PrintVerdict(u"Live renderer, a sine"_s, u"%1 % of a core"_s.arg(100 * sine, 0, 'f', 3), u"<= 2 %"_s, sine <= 0.02);
    PrintVerdict(u"Live renderer, 16 squares"_s, u"%1 % of a core"_s.arg(100 * sixteen, 0, 'f', 3), u"<= 10 %"_s,
                 sixteen <= 0.10);

    // The start, against paplay of a ready file of the same tone.
    const QString file = SandboxRoot() + u"/ready.wav"_s;
    if (SpawnAndWait(u"/usr/bin/sox"_s,
                     {u"-r"_s, u"48000"_s, u"-n"_s, file, u"synth"_s, u"1"_s, u"sine"_s, u"1000"_s}) != 0)
        Fail(u"sox cannot make the ready file"_s);
    const auto start = [] {
        if (PlayLiveTone({}, Sine(1000)) == PlaybackStart::Failed)
            Fail(u"the live tone does not start: "_s + PlaybackFailure());
    };
    const auto playedAndStopped = [] {
        const LiveStatistics now = LiveToneStatistics();
        if (now.frames < RecordRate)
            return false;
        StopPlayback();
        return true;
    };
    const double first = ExtraOverPaplay(file, start, playedAndStopped);
    PrepareLiveOutput();
    QList<double> starts;
    for (int i = 0, repeats = Repeats(9); i < repeats; ++i)
        starts.append(ExtraOverPaplay(file, start, playedAndStopped));
    Say(u"   first live start (connecting to the server): %1 ms later than paplay"_s.arg(first, 0, 'f', 1));
    Report(u"live start, connected ahead"_s, starts);
    PrintVerdict(u"Live start"_s,
                 u"%1 ms beyond paplay (first start %2 ms)"_s.arg(Median(starts), 0, 'f', 1).arg(first, 0, 'f', 1),
                 u"<= +20 ms"_s, Median(starts) <= 20);

    // The edit to sound: from the call that changes the tone to the moment the server's clock
    // says the output plays the first frame of the change.
    start();
    PlayFor(RecordRate / 2);
    QList<double> edits;
    for (int i = 0, repeats = Repeats(21); i < repeats; ++i) {
        const qint64 before = LiveToneStatistics().changeFrame;
        const qint64 edited = MonotonicNs();
        ChangeLiveTone(Sine(i % 2 ? 1000 : 2000));
        qint64 change = -1;
        while (true) {
            const LiveStatistics now = LiveToneStatistics();
            if (now.changeFrame > before)
                change = now.changeFrame;
            if (change >= 0 && now.playedFrames >= change)
                break;
            QThread::usleep(200);
        }
        edits.append(Ms(MonotonicNs() - edited));
        PlayFor(RecordRate / 5);
    }
    Say(u"   edit to sound: %1 ms (median of %2; from %3 to %4 ms); the stream keeps %5 ms ahead of the output"_s
            .arg(Median(edits), 0, 'f', 1)
            .arg(edits.size())
            .arg(*std::min_element(edits.begin(), edits.end()), 0, 'f', 1)
            .arg(Max(edits), 0, 'f', 1)
            .arg(double(LiveToneStatistics().latencyMicroseconds) / 1000, 0, 'f', 1));
    PrintVerdict(u"Live edit to sound"_s,
                 u"%1 ms at most (median %2 ms)"_s.arg(Max(edits), 0, 'f', 1).arg(Median(edits), 0, 'f', 1),
                 u"<= 50 ms"_s, Max(edits) <= 50);

    // Underruns with both cores taken: the window's thread and one more spin all the while.
    const int seconds = qEnvironmentVariableIsSet("QUORVANE_BENCH_QUICK") ? 20 : 60;
    const qint64 underrunsBefore = LiveToneStatistics().underruns;
    std::atomic<bool> spinning = true;
    std::thread other([&] {
        while (spinning.load(std::memory_order_relaxed)) {
        }
    });
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000) {
    }
    spinning = false;
    other.join();
    const qint64 underruns = LiveToneStatistics().underruns - underrunsBefore;
    StopPlayback();
    Say(u"   underruns in %1 s of live sound beside two busy loops: %2"_s.arg(seconds).arg(underruns));
    PrintVerdict(u"Live underruns"_s, u"%1 in %2 s beside two busy loops"_s.arg(underruns).arg(seconds), u"0"_s,
                 underruns == 0);
}

} // namespace

int main(int argc, char *argv[])
{
    PrepareSandbox();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // For the media player it is compared with (6b): the backend the program's player used to have.
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    SetHomePageChance({{}, [](const QUrl &) { return true; }});
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || qEnvironmentVariableIsEmpty("QUORVANE_BENCH_SINK")) {
        Say(u"\n== 6. Preview latency: skipped (no private audio server; run-benchmarks starts one)"_s);
        PrintVerdict(u"Preview latency"_s, u"not measured (no audio server)"_s,
                     u"<= %1 ms beyond one poll cycle"_s.arg(AimBeyondPollMs), false);
        return EXIT_SUCCESS;
    }
    PreviewLatency();
    LiveToneFigures();
    if (app.arguments().contains(u"--engines"_s))
        Engines();
    return EXIT_SUCCESS;
}

#include "playback.h"
#include "test_sandbox.h"
#include "wav_analysis.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int RecordRate = 48000;
// Anything louder counts as sound; the null sink's monitor is exactly silent otherwise.
constexpr double SoundThreshold = 0.05;

QString TestSink()
{
    return qEnvironmentVariable("QUORVANE_TEST_SINK");
}

// Writes a sine tone with the real tool; empty, or the tool's complaint.
QString MakeTone(const QString &path, double seconds, int frequency)
{
    QProcess sox;
    sox.start(u"sox"_s, {u"-r"_s, u"48000"_s, u"-n"_s, path, u"synth"_s, QString::number(seconds), u"sine"_s,
                         QString::number(frequency)});
    if (!sox.waitForFinished(30000))
        return sox.errorString();
    if (sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0)
        return QString::fromLocal8Bit(sox.readAllStandardError());
    return {};
}

// Records what the sink really plays, from its monitor.
class Recorder
{
public:
    explicit Recorder(QString file) : file(std::move(file)) {}
    ~Recorder() { stop(); }

    bool start()
    {
        process.start(u"parecord"_s,
                      {u"--device="_s + TestSink() + u".monitor"_s, u"--latency-msec=20"_s, u"--rate=48000"_s,
                       u"--channels=1"_s, u"--format=s16le"_s, u"--file-format=wav"_s, file});
        // Recording for real once a tenth of a second has arrived.
        return process.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return QFileInfo(file).size() > 44 + RecordRate / 5; }, 5000);
    }

    WavInfo stop()
    {
        if (process.state() != QProcess::NotRunning) {
            QTest::qWait(200); // the last sound reaches the monitor a little later
            process.terminate();
            process.waitForFinished(5000);
        }
        return ReadWav(file);
    }

private:
    QString file;
    QProcess process;
};

// The part of a recording between the first and the last audible sample.
std::vector<double> Sounding(const WavInfo &wav)
{
    const auto &s = wav.firstChannel;
    const auto loud = [](double v) { return std::abs(v) > SoundThreshold; };
    const auto first = std::find_if(s.begin(), s.end(), loud);
    const auto last = std::find_if(s.rbegin(), s.rend(), loud).base();
    return first < last ? std::vector<double>(first, last) : std::vector<double>{};
}

double Seconds(const std::vector<double> &samples)
{
    return double(samples.size()) / RecordRate;
}

std::vector<double> Head(const std::vector<double> &samples, double seconds)
{
    return {samples.begin(), samples.begin() + std::min<qsizetype>(samples.size(), qsizetype(seconds * RecordRate))};
}

std::vector<double> Tail(const std::vector<double> &samples, double seconds)
{
    return {samples.end() - std::min<qsizetype>(samples.size(), qsizetype(seconds * RecordRate)), samples.end()};
}

// Amplitude of one frequency in the samples (Goertzel).
double ToneLevel(const std::vector<double> &samples, double frequency)
{
    const double w = 2 * std::numbers::pi * frequency / RecordRate;
    double s1 = 0, s2 = 0;
    for (double v : samples) {
        const double s0 = v + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return samples.empty()
               ? 0
               : 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2)) / double(samples.size());
}

bool IsNear(double measured, double expected)
{
    return std::abs(measured - expected) <= 0.02 * expected;
}

QString Describe(const std::vector<double> &samples)
{
    return u"%1 s of sound, dominant %2 Hz"_s.arg(Seconds(samples)).arg(DominantFrequency(samples, RecordRate));
}

} // namespace

class PlaybackTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playsTheRequestedTone_data();
    void playsTheRequestedTone();
    void asynchronousRequestReturnsWhileTheSoundPlays();
    void synchronousRequestReturnsWhenTheSoundHasEnded();
    void laterRequestReplacesTheSoundStillPlaying();
    void rewrittenFileSoundsTheNewTone_data();
    void rewrittenFileSoundsTheNewTone();
    void refusedRequestEndsTheSoundAndPlaysNothing_data();
    void refusedRequestEndsTheSoundAndPlaysNothing();

private:
    QString path(const QString &name) const { return folder->filePath(name); }

    std::unique_ptr<QTemporaryDir> folder;
};

void PlaybackTest::initTestCase()
{
    // Without the test server these tests would sound through the user's speakers.
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || TestSink().isEmpty())
        QSKIP("needs the private audio server of the test suite (run through ctest)");
    QVERIFY2(!QMediaDevices::audioOutputs().isEmpty(), "the test audio server has no output");
}

void PlaybackTest::init()
{
    folder = std::make_unique<QTemporaryDir>(TestSandbox::Root() + u"/playback-XXXXXX"_s);
    QVERIFY(folder->isValid());
}

void PlaybackTest::cleanup()
{
    StopPlayback();
}

void PlaybackTest::playsTheRequestedTone_data()
{
    QTest::addColumn<bool>("synchronous");
    QTest::addColumn<int>("frequency");
    QTest::newRow("synchronous 1000 Hz") << true << 1000;
    QTest::newRow("asynchronous 1000 Hz") << false << 1000;
    QTest::newRow("asynchronous 3000 Hz") << false << 3000;
}

void PlaybackTest::playsTheRequestedTone()
{
    QFETCH(bool, synchronous);
    QFETCH(int, frequency);
    const QString tone = path(u"tone.wav"_s);
    QCOMPARE(MakeTone(tone, 1.5, frequency), QString());
    Recorder recorder(path(u"heard.wav"_s));
    QVERIFY(recorder.start());

    QVERIFY(PlayWaveFile(tone, synchronous));
    QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

    const WavInfo heard = recorder.stop();
    QVERIFY2(heard.valid, qPrintable(heard.problem));
    const auto sound = Sounding(heard);
    QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), frequency), qPrintable(Describe(sound)));
    QVERIFY2(Seconds(sound) > 1.3 && Seconds(sound) < 1.7, qPrintable(Describe(sound)));
    QVERIFY(RmsLevel(sound) > 0.1);
}

void PlaybackTest::asynchronousRequestReturnsWhileTheSoundPlays()
{
    const QString tone = path(u"long.wav"_s);
    QCOMPARE(MakeTone(tone, 3, 1000), QString());
    Recorder recorder(path(u"heard.wav"_s));
    QVERIFY(recorder.start());

    QElapsedTimer clock;
    clock.start();
    QVERIFY(PlayWaveFile(tone, false));
    QVERIFY2(clock.elapsed() < 1500, "returned only after a good part of the sound");
    QVERIFY(IsSoundPlaying());
    QTest::qWait(1000);
    QVERIFY(IsSoundPlaying());
    StopPlayback();
    QVERIFY(!IsSoundPlaying());

    // It went on sounding after the call had returned, and it stopped when told.
    const WavInfo heard = recorder.stop();
    QVERIFY2(heard.valid, qPrintable(heard.problem));
    const auto sound = Sounding(heard);
    QVERIFY2(Seconds(sound) > 0.7 && Seconds(sound) < 2.5, qPrintable(Describe(sound)));
}

void PlaybackTest::synchronousRequestReturnsWhenTheSoundHasEnded()
{
    const QString tone = path(u"tone.wav"_s);
    QCOMPARE(MakeTone(tone, 2, 1000), QString());
    bool eventsHandled = false;
    QTimer::singleShot(300, this, [&] { eventsHandled = true; });

    QElapsedTimer clock;
    clock.start();
    QVERIFY(PlayWaveFile(tone, true));
    QVERIFY2(clock.elapsed() > 1500, "returned before the sound had ended");
    QVERIFY(!IsSoundPlaying());
    QVERIFY2(eventsHandled, "events waited while the sound played");
}

void PlaybackTest::laterRequestReplacesTheSoundStillPlaying()
{
    const QString first = path(u"first.wav"_s);
    const QString second = path(u"second.wav"_s);
    QCOMPARE(MakeTone(first, 3, 1000), QString());
    QCOMPARE(MakeTone(second, 1, 3000), QString());
    Recorder recorder(path(u"heard.wav"_s));
    QVERIFY(recorder.start());

    QVERIFY(PlayWaveFile(first, false));
    QTest::qWait(700);
    QVERIFY(PlayWaveFile(second, false));
    QVERIFY(QTest::qWaitFor([] { return !IsSoundPlaying(); }, 10000));

    // 1000 Hz, then 3000 Hz alone; the first tone would have sounded on to 3 s.
    const WavInfo heard = recorder.stop();
    QVERIFY2(heard.valid, qPrintable(heard.problem));
    const auto sound = Sounding(heard);
    QVERIFY2(Seconds(sound) > 1.4 && Seconds(sound) < 2.4, qPrintable(Describe(sound)));
    const auto start = Head(sound, 0.4);
    const auto end = Tail(sound, 0.4);
    QVERIFY2(IsNear(DominantFrequency(start, RecordRate), 1000), qPrintable(Describe(start)));
    QVERIFY2(IsNear(DominantFrequency(end, RecordRate), 3000), qPrintable(Describe(end)));
    QVERIFY2(ToneLevel(end, 1000) < 0.1 * ToneLevel(end, 3000), "the first tone still sounds under the second");
}

void PlaybackTest::rewrittenFileSoundsTheNewTone_data()
{
    QTest::addColumn<QString>("before"); // what became of the first sound when the file was written again
    QTest::newRow("ended") << u"ended"_s;
    QTest::newRow("stopped") << u"stopped"_s;
    QTest::newRow("still playing") << u"playing"_s;
}

void PlaybackTest::rewrittenFileSoundsTheNewTone()
{
    QFETCH(QString, before);
    const QString tone = path(u"preview.wav"_s);
    QCOMPARE(MakeTone(tone, before == u"ended" ? 0.5 : 3, 1000), QString());
    QVERIFY(PlayWaveFile(tone, before == u"ended"));
    if (before == u"stopped")
        StopPlayback();

    QCOMPARE(MakeTone(tone, 1, 3000), QString());
    Recorder recorder(path(u"heard.wav"_s));
    QVERIFY(recorder.start());
    QVERIFY(PlayWaveFile(tone, true));
    const WavInfo heard = recorder.stop();
    QVERIFY2(heard.valid, qPrintable(heard.problem));
    const auto sound = Tail(Sounding(heard), 0.8);
    QVERIFY2(IsNear(DominantFrequency(sound, RecordRate), 3000), qPrintable(Describe(sound)));
}

void PlaybackTest::refusedRequestEndsTheSoundAndPlaysNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << u"missing.wav"_s;
    QTest::newRow("folder") << u"folder.wav"_s;
    QTest::newRow("empty path") << QString();
    QTest::newRow("not a sound") << u"text.wav"_s;
}

void PlaybackTest::refusedRequestEndsTheSoundAndPlaysNothing()
{
    QFETCH(QString, name);
    QVERIFY(QDir(folder->path()).mkdir(u"folder.wav"_s));
    QFile text(path(u"text.wav"_s));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a sound\n") > 0);
    text.close();
    const QString first = path(u"first.wav"_s);
    const QString next = path(u"next.wav"_s);
    QCOMPARE(MakeTone(first, 3, 1000), QString());
    QCOMPARE(MakeTone(next, 0.5, 3000), QString());
    Recorder recorder(path(u"heard.wav"_s));
    QVERIFY(recorder.start());

    QVERIFY(PlayWaveFile(first, false));
    QVERIFY(!PlayWaveFile(name.isEmpty() ? name : path(name), false));
    QVERIFY(!IsSoundPlaying());
    // The next request plays as if nothing had happened.
    QVERIFY(PlayWaveFile(next, true));

    const WavInfo heard = recorder.stop();
    QVERIFY2(heard.valid, qPrintable(heard.problem));
    const auto sound = Sounding(heard);
    QVERIFY2(Seconds(sound) < 1.2, qPrintable(Describe(sound)));
    const auto end = Tail(sound, 0.3);
    QVERIFY2(IsNear(DominantFrequency(end, RecordRate), 3000), qPrintable(Describe(end)));
}

QUORVANE_TEST_MAIN(PlaybackTest)
#include "tst_playback.moc"

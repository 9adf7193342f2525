// SPDX-License-Identifier: GPL-3.0-or-later

#include "audio_recording.h"

#include <QFileInfo>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace AudioRecording {

namespace {
// Anything louder counts as sound; the null sink's monitor is exactly silent otherwise.
constexpr double SoundThreshold = 0.05;
} // namespace

QString TestSink()
{
    return qEnvironmentVariable("QUORVANE_TEST_SINK");
}

QString SecondTestSink()
{
    return qEnvironmentVariable("QUORVANE_TEST_SECOND_SINK");
}

QString SurroundTestSink()
{
    return qEnvironmentVariable("QUORVANE_TEST_SURROUND_SINK");
}

bool HasTestServer()
{
    return !qEnvironmentVariableIsEmpty("PULSE_SERVER") && !TestSink().isEmpty();
}

QString MakeTone(const QString &path, double seconds, double frequency, const QStringList &format)
{
    QProcess sox;
    sox.start(u"sox"_s,
              QStringList{u"-n"_s} + (format.isEmpty() ? QStringList{u"-r"_s, u"48000"_s} : format) +
                  QStringList{path, u"synth"_s, QString::number(seconds), u"sine"_s, QString::number(frequency)});
    if (!sox.waitForFinished(30000))
        return sox.errorString();
    if (sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0)
        return QString::fromLocal8Bit(sox.readAllStandardError());
    return {};
}

Recorder::Recorder(QString file, QString sink, QStringList channels)
    : m_file(std::move(file)), m_sink(std::move(sink)), m_channels(std::move(channels))
{
}

Recorder::~Recorder()
{
    stop();
}

bool Recorder::start()
{
    QStringList layout{u"--channels=1"_s};
    if (!m_channels.isEmpty())
        layout = {u"--channels=%1"_s.arg(m_channels.size()), u"--channel-map="_s + m_channels.join(u',')};
    m_process.start(u"parecord"_s, QStringList{u"--device="_s + m_sink + u".monitor"_s, u"--latency-msec=20"_s,
                                               u"--rate=48000"_s, u"--format=s16le"_s, u"--file-format=wav"_s, m_file} +
                                       layout);
    // Recording for real once a tenth of a second has arrived.
    const qint64 bytes = 44 + RecordRate / 5 * std::max<qint64>(1, m_channels.size());
    return m_process.waitForStarted(5000) &&
           QTest::qWaitFor([this, bytes] { return QFileInfo(m_file).size() > bytes; }, 5000);
}

WavInfo Recorder::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        QTest::qWait(200); // the last sound reaches the monitor a little later
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    return ReadWav(m_file);
}

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
    return {samples.begin(), samples.begin() + std::min(qsizetype(samples.size()), qsizetype(seconds * RecordRate))};
}

std::vector<double> Tail(const std::vector<double> &samples, double seconds)
{
    return {samples.end() - std::min(qsizetype(samples.size()), qsizetype(seconds * RecordRate)), samples.end()};
}

qsizetype LongestQuiet(const std::vector<double> &samples)
{
    qsizetype longest = 0;
    qsizetype run = 0;
    for (double v : samples) {
        run = std::abs(v) > SoundThreshold ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

double PlayedSeconds(const std::vector<double> &samples)
{
    const auto gapSamples = qsizetype(0.005 * RecordRate);
    qsizetype played = 0;
    qsizetype run = 0;
    for (double v : samples) {
        run = std::abs(v) > SoundThreshold ? 0 : run + 1;
        ++played;
        if (run == gapSamples)
            played -= gapSamples; // a gap: none of it, from its start, was played
        else if (run > gapSamples)
            --played;
    }
    return double(played) / RecordRate;
}

double LargestStep(const std::vector<double> &samples, size_t from, size_t to)
{
    double largest = 0;
    for (size_t n = from + 1; n < std::min(to, samples.size()); ++n)
        largest = std::max(largest, std::abs(samples[n] - samples[n - 1]));
    return largest;
}

double SineStep(double frequency, double amplitude)
{
    return 2 * amplitude * std::sin(std::numbers::pi * frequency / RecordRate);
}

double ToneLevel(const std::vector<double> &samples, double frequency)
{
    // Goertzel: one frequency's amplitude without a whole spectrum.
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

} // namespace AudioRecording

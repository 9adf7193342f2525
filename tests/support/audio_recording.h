// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "wav_analysis.h"

#include <QProcess>
#include <QString>
#include <cstdint>
#include <vector>

// What the private test audio server's sink really plays (see tests/audio/pulse-start).
namespace AudioRecording {

inline constexpr int RecordRate = 48000;

// The sink that the test server plays to, from the test environment; empty outside ctest.
QString TestSink();
// The server's second sink, which plays only what is sent to it, and its description.
QString SecondTestSink();
inline const QString SecondTestSinkDescription = QStringLiteral("Desk & Bench Output");

// True when the test runs against the private audio server (never the user's speakers).
bool HasTestServer();

// Writes a sine tone with the real tool, 16-bit mono at 48000 Hz unless the tool's output options
// say otherwise (such as -r 8000 -e floating-point -b 32 -c 2); empty, or the tool's complaint.
QString MakeTone(const QString &path, double seconds, double frequency, const QStringList &format = {});

// The server's sink of six channels, 5.1 in the order of a WAVE file.
QString SurroundTestSink();

// Records a sink's monitor into a WAV file: the default sink's unless another is named, in one
// channel unless the sink's channels are named (as the server names them: front-left, lfe...).
class Recorder
{
public:
    explicit Recorder(QString file, QString sink = TestSink(), QStringList channels = {});
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // True once the recording really runs.
    bool start();
    WavInfo stop();

private:
    QString m_file;
    QString m_sink;
    QStringList m_channels;
    QProcess m_process;
};

// The part of a recording between the first and the last audible sample.
std::vector<double> Sounding(const WavInfo &wav);
double Seconds(const std::vector<double> &samples);
std::vector<double> Head(const std::vector<double> &samples, double seconds);
std::vector<double> Tail(const std::vector<double> &samples, double seconds);
// The longest run of silent samples: a loud tone has none longer than a sample or two.
qsizetype LongestQuiet(const std::vector<double> &samples);
// The seconds that sounded, without the gaps (silences over 5 ms) that a starved sound server
// leaves in a recording on a busy machine: how much of a tone was played, not for how long.
double PlayedSeconds(const std::vector<double> &samples);
// The largest step from one sample to the next in samples[from, to): a click stands out as one.
double LargestStep(const std::vector<double> &samples, size_t from = 0, size_t to = SIZE_MAX);
// A sine's own largest step from one sample to the next, at the recording's rate.
double SineStep(double frequency, double amplitude);
// Amplitude of one frequency in the samples.
double ToneLevel(const std::vector<double> &samples, double frequency);
// Within 2 %.
bool IsNear(double measured, double expected);
QString Describe(const std::vector<double> &samples);

} // namespace AudioRecording
